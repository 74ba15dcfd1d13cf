// The program folder, the tools' command lines and the hidden runner; and the controller's
// children started from a folder that has no short form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DriverFolder.h"
#include "devctl/CommandText.h"
#include "devctl/DevCtr.h"
#include "devctl/Platform.h"
#include "support/TestSupport.h"

// The test-access friend of CDevCtr: its program folder, and a controller with its folder set as
// where no short form exists (the long path, blank and all), on which the package steps run.
class CDevCtrTestAccess {
public:
    CDevCtrTestAccess(const std::string& folder, const std::string& infName) {
        lstrcpynA(m_controller.m_szModuleDir, folder.c_str(), sizeof(m_controller.m_szModuleDir));
        lstrcpynA(m_controller.m_szInfName, infName.c_str(), sizeof(m_controller.m_szInfName));
    }
    int InstallPackage64() { return m_controller.InstallPackage64(); }
    int RemovePackage32(const char* pszInfName) { return m_controller.RemovePackage32(pszInfName); }
    static const char* ModuleDir(const CDevCtr& controller) { return controller.m_szModuleDir; }

private:
    CDevCtr m_controller;
};

namespace {

using Strings = std::vector<std::string>;
using devtest::CDriverFolder;

std::string ShortPathOf(const std::string& path) {
    char shortPath[MAX_PATH] = {};
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof(shortPath));
    return (length > 0 && length < sizeof(shortPath)) ? shortPath : "";
}

TEST(ProgramFolder, IsTheShortFormOfTheProgramsFolder) {
    CDriverFolder folder("short", devtest::Library::Missing, true);
    ASSERT_NE(std::string::npos, folder.Path().find(' '));
    char result[MAX_PATH];
    ASSERT_EQ(ERROR_SUCCESS, ProgramFolderOf(folder.Torvane().c_str(), result, sizeof(result)));
    EXPECT_EQ(ShortPathOf(folder.Path()), result);
    EXPECT_EQ(std::string::npos, std::string(result).find(' '));

    CDevCtr controller;
    std::string binFolder = test::BinFile("Torvane.exe");
    binFolder.erase(binFolder.rfind('\\'));
    EXPECT_EQ(ShortPathOf(binFolder), CDevCtrTestAccess::ModuleDir(controller))
        << "the controller's folder is that of this test program";
    EXPECT_EQ(std::string::npos, std::string(CDevCtrTestAccess::ModuleDir(controller)).find(' '));
}

TEST(ProgramFolder, LongFolderServesWhereNoShortFormExists) {
    // GetShortPathNameA fails for a file that does not exist, as where 8.3 names are disabled.
    char result[MAX_PATH];
    ASSERT_EQ(ERROR_SUCCESS, ProgramFolderOf("C:\\No Such Folder\\Setup Files\\Torvane.exe", result,
                                             sizeof(result)));
    EXPECT_STREQ("C:\\No Such Folder\\Setup Files", result);
}

TEST(ProgramFolder, PathThatCannotGiveAFolderGivesAnEmptyOne) {
    char result[MAX_PATH] = "unchanged";
    EXPECT_EQ(ERROR_BAD_PATHNAME, ProgramFolderOf("Torvane.exe", result, sizeof(result)));
    EXPECT_STREQ("", result);
    char small[16] = "unchanged";
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER,
              ProgramFolderOf("C:\\No Such Folder\\Torvane.exe", small, sizeof(small)));
    EXPECT_STREQ("", small);
}

