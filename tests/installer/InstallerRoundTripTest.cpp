// The installers in installer/ as real clients of Torvane and Kestrix, each driven by its own
// tool: the NSIS installer (ANSI and Unicode), the Windows Installer package through msiexec and
// the Inno Setup installer, compiled by Inno Setup's own compiler. One table of scenarios serves
// all three: installation and removal; a repair, then a removal with Torvane.exe and Kestrix.dll
// gone; an upgrade from a build of an older version; an installation whose setup command fails.
// The machine is checked after each step (files, registry, service, the stand-ins' journal, the
// tool's log), and nothing of the product may be left at the end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include <windows.h>

#include <msi.h>
#include <msidefs.h>
#include <msiquery.h>
#include <shlobj.h>

#include "Version.h"
#include "support/TestSupport.h"

namespace {

const char WIA[] = "stisvc";
const char PRODUCT_KEY[] = "SOFTWARE\\ScannerSetupSample";
const char USER_KEY[] = "Software\\ScannerSetupSample";
const char UPGRADE_CODE[] = "{C98FDB94-6817-40B3-AD52-6E6DF24097E8}";
const char NSIS_UNINSTALL_KEY[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ScannerSetupSample";
const char INNO_UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                  "{3D2E24CE-983C-4996-B5CB-1360D87A233B}_is1";
const char NSIS_UNINSTALL_LOG[] = "ScannerSetupSample-uninstall.log";
const char NSIS_FAILED_LOG[] = "ScannerSetupSample-install.log";
const DWORD INSTALL_TIMEOUT_MS = 120000;

enum class Tool { Nsis, Msi, Inno };

// One client installer: its tool, its built file, the same installer built with its
// TRANSLATEPATH pointed at a file that is not there, and the same files packaged as an older
// version; then what differs between the tools.
struct tagInstaller {
    const char* name;
    Tool tool;
    const char* package;
    const char* broken;
    const char* older;
    // REGISTER runs before the file commands (the MSI runs them first, as its folder check).
    bool registerFirst;
    // Wine runs the tool's own undo of a failed upgrade (Wine's msiexec runs no rollback: the
    // package's sequence and conditions are read instead).
    bool undoRunsHere;
    // A file of the earlier installation held open during a silent upgrade must fail it.
    const char* heldFile;
    // In an upgrade, Wine runs the older version's removal commands (Wine's msiexec does not
    // set UPGRADINGPRODUCTCODE, which the removal actions' conditions exclude on Windows): the
    // package's conditions are read instead, and UNREGISTER ... STOPWIA has stopped the service.
    bool olderRemovalRunsCommands;
};

const tagInstaller NSIS_ANSI = {
    "NsisAnsi", Tool::Nsis, "ScannerSetup.exe", nullptr, nullptr, true, true, nullptr, false};
const tagInstaller NSIS_UNICODE = {"NsisUnicode",
                                   Tool::Nsis,
                                   "ScannerSetupUnicode.exe",
                                   "ScannerSetupUnicodeBroken.exe",
                                   "ScannerSetupUnicodeOlder.exe",
                                   true,
                                   true,
                                   "Kestrix.dll",
                                   false};
const tagInstaller MSI = {"Msi",
                          Tool::Msi,
                          "ScannerSetup.msi",
                          "ScannerSetupBroken.msi",
                          "ScannerSetupOlder.msi",
                          false,
                          false,
                          nullptr,
                          true};
const tagInstaller INNO = {"Inno",
                           Tool::Inno,
                           "ScannerSetupInno.exe",
                           "ScannerSetupInnoBroken.exe",
                           "ScannerSetupInnoOlder.exe",
                           true,
                           true,
                           nullptr,
                           false};

// The version the build gave the installers.
std::string ProjectVersion() {
    return std::to_string(TORVANE_VERSION_MAJOR) + "." + std::to_string(TORVANE_VERSION_MINOR) +
           "." + std::to_string(TORVANE_VERSION_PATCH);
}

// A Torvane command line as the installers run it, and the Windows Installer action that runs it.
struct tagCommand {
    const char* args;
    const char* msiAction;
};
const tagCommand SETUP_COMMANDS[] = {
    {"REGISTER scanner.inf /Q", "TorvaneRegister"},
    {"TRANSLATEPATH Setup.reg", "TorvaneTranslatePath"},
    {"TRANSLATESCANADVANCE ScanAdvance.ini", "TorvaneTranslateScanAdvance"},
    {"SET_SAVE_FOLDER SOFTWARE\\ScannerSetupSample", "TorvaneSetSaveFolder"}};
const tagCommand REMOVAL_COMMANDS[] = {
    {"UNREGISTER scanner.inf STOPWIA", "TorvaneUnregister"},
    {"DELETE_LOCAL_MACHINE_PRODUCTKEY SOFTWARE\\ScannerSetupSample", "TorvaneDeleteMachineKey"},
    {"DELETE_ALLUSER_PRODUCTKEY Software\\ScannerSetupSample", "TorvaneDeleteUserKeys"},
    {"Deleteuserini ScannerSetupSample\\Scan", "TorvaneDeleteUserIni"}};

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

// Reads a log until it holds the line that ends it, or gives up after two minutes: the NSIS
// and Inno Setup uninstallers finish in a copy of themselves that runs on after the started
// process has ended.
std::string WaitForLog(const std::string& path, const std::string& lastLine) {
    std::string log = test::ReadFileBytes(path);
    for (DWORD waited = 0; waited < 120000 && !Contains(log, lastLine); waited += 500) {
        Sleep(500);
        log = test::ReadFileBytes(path);
    }
    return log;
}

// The first field of the first row a query of the built package gives, as text; "(none)" when
// there is no row. Reads what Wine's msiexec does not act on the way Windows does.
std::string QueryPackage(const char* package, const std::string& query) {
    PMSIHANDLE database, view, record;
    if (MsiOpenDatabaseA(test::BinFile(package).c_str(), MSIDBOPEN_READONLY, &database) !=
            ERROR_SUCCESS ||
        MsiDatabaseOpenViewA(database, query.c_str(), &view) != ERROR_SUCCESS ||
        MsiViewExecute(view, 0) != ERROR_SUCCESS || MsiViewFetch(view, &record) != ERROR_SUCCESS)
        return "(none)";
    char text[512] = {};
    DWORD size = sizeof(text);
    MsiRecordGetStringA(record, 1, text, &size);
    return text;
}

// Set-up and steps shared by every scenario: the stand-ins journal outside the program folder,
// which the removal must delete whole.
class InstallerTest : public ::testing::TestWithParam<tagInstaller> {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetEnvironmentVariableA("STANDIN_JOURNAL_FOLDER", m_parent.Path().c_str()));
        ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
        ASSERT_FALSE(Registered()) << "a product left by an earlier run";
    }
    void TearDown() override {
        if (Registered())
            Uninstall();
        // An uninstaller that failed leaves its record of the product behind.
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, INNO_UNINSTALL_KEY);
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, NSIS_UNINSTALL_KEY);
        SetEnvironmentVariableA("STANDIN_JOURNAL_FOLDER", nullptr);
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(PRODUCT_KEY) + "Cache");
        test::DeleteKeyTree(HKEY_CURRENT_USER, USER_KEY);
        test::DeleteTree(ShellFolder("AppData") + "\\SCANNERSETUPSAMPLE");
        DeleteFileA(TempFile(NSIS_UNINSTALL_LOG).c_str());
        DeleteFileA(TempFile(NSIS_FAILED_LOG).c_str());
        test::BringServiceTo(WIA, SERVICE_STOPPED);
    }

    Tool Kind() const { return GetParam().tool; }

    // Runs a command line and returns its exit status and the log it wrote to logPath, if any.
    DWORD Run(const std::string& commandLine, std::string* log, const std::string& logPath = "") {
        DeleteFileA(logPath.c_str());
        const test::RunResult run = test::RunAndWait(commandLine, INSTALL_TIMEOUT_MS);
        EXPECT_TRUE(run.finished) << commandLine;
        *log = test::ReadFileBytes(logPath);
        return run.exitCode;
    }

    // Installs the package silently into a folder whose name holds blanks; with extra, the
    // tool's own arguments for another kind of run (a repair).
    DWORD Install(const char* package, std::string* log, const std::string& extra = "") {
        const std::string file = "\"" + test::BinFile(package) + "\"";
        switch (Kind()) {
        case Tool::Nsis:
            return NsisLog(Run(file + " /S /D=" + m_program, log), log);
        case Tool::Msi:
            return Run("msiexec /i " + file + " \"INSTALLFOLDER=" + m_program + "\" " + extra +
                           " /qn /l*v \"" + m_parent.File("msiexec.log") + "\"",
                       log, m_parent.File("msiexec.log"));
        case Tool::Inno:
            return Run(file + " /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP- \"/DIR=" + m_program +
                           "\" \"/LOG=" + m_parent.File("setup.log") + "\"",
                       log, m_parent.File("setup.log"));
        }
        return 0;
    }
    // The NSIS installer's log: in the program folder, or in the temporary folder after a
    // failure, whose undo may have removed the program folder.
    DWORD NsisLog(DWORD status, std::string* log) const {
        *log = test::ReadFileBytes(status == 0 ? m_program + "\\install.log"
                                               : TempFile(NSIS_FAILED_LOG));
        return status;
    }
    // Installs over the earlier installation without naming its folder: each tool finds it by
    // itself (the MSI in the product key).
    DWORD Upgrade(const char* package, std::string* log) {
        const std::string file = "\"" + test::BinFile(package) + "\"";
        switch (Kind()) {
        case Tool::Nsis:
            return NsisLog(Run(file + " /S", log), log);
        case Tool::Msi:
            return Run("msiexec /i " + file + " /qn /l*v \"" + m_parent.File("msiexec.log") + "\"",
                       log, m_parent.File("msiexec.log"));
        case Tool::Inno:
            return Run(file + " /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP- \"/LOG=" +
                           m_parent.File("setup.log") + "\"",
                       log, m_parent.File("setup.log"));
        }
        return 0;
    }
    // What a user's "repair" is in each tool: Windows Installer's own, the others installing
    // over the installation.
    DWORD Repair(std::string* log) {
        return Install(GetParam().package, log, "REINSTALL=ALL REINSTALLMODE=omus");
    }
    // Removes the product and waits until its uninstaller has finished.
    DWORD Uninstall(std::string* log = nullptr) {
        std::string ignored;
        log = log ? log : &ignored;
        switch (Kind()) {
        case Tool::Nsis: {
            const DWORD status = Run("\"" + m_program + "\\Uninstall.exe\" /S", log);
            *log = WaitForLog(TempFile(NSIS_UNINSTALL_LOG), "folder: ");
            return status;
        }
        case Tool::Msi:
            // Wine's msiexec, unlike Windows, does not take an installed component's folder on
            // removal: the folder is named again for /x.
            return Run("msiexec /x \"" + test::BinFile(GetParam().package) + "\" \"INSTALLFOLDER=" +
                           m_program + "\" /qn /l*v \"" + m_parent.File("msiexec.log") + "\"",
                       log, m_parent.File("msiexec.log"));
        case Tool::Inno: {
            const DWORD status = Run("\"" + m_program +
                                         "\\unins000.exe\" /VERYSILENT /SUPPRESSMSGBOXES "
                                         "/NORESTART \"/LOG=" +
                                         m_parent.File("uninstall.log") + "\"",
                                     log);
            *log = WaitForLog(m_parent.File("uninstall.log"), "Log closed.");
            for (DWORD waited = 0; waited < 30000 && test::DirectoryExists(m_program);
                 waited += 500)
                Sleep(500);
            return status;
        }
        }
        return 0;
    }
    // The versions of the product the tool knows as installed: Windows Installer's related
    // products, the entry in the list of installed programs of the others.
    std::vector<std::string> RegisteredVersions() const {
        std::vector<std::string> versions;
        if (Kind() == Tool::Msi) {
            char code[39] = {};
            for (DWORD i = 0; MsiEnumRelatedProductsA(UPGRADE_CODE, 0, i, code) == ERROR_SUCCESS;
                 ++i) {
                char version[64] = {};
                DWORD size = sizeof(version);
                MsiGetProductInfoA(code, INSTALLPROPERTY_VERSIONSTRING, version, &size);
                versions.push_back(version);
            }
            return versions;
        }
        const char* key = Kind() == Tool::Nsis ? NSIS_UNINSTALL_KEY : INNO_UNINSTALL_KEY;
        if (test::KeyExists(HKEY_LOCAL_MACHINE, key))
            versions.push_back(StringValue(HKEY_LOCAL_MACHINE, key, "DisplayVersion"));
        return versions;
    }
    bool Registered() const { return !RegisteredVersions().empty(); }
    // The line of the tool's log that says a command succeeded.
    std::string Succeeded(const tagCommand& command) const {
        switch (Kind()) {
        case Tool::Nsis:
            return std::string("Torvane ") + command.args + ": 0\r\n";
        case Tool::Msi:
            return std::string(command.msiAction) + ". Return value 1.";
        case Tool::Inno:
            return std::string("Torvane.exe ") + command.args + ": 0\r\n";
        }
        return "";
    }

    bool DeleteInstalled(std::initializer_list<const char*> files) const {
        for (const char* file : files) {
            if (!DeleteFileA((m_program + "\\" + file).c_str()))
                return false;
        }
        return true;
    }

    std::string Journal() const { return test::ReadFileBytes(m_parent.File("journal.txt")); }

    // What every installation must have done; the log shows each command's success, but
    // REGISTER's only when it ran (not in Windows Installer's repair).
    void ExpectInstalled(const std::string& log, bool registerRan = true,
                         bool serviceLeftRunning = true) const {
        for (const tagCommand& command : SETUP_COMMANDS) {
            if (registerRan || &command != &SETUP_COMMANDS[0]) {
                EXPECT_TRUE(Contains(log, Succeeded(command))) << command.args << "\n" << log;
            }
        }
        for (const char* file : {"Torvane.exe", "Kestrix.dll", "DPInst64.exe", "scanner.inf"})
            EXPECT_TRUE(test::FileExists(m_program + "\\" + file)) << file;
        const std::string pdf = std::string(PRODUCT_KEY) + "\\Scanner\\PDF\\Default\\Folder";
        EXPECT_EQ(SharedDocuments() + "\\", StringValue(HKEY_LOCAL_MACHINE, pdf, "1"));

        // REGISTER on 64-bit Windows: the 64-bit installer quietly, the rescan, the library.
        const std::string journal = Journal();
        ASSERT_TRUE(Contains(journal, "DPInst64.exe /Q")) << journal;
        ASSERT_TRUE(Contains(journal, "devcon64.exe Rescan")) << journal;
        EXPECT_LT(journal.find("DPInst64.exe /Q"), journal.find("devcon64.exe Rescan"));
        if (serviceLeftRunning) {
            EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), test::QueryServiceState(WIA))
                << "with the library's export, REGISTER leaves the service alone";
        }

        // Both file commands rewrote their files.
        EXPECT_FALSE(Contains(test::ReadFileBytes(m_program + "\\Setup.reg"), "[WINDIR]"));
        EXPECT_FALSE(Contains(test::ReadFileBytes(m_program + "\\ScanAdvance.ini"), "[WINDIR]"));
        EXPECT_TRUE(Registered());
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

    // Nothing of what the installer made is left, and the tool no longer knows the product.
    void ExpectNothingLeft() const {
        EXPECT_FALSE(test::DirectoryExists(m_program)) << "the program folder is removed whole";
        EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
        EXPECT_FALSE(Registered());
    }

    test::CTempFolder m_parent{"setup", true};
    const std::string m_program = m_parent.Path() + "\\Scanner Setup";
};

