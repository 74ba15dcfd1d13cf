// The Win32 side of the command line: upper-casing in the code page, and forming the path of
// the file that TRANSLATEPATH and TRANSLATESCANADVANCE work on.
#include <gtest/gtest.h>

#include <string>

#include "setup/Dispatch.h"

namespace {

std::string ProgramFolder() {
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof(module));
    std::string path = module;
    return path.substr(0, path.rfind('\\') + 1);
}

tagCommandLine Split(const std::string& line) {
    tagCommandLine parts;
    SplitCommandLine(line.c_str(), UpperCaseAnsi, &parts);
    return parts;
}

TEST(CommandLineUpperCase, CodePageLettersAreUpperCased) {
    // In the Western code page 1252 (Wine's default), e-acute 0xE9 becomes 0xC9.
    if (GetACP() != 1252)
        GTEST_SKIP() << "code page " << GetACP();
    tagCommandLine parts = Split("deleteuserini caf\xE9\\x");
    EXPECT_STREQ("DELETEUSERINI", parts.szCommand);
    EXPECT_STREQ("CAF\xC9\\X", parts.szArgument);
}

TEST(FormFilePath, JoinsFolderArgumentAndExtraToken) {
    char path[MAX_PATH];
    ASSERT_EQ(1,
              FormFilePath(nullptr, Split("translatepath scan settings.reg"), path, sizeof(path)));
    EXPECT_EQ(ProgramFolder() + "SCAN SETTINGS.REG", path);

    ASSERT_EQ(1, FormFilePath(nullptr, Split("TRANSLATEPATH a.reg /q"), path, sizeof(path)));
    EXPECT_EQ(ProgramFolder() + "A.REG /Q", path);

    ASSERT_EQ(1, FormFilePath(nullptr, Split("TRANSLATEPATH a.reg b c"), path, sizeof(path)));
    EXPECT_EQ(ProgramFolder() + "A.REG B", path);
}

TEST(FormFilePath, NoArgumentGivesTheFolder) {
    char path[MAX_PATH];
    ASSERT_EQ(1, FormFilePath(nullptr, Split("TRANSLATEPATH"), path, sizeof(path)));
    EXPECT_EQ(ProgramFolder(), path);
}

TEST(FormFilePath, PathThatDoesNotFitIsRefusedAndTheBufferIsNotOverrun) {
    const std::string folder = ProgramFolder();
    ASSERT_LT(folder.size(), 200u) << "the build folder is too deep for this test";
    const size_t room = MAX_PATH - 1 - folder.size(); // characters left for the file name

    // Exactly fitting: argument plus blank plus extra fills the 259 characters.
    std::string argument(std::min<size_t>(room - 2, 79), 'a');
    std::string extra(room - argument.size() - 1, 'b');
    char path[MAX_PATH + 16];
    memset(path, 'Z', sizeof(path));
    ASSERT_EQ(1, FormFilePath(nullptr, Split("X " + argument + " " + extra), path, MAX_PATH));
    EXPECT_EQ(MAX_PATH - 1, strlen(path));

    // One character more does not fit: refused, and nothing written beyond the buffer.
    memset(path, 'Z', sizeof(path));
    EXPECT_EQ(0, FormFilePath(nullptr, Split("X " + argument + " " + extra + "b"), path, MAX_PATH));
    for (size_t i = MAX_PATH; i < sizeof(path); ++i)
        EXPECT_EQ('Z', path[i]);
}

} // namespace
