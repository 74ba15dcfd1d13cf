// Deleteuserini in the current user's real application-data folder (folders unique to each
// test), end to end through Torvane.exe, and in-process where the result must be seen.
#include <gtest/gtest.h>

#include <string>

#include "devctl/DevCtr.h"
#include "support/TestSupport.h"

namespace {

class DeleteUserIni : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_appData.empty()) << "no APPDATA in the shell folders";
        ASSERT_TRUE(test::DirectoryExists(m_appData));
    }
    void TearDown() override {
        test::DeleteTree(At(m_vendor));
        test::DeleteTree(m_appData + "\\..\\" + m_vendor);
    }

    std::string At(const std::string& relative) const { return m_appData + "\\" + relative; }
    void MakeFolder(const std::string& relative) {
        std::string path = m_appData;
        size_t start = 0;
        while (start <= relative.size()) {
            size_t end = relative.find('\\', start);
            if (end == std::string::npos)
                end = relative.size();
            path += "\\" + relative.substr(start, end - start);
            CreateDirectoryA(path.c_str(), nullptr);
            start = end + 1;
        }
    }
    void MakeFile(const std::string& relative) {
        MakeFolder(relative.substr(0, relative.rfind('\\')));
        ASSERT_TRUE(test::WriteFileBytes(At(relative), "[Settings]\r\nA=1\r\n"));
    }
    void Run(const std::string& args) {
        test::RunResult result = test::RunTorvane(m_folder, args);
        ASSERT_TRUE(result.finished) << args;
        EXPECT_EQ(0u, result.exitCode) << args;
    }

    const std::string m_appData = test::AppDataFolder();
    const std::string m_vendor = test::UniqueName("VENDOR");
    test::CProgramFolder m_folder{"userini"};
};

TEST_F(DeleteUserIni, FileThenTheFolderThatHeldOnlyIt) {
    MakeFile(m_vendor + "\\TOOL\\TOOL.ini");
    Run("Deleteuserini " + m_vendor + "\\TOOL");
    EXPECT_FALSE(test::FileExists(At(m_vendor + "\\TOOL\\TOOL.ini")));
    EXPECT_FALSE(test::DirectoryExists(At(m_vendor + "\\TOOL")));
    EXPECT_TRUE(test::DirectoryExists(At(m_vendor))) << "the vendor folder is never removed";
}

TEST_F(DeleteUserIni, FolderWithOtherEntriesKeepsThemAndStays) {
    MakeFile(m_vendor + "\\TOOL\\TOOL.ini");
    MakeFile(m_vendor + "\\TOOL\\other.dat");
    MakeFolder(m_vendor + "\\TOOL2\\Sub");
    MakeFile(m_vendor + "\\TOOL2\\TOOL2.ini");
    Run("DELETEUSERINI " + m_vendor + "\\TOOL");
    Run("deleteuserini " + m_vendor + "\\TOOL2");
    EXPECT_FALSE(test::FileExists(At(m_vendor + "\\TOOL\\TOOL.ini")));
    EXPECT_TRUE(test::FileExists(At(m_vendor + "\\TOOL\\other.dat")));
    EXPECT_FALSE(test::FileExists(At(m_vendor + "\\TOOL2\\TOOL2.ini")));
    EXPECT_TRUE(test::DirectoryExists(At(m_vendor + "\\TOOL2\\Sub")));
}

TEST_F(DeleteUserIni, FurtherBackslashesBelongToTheNamePart) {
    // A\B\C: the name part is B\C, so the file is A\B\C\B\C.ini and the folder A\B\C.
    MakeFile(m_vendor + "\\B\\C\\B\\C.ini");
    MakeFile(m_vendor + "\\B\\C.ini");
    Run("Deleteuserini " + m_vendor + "\\B\\C");
    EXPECT_FALSE(test::FileExists(At(m_vendor + "\\B\\C\\B\\C.ini")));
    EXPECT_TRUE(test::DirectoryExists(At(m_vendor + "\\B\\C\\B"))) << "holds the folder B";
    EXPECT_TRUE(test::FileExists(At(m_vendor + "\\B\\C.ini")));

    test::DeleteTree(At(m_vendor + "\\B\\C\\B"));
    MakeFile(m_vendor + "\\B\\C\\C.ini");
    Run("Deleteuserini " + m_vendor + "\\B\\C");
    EXPECT_TRUE(test::FileExists(At(m_vendor + "\\B\\C\\C.ini"))) << "not the file named";
}

