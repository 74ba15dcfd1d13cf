// The installers in installer/ as real clients of Torvane and Kestrix: each is installed and
// removed silently, with the machine checked after each step (files, registry, service, the
// stand-ins' journal), and nothing of the product may be left at the end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <windows.h>

#include <msi.h>
#include <shlobj.h>

#include "support/TestSupport.h"

namespace {

const char WIA[] = "stisvc";
const char PRODUCT_KEY[] = "SOFTWARE\\ScannerSetupSample";
const char USER_KEY[] = "Software\\ScannerSetupSample";
const char UPGRADE_CODE[] = "{C98FDB94-6817-40B3-AD52-6E6DF24097E8}";
const char UNINSTALL_LOG[] = "ScannerSetupSample-uninstall.log";
const DWORD INSTALL_TIMEOUT_MS = 300000;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string ShellFolder(const char* name) {
    DWORD type = 0;
    std::string bytes;
    test::GetValue(HKEY_CURRENT_USER,
                   "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name,
                   &type, &bytes);
    return bytes.c_str();
}

std::string SharedDocuments() {
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_DOCUMENTS, FALSE);
    return folder;
}

std::string TempFile(const char* name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof(folder), folder);
    return std::string(folder) + name;
}

std::string StringValue(HKEY root, const std::string& path, const std::string& name) {
    DWORD type = 0;
    std::string bytes;
    if (!test::GetValue(root, path, name, &type, &bytes))
        return "(missing)";
    return bytes.c_str();
}

// Whether Windows Installer knows a product of the package's upgrade code.
bool PackageRegistered() {
    char productCode[39] = {};
    return MsiEnumRelatedProductsA(UPGRADE_CODE, 0, 0, productCode) == ERROR_SUCCESS;
}

// Set-up and checks shared by every client: the stand-ins journal outside the program folder,
// which the removal must delete whole.
class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetEnvironmentVariableA("STANDIN_JOURNAL_FOLDER", m_parent.Path().c_str()));
        ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
    }
    void TearDown() override {
        SetEnvironmentVariableA("STANDIN_JOURNAL_FOLDER", nullptr);
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(PRODUCT_KEY) + "Cache");
        test::DeleteKeyTree(HKEY_CURRENT_USER, USER_KEY);
        test::DeleteTree(ShellFolder("AppData") + "\\SCANNERSETUPSAMPLE");
        DeleteFileA(TempFile(UNINSTALL_LOG).c_str());
        test::BringServiceTo(WIA, SERVICE_STOPPED);
    }

    std::string Journal() const { return test::ReadFileBytes(m_parent.File("journal.txt")); }

    // What every installation must have done.
    void ExpectInstalled() const {
        for (const char* file : {"Torvane.exe", "Kestrix.dll", "DPInst64.exe", "scanner.inf"})
            EXPECT_TRUE(test::FileExists(m_program + "\\" + file)) << file;
        const std::string pdf = std::string(PRODUCT_KEY) + "\\Scanner\\PDF\\Default\\Folder";
        EXPECT_EQ(SharedDocuments() + "\\", StringValue(HKEY_LOCAL_MACHINE, pdf, "1"));

        // REGISTER on 64-bit Windows: the 64-bit installer quietly, the rescan, the library.
        const std::string journal = Journal();
        ASSERT_TRUE(Contains(journal, "DPInst64.exe /Q")) << journal;
        ASSERT_TRUE(Contains(journal, "devcon64.exe Rescan")) << journal;
        EXPECT_LT(journal.find("DPInst64.exe /Q"), journal.find("devcon64.exe Rescan"));
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), test::QueryServiceState(WIA))
            << "with the library's export, REGISTER leaves the service alone";

        // Both file commands rewrote their files.
        EXPECT_FALSE(Contains(test::ReadFileBytes(m_program + "\\Setup.reg"), "[WINDIR]"));
        EXPECT_FALSE(Contains(test::ReadFileBytes(m_program + "\\ScanAdvance.ini"), "[WINDIR]"));
    }

    // What the removal must delete besides what the installation made; returns the folder of
    // the user's settings file.
    std::string PlantLeftovers() const {
        EXPECT_TRUE(
            test::SetStringValue(HKEY_CURRENT_USER, std::string(USER_KEY) + "\\Sub", "v", "x"));
        const std::string settings = ShellFolder("AppData") + "\\SCANNERSETUPSAMPLE\\SCAN";
        CreateDirectoryA((ShellFolder("AppData") + "\\SCANNERSETUPSAMPLE").c_str(), nullptr);
        CreateDirectoryA(settings.c_str(), nullptr);
        EXPECT_TRUE(test::WriteFileBytes(settings + "\\SCAN.ini", "[Scan]\r\nMode=1\r\n"));
        return settings;
    }

    void ExpectRemoved(const std::string& settings) const {
        EXPECT_FALSE(test::DirectoryExists(m_program)) << "the program folder is removed whole";
        EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
        EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, USER_KEY));
        // Wine runs every process as the one user; on Windows an MSI's not-impersonated action
        // runs as LocalSystem and reaches that account's settings folder instead.
        EXPECT_FALSE(test::DirectoryExists(settings));
        const std::string journal = Journal();
        EXPECT_TRUE(Contains(journal, "DPInst64.exe /U")) << journal;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA))
            << "UNREGISTER ... STOPWIA leaves the service stopped";
    }

    test::CTempFolder m_parent{"setup", true};
    const std::string m_program = m_parent.Path() + "\\Scanner Setup";
};

