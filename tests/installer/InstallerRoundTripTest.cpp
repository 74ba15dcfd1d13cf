// The NSIS installer as Torvane's and Kestrix's first real client: installed and uninstalled
// silently, with the machine checked after each step (files, registry, service, journals).
#include <gtest/gtest.h>

#include <string>

#include <shlobj.h>

#include "support/TestSupport.h"

namespace {

const char WIA[] = "stisvc";
const char PRODUCT_KEY[] = "SOFTWARE\\ScannerSetupSample";
const char USER_KEY[] = "Software\\ScannerSetupSample";

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

std::string StringValue(HKEY root, const std::string& path, const std::string& name) {
    DWORD type = 0;
    std::string bytes;
    if (!test::GetValue(root, path, name, &type, &bytes))
        return "(missing)";
    return bytes.c_str();
}

class InstallerRoundTrip : public ::testing::Test {
protected:
    void TearDown() override {
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(PRODUCT_KEY) + "Cache");
        test::DeleteKeyTree(HKEY_CURRENT_USER, USER_KEY);
        test::DeleteTree(ShellFolder("AppData") + "\\SCANNERSETUPSAMPLE");
        test::BringServiceTo(WIA, SERVICE_STOPPED);
    }
    test::CTempFolder m_parent{"nsis", true};
};

TEST_F(InstallerRoundTrip, InstallsRunsTheCommandsAndUninstallsAgain) {
    const std::string program = m_parent.Path() + "\\Scanner Setup";
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));

    // Install silently into a folder whose name holds blanks.
    test::RunResult install =
        test::RunAndWait("\"" + test::BinFile("ScannerSetup.exe") + "\" /S /D=" + program, 300000);
    ASSERT_TRUE(install.finished);
    EXPECT_EQ(0u, install.exitCode);
    for (const char* file : {"Torvane.exe", "Kestrix.dll", "Uninstall.exe", "scanner.inf"})
        EXPECT_TRUE(test::FileExists(program + "\\" + file)) << file;

    const std::string documents = SharedDocuments();
    const std::string log = test::ReadFileBytes(program + "\\install.log");
    EXPECT_TRUE(Contains(log, "Torvane REGISTER scanner.inf /Q: 0")) << log;
    EXPECT_TRUE(Contains(log, "Torvane TRANSLATEPATH Setup.reg: 0")) << log;
    EXPECT_TRUE(Contains(log, "Torvane TRANSLATESCANADVANCE ScanAdvance.ini: 0")) << log;
    EXPECT_TRUE(Contains(log, "Torvane SET_SAVE_FOLDER SOFTWARE\\ScannerSetupSample: 0")) << log;
    // The value SET_SAVE_FOLDER wrote, read back through Kestrix by the installer itself.
    EXPECT_TRUE(Contains(log, "RegGetKeyValueEx: 1 " + documents + "\\\r\n")) << log;

    const std::string pdf = std::string(PRODUCT_KEY) + "\\Scanner\\PDF\\Default\\Folder";
    EXPECT_EQ(documents + "\\", StringValue(HKEY_LOCAL_MACHINE, pdf, "1"));

    // REGISTER on 64-bit Windows: the 64-bit installer quietly, the rescan, the library.
    const std::string journal = test::ReadFileBytes(program + "\\journal.txt");
    EXPECT_TRUE(Contains(journal, "DPInst64.exe /Q")) << journal;
    EXPECT_TRUE(Contains(journal, "devcon64.exe Rescan")) << journal;
    EXPECT_LT(journal.find("DPInst64.exe /Q"), journal.find("devcon64.exe Rescan"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), test::QueryServiceState(WIA))
        << "with the library's export, REGISTER leaves the service alone";

    // Both file commands rewrote their files.
    EXPECT_FALSE(Contains(test::ReadFileBytes(program + "\\Setup.reg"), "[WINDIR]"));
    EXPECT_FALSE(Contains(test::ReadFileBytes(program + "\\ScanAdvance.ini"), "[WINDIR]"));

    // What the uninstaller must remove besides the product key.
    ASSERT_TRUE(
        test::SetStringValue(HKEY_LOCAL_MACHINE, std::string(PRODUCT_KEY) + "Cache\\A", "v", "x"));
    ASSERT_TRUE(test::SetStringValue(HKEY_CURRENT_USER, std::string(USER_KEY) + "\\Sub", "v", "x"));
    const std::string settings = ShellFolder("AppData") + "\\SCANNERSETUPSAMPLE\\SCAN";
    CreateDirectoryA((ShellFolder("AppData") + "\\SCANNERSETUPSAMPLE").c_str(), nullptr);
    CreateDirectoryA(settings.c_str(), nullptr);
    ASSERT_TRUE(test::WriteFileBytes(settings + "\\SCAN.ini", "[Scan]\r\nMode=1\r\n"));

    test::RunResult uninstall =
        test::RunAndWait("\"" + program + "\\Uninstall.exe\" /S _?=" + program, 300000);
    ASSERT_TRUE(uninstall.finished);
    EXPECT_EQ(0u, uninstall.exitCode);

    const std::string uninstallLog = test::ReadFileBytes(program + "\\uninstall.log");
    EXPECT_TRUE(Contains(uninstallLog, "Torvane UNREGISTER scanner.inf STOPWIA: 0"))
        << uninstallLog;
    EXPECT_TRUE(Contains(uninstallLog, "RegDelKeyEX: 0")) << uninstallLog;
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, std::string(PRODUCT_KEY) + "Cache"));
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, USER_KEY));
    EXPECT_FALSE(test::FileExists(settings + "\\SCAN.ini"));
    EXPECT_FALSE(test::DirectoryExists(settings));
    EXPECT_FALSE(test::FileExists(program + "\\Torvane.exe"));

    const std::string journalAfter = test::ReadFileBytes(program + "\\journal.txt");
    EXPECT_TRUE(Contains(journalAfter, "DPInst64.exe /U")) << journalAfter;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA))
        << "UNREGISTER ... STOPWIA leaves the service stopped";
}

} // namespace