std::string InstallerName(const ::testing::TestParamInfo<tagInstaller>& info) {
    return info.param.name;
}

// Installation and removal, with every command's result, in each tool and text kind.
class InstallerRoundTrip : public InstallerTest {};

TEST_P(InstallerRoundTrip, InstallsRunsTheCommandsAndRemovesEverything) {
    std::string log;
    EXPECT_EQ(0u, Install(GetParam().package, &log)) << log;
    ExpectInstalled(log);
    // The value SET_SAVE_FOLDER wrote, read back through Kestrix by the installer itself; Inno
    // Setup's log shows it only when the commands ran after the keys were made.
    const std::string folder = SharedDocuments() + "\\\r\n";
    if (Kind() == Tool::Nsis) {
        EXPECT_TRUE(Contains(log, "RegGetKeyValueEx: 1 " + folder)) << log;
    } else if (Kind() == Tool::Inno) {
        EXPECT_TRUE(Contains(log, "PDF folder: " + folder)) << log;
    }

    const std::string settings = PlantLeftovers();
    const std::string cacheKey = std::string(PRODUCT_KEY) + "Cache"; // for Kestrix's RegDelKeyEX
    ASSERT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, cacheKey + "\\A", "v", "x"));
    EXPECT_EQ(0u, Uninstall(&log)) << log;
    for (const tagCommand& command : REMOVAL_COMMANDS)
        EXPECT_TRUE(Contains(log, Succeeded(command))) << command.args << "\n" << log;
    if (Kind() != Tool::Msi) {
        EXPECT_TRUE(Contains(log, "RegDelKeyEX: 0\r\n")) << log;
        EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, cacheKey));
    }
    if (Kind() == Tool::Nsis) {
        // Wine deletes a loaded DLL where Windows refuses: the log shows that it was freed.
        EXPECT_TRUE(Contains(log, "Kestrix loaded after FreeLibrary: 0\r\n")) << log;
        EXPECT_TRUE(Contains(log, "Program folder: removed\r\n")) << log;
    }
    ExpectNothingLeft();
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, USER_KEY));
    // Wine runs every process as the one user; on Windows an MSI's not-impersonated action
    // runs as LocalSystem and reaches that account's settings folder instead.
    EXPECT_FALSE(test::DirectoryExists(settings));
    EXPECT_TRUE(Contains(Journal(), "DPInst64.exe /U")) << Journal();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA))
        << "UNREGISTER ... STOPWIA leaves the service stopped";
}