// NSIS: the ANSI and the Unicode build of one script.
class InstallerRoundTrip : public InstallerTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(InstallerRoundTrip, InstallsRunsTheCommandsAndUninstallsAgain) {
    // Install silently into a folder whose name holds blanks.
    const test::RunResult install = test::RunAndWait(
        "\"" + test::BinFile(GetParam()) + "\" /S /D=" + m_program, INSTALL_TIMEOUT_MS);
    ASSERT_TRUE(install.finished);
    EXPECT_EQ(0u, install.exitCode);
    ExpectInstalled();
    const std::string log = test::ReadFileBytes(m_program + "\\install.log");
    for (const char* line :
         {"Torvane REGISTER scanner.inf /Q: 0\r\n", "Torvane TRANSLATEPATH Setup.reg: 0\r\n",
          "Torvane TRANSLATESCANADVANCE ScanAdvance.ini: 0\r\n",
          "Torvane SET_SAVE_FOLDER SOFTWARE\\ScannerSetupSample: 0\r\n"})
        EXPECT_TRUE(Contains(log, line)) << line << log;
    // The value SET_SAVE_FOLDER wrote, read back through Kestrix by the installer itself.
    EXPECT_TRUE(Contains(log, "RegGetKeyValueEx: 1 " + SharedDocuments() + "\\\r\n")) << log;

    // The uninstaller copies itself to the temporary folder and runs from there, so that it can
    // delete the program folder; its log, written last, says when it is done.
    const std::string settings = PlantLeftovers();
    const std::string cacheKey = std::string(PRODUCT_KEY) + "Cache"; // for Kestrix's RegDelKeyEX
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, cacheKey + "\\A", "v", "x"));
    const test::RunResult uninstall =
        test::RunAndWait("\"" + m_program + "\\Uninstall.exe\" /S", INSTALL_TIMEOUT_MS);
    ASSERT_TRUE(uninstall.finished);
    EXPECT_EQ(0u, uninstall.exitCode);
    std::string uninstallLog;
    for (DWORD waited = 0; waited < 120000 && !Contains(uninstallLog, "folder: "); waited += 500) {
        Sleep(500);
        uninstallLog = test::ReadFileBytes(TempFile(UNINSTALL_LOG));
    }
    for (const char* line :
         {"Torvane UNREGISTER scanner.inf STOPWIA: 0\r\n", "RegDelKeyEX: 0\r\n",
          // Wine deletes a loaded DLL where Windows refuses: the log shows that it was freed.
          "Kestrix loaded after FreeLibrary: 0\r\n", "Program folder: removed\r\n"})
        EXPECT_TRUE(Contains(uninstallLog, line)) << line << uninstallLog;
    ExpectRemoved(settings);
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, cacheKey));
}

INSTANTIATE_TEST_SUITE_P(Nsis, InstallerRoundTrip,
                         ::testing::Values("ScannerSetup.exe", "ScannerSetupUnicode.exe"));

// Windows Installer: msiexec runs the package's deferred custom actions.
class MsiRoundTrip : public InstallerTest {
protected:
    // Runs msiexec with a verbose log; returns its exit status and the log.
    DWORD Msiexec(const std::string& args, std::string* log) const {
        const std::string logPath = m_parent.File("msiexec.log");
        DeleteFileA(logPath.c_str());
        const test::RunResult run = test::RunAndWait(
            "msiexec " + args + " /qn /l*v \"" + logPath + "\"", INSTALL_TIMEOUT_MS);
        EXPECT_TRUE(run.finished);
        *log = test::ReadFileBytes(logPath);
        return run.exitCode;
    }
    // Wine's msiexec, unlike Windows, does not take an installed component's folder on removal:
    // the folder is named again for /x.
    std::string Package(const char* action, const char* package) const {
        return std::string(action) + " \"" + test::BinFile(package) +
               "\" \"INSTALLFOLDER=" + m_program + "\"";
    }
};

TEST_F(MsiRoundTrip, InstallsRunsTheCommandsAndRemovesEverything) {
    std::string log;
    EXPECT_EQ(0u, Msiexec(Package("/i", "ScannerSetup.msi"), &log)) << log;
    ExpectInstalled();
    EXPECT_TRUE(PackageRegistered());
    for (const char* action : {"TorvaneRegister", "TorvaneTranslatePath",
                               "TorvaneTranslateScanAdvance", "TorvaneSetSaveFolder"})
        EXPECT_TRUE(Contains(log, std::string(action) + ". Return value 1.")) << action;

    const std::string settings = PlantLeftovers();
    EXPECT_EQ(0u, Msiexec(Package("/x", "ScannerSetup.msi"), &log)) << log;
    for (const char* action : {"TorvaneUnregister", "TorvaneDeleteMachineKey",
                               "TorvaneDeleteUserKeys", "TorvaneDeleteUserIni"})
        EXPECT_TRUE(Contains(log, std::string(action) + ". Return value 1.")) << action;
    ExpectRemoved(settings);
    EXPECT_FALSE(PackageRegistered());
}

TEST_F(MsiRoundTrip, RollsBackWhenACommandFails) {
    // The package's TRANSLATEPATH names a file that is not there: Torvane exits with -1.
    std::string log;
    const DWORD status = Msiexec(Package("/i", "ScannerSetupBroken.msi"), &log);
    EXPECT_NE(0u, status) << log;
    std::printf("msiexec exit status %lu\n", static_cast<unsigned long>(status));
    ASSERT_TRUE(Contains(Journal(), "DPInst64.exe /Q")) << "REGISTER ran before the failure";
    // Wine's msi undoes the files and registry values but runs no rollback custom action; on
    // Windows the package's rollback action runs UNREGISTER here.
    EXPECT_FALSE(test::DirectoryExists(m_program));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_FALSE(PackageRegistered());
}

} // namespace