TEST(ToolCommandLine, ShortFolderGivesTheLinesOfTheTables) {
    const char folder[] = "C:\\PROGRA~1\\SETUP";
    char line[MAX_PATH];
    ASSERT_EQ(1, BuildToolCommand(line, sizeof(line), folder, "DPInst.exe", " /Q"));
    EXPECT_STREQ("C:\\PROGRA~1\\SETUP\\DPInst.exe /Q", line);
    ASSERT_EQ(1, BuildToolCommand(line, sizeof(line), folder, "Pellux.exe", nullptr));
    EXPECT_STREQ("C:\\PROGRA~1\\SETUP\\Pellux.exe", line);
    ASSERT_EQ(1, BuildUninstallCommand(line, sizeof(line), folder, "DPInst64.exe", "X.INF"));
    EXPECT_STREQ("C:\\PROGRA~1\\SETUP\\DPInst64.exe /U \"C:\\PROGRA~1\\SETUP\\X.INF\" /d /q", line);
    ASSERT_EQ(
        1, BuildRemoveCommand(line, sizeof(line), folder, "Devcon.exe", "USB\\VID_0F0E&PID_0142"));
    EXPECT_STREQ("C:\\PROGRA~1\\SETUP\\Devcon.exe remove \"USB\\VID_0F0E&PID_0142\"", line);
    ASSERT_EQ(1, BuildFilePath(line, sizeof(line), folder, "Pellux.ini"));
    EXPECT_STREQ("C:\\PROGRA~1\\SETUP\\Pellux.ini", line);
}

TEST(ToolCommandLine, FolderWithABlankIsQuotedAroundTheProgramPath) {
    const char folder[] = "C:\\Program Files\\Setup";
    char line[MAX_PATH];
    ASSERT_EQ(1, BuildToolCommand(line, sizeof(line), folder, "devcon.exe", " Rescan"));
    EXPECT_STREQ("\"C:\\Program Files\\Setup\\devcon.exe\" Rescan", line);
    ASSERT_EQ(1, BuildUninstallCommand(line, sizeof(line), folder, "DPInst.exe", "X.INF"));
    EXPECT_STREQ(
        "\"C:\\Program Files\\Setup\\DPInst.exe\" /U \"C:\\Program Files\\Setup\\X.INF\" /d /q",
        line);
    ASSERT_EQ(1, BuildFilePath(line, sizeof(line), folder, "Pellux.ini"));
    EXPECT_STREQ("C:\\Program Files\\Setup\\Pellux.ini", line) << "a file path is not quoted";
}

TEST(ToolCommandLine, LinesThatDoNotFitAreRefusedNotCut) {
    char line[MAX_PATH];
    const std::string folder = "C:\\" + std::string(200, 'f');
    const std::string fits(MAX_PATH - 1 - folder.size() - 1, 't');
    ASSERT_EQ(1, BuildToolCommand(line, sizeof(line), folder.c_str(), fits.c_str(), nullptr));
    EXPECT_EQ(MAX_PATH - 1u, strlen(line));
    EXPECT_EQ(0, BuildToolCommand(line, sizeof(line), folder.c_str(), fits.c_str(), " "));
    EXPECT_STREQ("", line);
    EXPECT_EQ(0, BuildUninstallCommand(line, sizeof(line), folder.c_str(), "DPInst.exe",
                                       std::string(40, 'i').c_str()));
    EXPECT_STREQ("", line);
    EXPECT_EQ(1, BuildFilePath(line, sizeof(line), folder.c_str(), fits.c_str()));
    EXPECT_EQ(0, BuildFilePath(line, sizeof(line), folder.c_str(), (fits + "x").c_str()));
    EXPECT_STREQ("", line);
}

TEST(ToolCommandLine, EmptyFolderAndQuotesInQuotedPartsAreRefused) {
    char line[MAX_PATH];
    EXPECT_EQ(0, BuildToolCommand(line, sizeof(line), "", "DPInst.exe", " /Q"));
    EXPECT_EQ(0, BuildFilePath(line, sizeof(line), "", "Pellux.ini"));
    EXPECT_EQ(0, BuildUninstallCommand(line, sizeof(line), "C:\\S", "DPInst.exe", "A\"B.INF"));
    EXPECT_EQ(0, BuildRemoveCommand(line, sizeof(line), "C:\\S", "Devcon.exe", "USB\\VID_\" x"));
    EXPECT_STREQ("", line);
}

class HiddenRunner : public ::testing::Test {
protected:
    std::string Line(const std::string& tail) { return m_folder.ToolLine("DPInst.exe", tail); }

    CDriverFolder m_folder{"runner", devtest::Library::Missing};
};