INSTANTIATE_TEST_SUITE_P(Installers, InstallerRoundTrip,
                         ::testing::Values(NSIS_ANSI, NSIS_UNICODE, MSI, INNO), InstallerName);

// The other scenarios, once per tool.
class InstallerRoundTripScenario : public InstallerTest {};

TEST_P(InstallerRoundTripScenario, RepairKeepsTheProductConfiguredAndRemovalNeedsNoTorvane) {
    std::string log;
    ASSERT_EQ(0u, Install(GetParam().package, &log)) << log;
    // A repair puts back the files that are missing, as the package holds them ("[WINDIR]"
    // untranslated), and Windows Installer writes the package's registry values again.
    ASSERT_TRUE(DeleteInstalled({"Setup.reg", "ScanAdvance.ini"}));
    EXPECT_EQ(0u, Repair(&log)) << log;
    ExpectInstalled(log, Kind() != Tool::Msi);

    // The removal succeeds and leaves nothing of what the installer made, Torvane.exe and
    // Kestrix.dll gone (missing, quarantined, blocked) or not.
    ASSERT_TRUE(DeleteInstalled({"Torvane.exe", "Kestrix.dll"}));
    EXPECT_EQ(0u, Uninstall(&log)) << log;
    ExpectNothingLeft();
    if (Kind() == Tool::Msi) {
        // Wine's msiexec lets a removal go on when an action's program cannot be started, where
        // Windows fails it: the package's removal actions must say that their result does not
        // count (msidbCustomActionTypeContinue, Return="ignore").
        for (const tagCommand& command : REMOVAL_COMMANDS) {
            const std::string type = QueryPackage(
                MSI.package, std::string("SELECT `Type` FROM `CustomAction` WHERE `Action`='") +
                                 command.msiAction + "'");
            EXPECT_NE(0, atoi(type.c_str()) & msidbCustomActionTypeContinue)
                << command.msiAction << " type " << type;
        }
    }
}

