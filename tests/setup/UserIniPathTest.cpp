// The two paths of Deleteuserini, with the argument kept inside the application-data folder;
// where a file path's folder part ends.
#include <gtest/gtest.h>

#include <string>

#include "setup/UserIniPath.h"

namespace {

const char APPDATA[] = "C:\\users\\u\\AppData\\Roaming";

// Treats 0x81 as the first byte of a double-byte character, as a DBCS code page would.
int FakeLeadByte(unsigned char ch) {
    return ch == 0x81;
}

struct Formed {
    bool ok;
    std::string folder, file;
};

Formed Form(const std::string& appData, const std::string& argument) {
    tagUserIniPaths paths;
    memset(&paths, 'x', sizeof(paths));
    Formed formed;
    formed.ok = FormUserIniPaths(appData.c_str(), argument.c_str(), FakeLeadByte, &paths) == 1;
    formed.folder = paths.szFolder;
    formed.file = paths.bHasFile ? paths.szFile : "<none>";
    if (!formed.ok) {
        EXPECT_EQ("", formed.folder);
        EXPECT_EQ(0, paths.bHasFile);
    }
    return formed;
}

TEST(UserIniPaths, FolderIsTheWholeArgumentAndFileTheNamePartWithIni) {
    Formed formed = Form(APPDATA, "VENDOR\\TOOL");
    ASSERT_TRUE(formed.ok);
    EXPECT_EQ(std::string(APPDATA) + "\\VENDOR\\TOOL", formed.folder);
    EXPECT_EQ(std::string(APPDATA) + "\\VENDOR\\TOOL\\TOOL.ini", formed.file);

    // Only the first backslash splits: the name part of A\B\C is B\C.
    formed = Form(APPDATA, "A\\B\\C");
    EXPECT_EQ(std::string(APPDATA) + "\\A\\B\\C", formed.folder);
    EXPECT_EQ(std::string(APPDATA) + "\\A\\B\\C\\B\\C.ini", formed.file);

    formed = Form("\\\\server\\share\\u", "V\\T");
    EXPECT_TRUE(formed.ok);
    EXPECT_EQ("\\\\server\\share\\u\\V\\T\\T.ini", formed.file);
}

TEST(UserIniPaths, WithoutANamePartNoFileIsNamedButTheFolderIs) {
    for (const char* argument : {"VENDOR", "VENDOR\\", "VENDOR\\TOOL\\", "VENDOR\\TOOL/"}) {
        Formed formed = Form(APPDATA, argument);
        EXPECT_TRUE(formed.ok) << argument;
        EXPECT_EQ(std::string(APPDATA) + "\\" + argument, formed.folder) << argument;
        EXPECT_EQ("<none>", formed.file) << argument;
    }
}

TEST(UserIniPaths, ArgumentsThatLeaveTheFolderAreRefused) {
    for (const char* argument :
         {"", "\\VENDOR\\TOOL", "/VENDOR", "C:\\TOOL", "C:TOOL", "VENDOR\\TOOL:STREAM", "..",
          "..\\TOOL", "VENDOR\\..\\..\\TOOL", "VENDOR/../TOOL", "VENDOR\\.\\TOOL", ".\\TOOL",
          "VENDOR\\...", "VENDOR\\. .\\TOOL", "VENDOR\\.."}) {
        EXPECT_FALSE(Form(APPDATA, argument).ok) << argument;
    }
    // Dots inside a name are ordinary.
    EXPECT_TRUE(Form(APPDATA, "V.1\\..TOOL").ok);
    EXPECT_TRUE(Form(APPDATA, "V\\TOOL..").ok);
}

TEST(UserIniPaths, AppDataMustBeAFullPath) {
    for (const char* appData : {"", "AppData\\Roaming", "\\users\\u", "C:users", "1:\\x"})
        EXPECT_FALSE(Form(appData, "V\\T").ok) << appData;
    tagUserIniPaths paths;
    EXPECT_EQ(0, FormUserIniPaths(nullptr, "V\\T", FakeLeadByte, &paths));
    EXPECT_EQ(0, FormUserIniPaths(APPDATA, nullptr, FakeLeadByte, &paths));
}

TEST(UserIniPaths, ABackslashInsideADoubleByteCharacterSplitsNothing) {
    // 0x81 0x5C is one character: no separator, so no name part and no file.
    const std::string dbcs = std::string("V") + "\x81\x5C" + "T";
    Formed formed = Form(APPDATA, dbcs);
    ASSERT_TRUE(formed.ok);
    EXPECT_EQ(std::string(APPDATA) + "\\" + dbcs, formed.folder);
    EXPECT_EQ("<none>", formed.file);
    // Nor does it end a component: "\x81\\.." is one name, not "..".
    EXPECT_TRUE(Form(APPDATA, std::string("V\\\x81\\..")).ok);
    // A real separator after a double-byte character still splits.
    formed = Form(APPDATA, std::string("V\x81\x5C\\T"));
    EXPECT_EQ(std::string(APPDATA) + "\\V\x81\x5C\\T\\T.ini", formed.file);

    // Where a file path's folder part ends (the program folder of the file commands): after its
    // last backslash that is a character of its own.
    const std::pair<std::string, size_t> paths[] = {{"C:\\P\\\x81\x5C.reg", 5},
                                                    {"C:\\P\x81\x5C\\a.reg", 7},
                                                    {"C:\\P\x81\\", 3},
                                                    {"C:a.reg", 2},
                                                    {"a.reg", 0},
                                                    {"C:\\P/a.reg", 5}};
    for (const auto& path : paths)
        EXPECT_EQ(path.second, FolderPartLength(path.first.c_str(), FakeLeadByte)) << path.first;
}

TEST(UserIniPaths, PathsThatDoNotFitAreRefusedWhole) {
    // Folder: appData + "\" + argument; file: folder + "\" + name + ".ini"; 259 characters
    // at most each.
    const std::string appData = "C:\\" + std::string(200, 'd');
    std::string argument = "V\\" + std::string(24, 'n'); // file: 203 + 1 + 26 + 1 + 24 + 4
    Formed formed = Form(appData, argument);
    ASSERT_TRUE(formed.ok);
    EXPECT_EQ(259u, formed.file.size());
    EXPECT_FALSE(Form(appData, argument + "n").ok) << "file of 260 characters";

    const std::string folderOnly = std::string(55, 'f'); // folder 203 + 1 + 55 = 259
    formed = Form(appData, folderOnly);
    ASSERT_TRUE(formed.ok);
    EXPECT_EQ(259u, formed.folder.size());
    EXPECT_FALSE(Form(appData, folderOnly + "f").ok) << "folder of 260 characters";
    EXPECT_FALSE(Form("C:\\" + std::string(300, 'd'), "V\\T").ok);
}

} // namespace