TEST_F(HiddenRunner, MissingProgramOrNullLineIsNotStarted) {
    std::string line = m_folder.File("NoSuchTool.exe") + " /Q";
    EXPECT_EQ(0, RunHiddenAndWait(&line[0], m_folder.Path().c_str()));
    EXPECT_EQ(0, RunHiddenAndWait(nullptr, m_folder.Path().c_str()));
    line = Line(" /Q");
    EXPECT_EQ(0, RunHiddenAndWait(&line[0], "")) << "started from no known folder";
    EXPECT_FALSE(m_folder.HasJournal());
}

TEST_F(HiddenRunner, WaitsForTheChildToEnd) {
    m_folder.Hold("DPInst.exe", "1500");
    std::string line = Line(" /U x");
    const DWORD start = GetTickCount();
    EXPECT_EQ(1, RunHiddenAndWait(&line[0], m_folder.Path().c_str()));
    EXPECT_GE(GetTickCount() - start, 1500u) << "returned before the child could have ended";
    EXPECT_EQ(Strings({Line(" /U x"), "DPInst.exe ended"}), m_folder.Journal());
}

TEST_F(HiddenRunner, ChildThatOutlastsTheLimitIsLeftRunning) {
    m_folder.Hold("DPInst.exe", "forever");
    std::string line = Line(" /U y");
    EXPECT_EQ(1, RunHiddenAndWait(&line[0], m_folder.Path().c_str(), 1000));
    // The child runs until it is released: had the runner ended it, it could not say so later.
    EXPECT_TRUE(m_folder.WaitForJournalLine(Line(" /U y")));
    EXPECT_TRUE(m_folder.Release("DPInst.exe")) << "the child was ended, not left running";
    EXPECT_EQ(Strings({Line(" /U y"), "DPInst.exe ended"}), m_folder.Journal());
}

// An unquoted "...\hijack\setup folder\DPInst64.exe" is first tried as "...\hijack\setup.exe"
// (Wine, like Windows, tries each prefix that ends at a blank). A stand-in planted under that
// name would journal in hijack\.
TEST(LongProgramFolder, ToolsAreStartedByTheirQuotedPath) {
    test::CTempFolder outer("hijack");
    const std::string folder = outer.File("setup folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    for (const char* tool : devtest::TOOL_NAMES)
        ASSERT_TRUE(test::CopyInto(test::BinFile(tool), folder + "\\" + tool));
    ASSERT_TRUE(
        test::CopyInto(test::SourceFile("samples/setup/scanner.inf"), folder + "\\scanner.inf"));
    ASSERT_TRUE(test::CopyInto(test::BinFile("DPInst.exe"), outer.File("setup.exe")));
    const std::string journal = folder + "\\journal.txt";
    const std::string quoted = "\"" + folder;
    CDevCtrTestAccess controller(folder, "scanner.inf");

    // This process sees code 13: the 64-bit installer, not Pellux.exe.
    EXPECT_EQ(1, controller.InstallPackage64());
    EXPECT_EQ(Strings({quoted + "\\DPInst64.exe\"", quoted + "\\devcon64.exe\" Rescan"}),
              devtest::JournalLines(journal));
    EXPECT_EQ("[SetupCopyOEMInf]\r\nSourceInfFileName=scanner.inf\r\n",
              test::ReadFileBytes(folder + "\\Pellux.ini"));

    DeleteFileA(journal.c_str());
    controller.RemovePackage32("scanner.inf");
    EXPECT_EQ(Strings({quoted + "\\DPInst.exe\" /U \"" + folder + "\\scanner.inf\" /d /q",
                       quoted + "\\Devcon.exe\" remove \"" + devtest::SAMPLE_ID_1 + "\"",
                       quoted + "\\Devcon.exe\" remove \"" + devtest::SAMPLE_ID_2 + "\""}),
              devtest::JournalLines(journal));
    EXPECT_FALSE(test::FileExists(outer.File("journal.txt")))
        << "a program was started from the path split at its blank";
}

} // namespace