TEST_P(InstallerRoundTripScenario, FailedCommandUndoesTheInstallation) {
    // The installer's TRANSLATEPATH names a file that is not there: Torvane exits with -1.
    std::string log;
    const DWORD status = Install(GetParam().broken, &log);
    EXPECT_NE(0u, status) << log;
    std::printf("%s: exit status %lu\n", GetParam().name, static_cast<unsigned long>(status));
    const std::string journal = Journal();
    if (!GetParam().registerFirst) {
        EXPECT_FALSE(Contains(journal, "DPInst64.exe"))
            << "REGISTER ran after a failed file command";
    } else {
        ASSERT_TRUE(Contains(journal, "DPInst64.exe /Q")) << "REGISTER ran before the failure";
        // The driver package goes again (Wine's msiexec would run no rollback action).
        EXPECT_EQ(GetParam().undoRunsHere, Contains(journal, "DPInst64.exe /U")) << journal;
    }
    for (DWORD waited = 0; waited < 30000 && test::DirectoryExists(m_program); waited += 500)
        Sleep(500);
    ExpectNothingLeft();
}

TEST_P(InstallerRoundTripScenario, UpgradeReplacesTheOlderVersionAndKeepsTheProductConfigured) {
    std::string log;
    ASSERT_EQ(0u, Install(GetParam().older, &log)) << log;
    ASSERT_EQ(1u, RegisteredVersions().size());
    ASSERT_NE(ProjectVersion(), RegisteredVersions()[0]) << "the older build is older";
    ASSERT_TRUE(DeleteFileA(m_parent.File("journal.txt").c_str()));
    // Over the earlier installation, into its folder, which each tool finds by itself.
    const DWORD status = Upgrade(GetParam().package, &log);
    EXPECT_EQ(0u, status) << log;
    ExpectInstalled(log, true, !GetParam().olderRemovalRunsCommands);
    EXPECT_EQ(std::vector<std::string>{ProjectVersion()}, RegisteredVersions());
    if (!GetParam().olderRemovalRunsCommands) {
        EXPECT_FALSE(Contains(Journal(), "/U")) << "UNREGISTER ran:\n" << Journal();
        for (const tagCommand& command : REMOVAL_COMMANDS)
            EXPECT_FALSE(Contains(log, Succeeded(command))) << command.args << " ran\n" << log;
    } else {
        for (const tagCommand& command : REMOVAL_COMMANDS) {
            EXPECT_EQ("REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE",
                      QueryPackage(MSI.package, std::string("SELECT `Condition` FROM "
                                                            "`InstallExecuteSequence` WHERE "
                                                            "`Action`='") +
                                                    command.msiAction + "'"));
        }
        // Windows shows the launch condition's message on a downgrade; Wine's msiexec logs only
        // that the condition failed.
        EXPECT_EQ("A newer version of Scanner Setup Sample is already installed.",
                  QueryPackage(GetParam().older, "SELECT `Description` FROM `LaunchCondition` "
                                                 "WHERE `Condition`='NOT NEWERVERSIONFOUND'"));
    }
    // A newer version installed refuses an older one, and nothing changes.
    ASSERT_TRUE(DeleteFileA(m_parent.File("journal.txt").c_str()));
    const DWORD downgrade = Upgrade(GetParam().older, &log);
    std::printf("%s: downgrade exit status %lu\n", GetParam().name,
                static_cast<unsigned long>(downgrade));
    EXPECT_NE(0u, downgrade) << log;
    EXPECT_EQ(std::vector<std::string>{ProjectVersion()}, RegisteredVersions());
    EXPECT_EQ("", Journal()) << "a command ran";
    EXPECT_FALSE(Contains(test::ReadFileBytes(m_program + "\\Setup.reg"), "[WINDIR]"));
    EXPECT_EQ(0u, Uninstall(&log)) << log;
    ExpectNothingLeft();
}