TEST_F(DeleteUserIni, LetterCaseOfTheFilesDoesNotMatter) {
    // The argument arrives upper-cased and the extension is ".ini"; the files here are mixed.
    const std::string mixed = "Vendor" + m_vendor.substr(6);
    MakeFile(mixed + "\\Tool\\Tool.INI");
    Run("Deleteuserini " + mixed + "\\tool");
    EXPECT_FALSE(test::FileExists(At(mixed + "\\Tool\\Tool.INI")));
    EXPECT_FALSE(test::DirectoryExists(At(mixed + "\\Tool")));
    EXPECT_TRUE(test::DirectoryExists(At(mixed)));
}

TEST_F(DeleteUserIni, WithoutANamePartOnlyTheFolderStepRuns) {
    MakeFile(m_vendor + "\\.ini"); // what an empty name part would name
    Run("Deleteuserini " + m_vendor);
    Run("Deleteuserini " + m_vendor + "\\");
    EXPECT_TRUE(test::FileExists(At(m_vendor + "\\.ini")));
    test::DeleteTree(At(m_vendor));
    MakeFolder(m_vendor);
    Run("Deleteuserini " + m_vendor);
    EXPECT_FALSE(test::DirectoryExists(At(m_vendor))) << "an empty folder is removed";
}

TEST_F(DeleteUserIni, ArgumentsReachingOutsideTheFolderDeleteNothing) {
    // Beside the application-data folder: what "..\<vendor>" would reach.
    const std::string outside = m_appData + "\\..\\" + m_vendor;
    CreateDirectoryA(outside.c_str(), nullptr);
    ASSERT_TRUE(test::WriteFileBytes(outside + "\\" + m_vendor + ".ini", "x"));
    // Inside: what "<vendor>\.\T" would reach once "." is resolved.
    MakeFile(m_vendor + "\\T\\T.ini");

    CDevCtr devCtr;
    for (const std::string& argument :
         {"..\\" + m_vendor, "../" + m_vendor, m_vendor + "\\.\\T", m_vendor + "\\T\\..\\T",
          "\\" + m_vendor + "\\T", "C:" + m_vendor + "\\T", std::string()}) {
        EXPECT_EQ(0, devCtr.DeleteUserIni(argument.c_str())) << argument;
        if (!argument.empty() && argument.size() < 80)
            Run("Deleteuserini " + argument);
    }
    EXPECT_TRUE(test::FileExists(outside + "\\" + m_vendor + ".ini"));
    EXPECT_TRUE(test::FileExists(At(m_vendor + "\\T\\T.ini")));
    EXPECT_EQ(1, devCtr.DeleteUserIni((m_vendor + "\\T").c_str()));
    EXPECT_FALSE(test::FileExists(At(m_vendor + "\\T\\T.ini")));
}

TEST_F(DeleteUserIni, EmptyArgumentLeavesEvenAnEmptyApplicationDataFolder) {
    // With the folder itself empty, "<appdata>\" would be removable.
    test::CTempFolder empty("appdata");
    test::CValueOverride appData(HKEY_CURRENT_USER, test::SHELL_FOLDERS, "APPDATA", REG_SZ,
                                 test::Sz(empty.Path()));
    CDevCtr devCtr;
    EXPECT_EQ(0, devCtr.DeleteUserIni(""));
    EXPECT_TRUE(test::DirectoryExists(empty.Path()));
    Run("Deleteuserini");
    EXPECT_TRUE(test::DirectoryExists(empty.Path()));
}

TEST_F(DeleteUserIni, UnreadableApplicationDataFolderDeletesNothing) {
    MakeFile(m_vendor + "\\TOOL\\TOOL.ini");
    CDevCtr devCtr;
    const std::string argument = m_vendor + "\\TOOL";
    {
        test::CValueOverride missing(HKEY_CURRENT_USER, test::SHELL_FOLDERS, "APPDATA", 0, "",
                                     true);
        EXPECT_EQ(0, devCtr.DeleteUserIni(argument.c_str())) << "no value";
        Run("Deleteuserini " + argument);
    }
    // Longer than 260 bytes; exactly 260 without a NUL; empty; not a full path.
    const std::string cases[] = {test::Sz(m_appData + "\\" + std::string(260, 'x')),
                                 m_appData + std::string(260 - m_appData.size(), '\\'),
                                 test::Sz(""), test::Sz("AppData\\Roaming")};
    for (const std::string& value : cases) {
        test::CValueOverride appData(HKEY_CURRENT_USER, test::SHELL_FOLDERS, "APPDATA", REG_SZ,
                                     value);
        EXPECT_EQ(0, devCtr.DeleteUserIni(argument.c_str())) << value.size();
    }
    EXPECT_TRUE(test::FileExists(At(argument + "\\TOOL.ini")));
}

} // namespace