TEST_P(InstallerRoundTripScenario, FailedUpgradeKeepsTheEarlierVersionInstalledAndConfigured) {
    std::string log;
    ASSERT_EQ(0u, Install(GetParam().older, &log)) << log;
    const std::vector<std::string> earlier = RegisteredVersions();
    ASSERT_EQ(1u, earlier.size());
    const std::string pdf = std::string(PRODUCT_KEY) + "\\Scanner\\PDF\\Default\\Folder";
    // The earlier version as it was: listed, configured, its driver package not removed.
    const auto expectEarlierKept = [&](const char* step) {
        EXPECT_EQ(earlier, RegisteredVersions()) << step;
        EXPECT_FALSE(Contains(test::ReadFileBytes(m_program + "\\Setup.reg"), "[WINDIR]")) << step;
        EXPECT_EQ(SharedDocuments() + "\\", StringValue(HKEY_LOCAL_MACHINE, pdf, "1")) << step;
        EXPECT_TRUE(test::FileExists(m_program + "\\Torvane.exe")) << step;
        EXPECT_FALSE(Contains(Journal(), "/U")) << step << ": UNREGISTER ran\n" << Journal();
    };
    if (GetParam().heldFile) {
        // A caller holds one of the product's files (Kestrix.dll loaded, say): a silent upgrade
        // that cannot replace it fails instead of skipping it.
        DWORD status = 0;
        {
            test::CFileHold hold(m_program + "\\" + GetParam().heldFile, INSTALL_TIMEOUT_MS);
            ASSERT_TRUE(hold.Held());
            status = Upgrade(GetParam().package, &log);
        }
        EXPECT_NE(0u, status) << log;
        expectEarlierKept("held file");
    }
    // The new version's TRANSLATEPATH names a file that is not there: Torvane exits with -1.
    const DWORD status = Upgrade(GetParam().broken, &log);
    std::printf("%s: failed upgrade exit status %lu, installed afterwards:", GetParam().name,
                static_cast<unsigned long>(status));
    for (const std::string& version : RegisteredVersions())
        std::printf(" %s", version.c_str());
    std::printf("\n");
    EXPECT_NE(0u, status) << log;
    if (GetParam().undoRunsHere) {
        expectEarlierKept("failed command");
    } else {
        // Windows rolls back the older version's removal with the rest only when it runs inside
        // the transaction, right after InstallInitialize (1500); and REGISTER's rollback must not
        // remove the driver package the older version registered.
        EXPECT_EQ("1501", QueryPackage(MSI.package, "SELECT `Sequence` FROM "
                                                    "`InstallExecuteSequence` WHERE "
                                                    "`Action`='RemoveExistingProducts'"));
        EXPECT_EQ("NOT Installed AND NOT OLDERVERSIONFOUND",
                  QueryPackage(MSI.package, "SELECT `Condition` FROM `InstallExecuteSequence` "
                                            "WHERE `Action`='TorvaneRegisterRollback'"));
    }
    if (Registered()) {
        EXPECT_EQ(0u, Uninstall(&log)) << log;
        ExpectNothingLeft();
    }
}

INSTANTIATE_TEST_SUITE_P(Installers, InstallerRoundTripScenario,
                         ::testing::Values(NSIS_UNICODE, MSI, INNO), InstallerName);

} // namespace
