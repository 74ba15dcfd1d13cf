// The command-line grammar, in-process: splitting, upper-casing, flags and refusals.
#include <gtest/gtest.h>

#include <string>

#include "setup/CommandLine.h"
#include "setup/Dispatch.h"

namespace {

tagCommandLine Split(const std::string& line, int* pResult = nullptr) {
    tagCommandLine parts;
    int result = SplitCommandLine(line.c_str(), UpperCaseAnsi, &parts);
    if (pResult != nullptr)
        *pResult = result;
    return parts;
}

TEST(CommandLineSplit, UpperCasesEveryTokenAndSetsQuietFlag) {
    tagCommandLine parts = Split("register driver.inf /q");
    EXPECT_STREQ("REGISTER", parts.szCommand);
    EXPECT_STREQ("DRIVER.INF", parts.szArgument);
    EXPECT_STREQ("/Q", parts.szExtra);
    EXPECT_EQ(1, parts.bHasExtra);
    EXPECT_EQ(1, parts.nQuiet);
    EXPECT_EQ(0, parts.nStopWia);
    EXPECT_EQ(0, parts.bTooLong);
}

TEST(CommandLineSplit, StopWiaTokenSetsOnlyTheStopFlag) {
    tagCommandLine parts = Split("REGISTER driver.inf StopWia");
    EXPECT_EQ(0, parts.nQuiet);
    EXPECT_EQ(1, parts.nStopWia);
    parts = Split("UNREGISTER driver.inf /Q");
    EXPECT_EQ(1, parts.nQuiet);
    EXPECT_EQ(0, parts.nStopWia);
}

TEST(CommandLineSplit, OtherThirdTokensSetNoFlagButAreKept) {
    tagCommandLine parts = Split("TRANSLATEPATH a.reg b c");
    EXPECT_STREQ("A.REG", parts.szArgument);
    EXPECT_EQ(1, parts.bHasExtra);
    EXPECT_STREQ("B", parts.szExtra);
    EXPECT_EQ(0, parts.nQuiet);
    EXPECT_EQ(0, parts.nStopWia);
    // "/QX" and "STOPWIA2" are not the flags.
    EXPECT_EQ(0, Split("REGISTER a /QX").nQuiet);
    EXPECT_EQ(0, Split("UNREGISTER a STOPWIA2").nStopWia);
}

TEST(CommandLineSplit, RunsOfBlanksAreOneSeparatorAndLeadingBlanksAreSkipped) {
    tagCommandLine parts = Split("    REGISTER      driver.inf     /Q    ");
    EXPECT_STREQ("REGISTER", parts.szCommand);
    EXPECT_STREQ("DRIVER.INF", parts.szArgument);
    EXPECT_EQ(1, parts.nQuiet);
}

TEST(CommandLineSplit, TabsAndQuotesAreOrdinaryCharacters) {
    tagCommandLine parts = Split("REGISTER\tdriver.inf");
    EXPECT_STREQ("REGISTER\tDRIVER.INF", parts.szCommand);
    EXPECT_STREQ("", parts.szArgument);

    parts = Split("TRANSLATEPATH \"my file.reg\"");
    EXPECT_STREQ("\"MY", parts.szArgument);
    EXPECT_EQ(1, parts.bHasExtra);
    EXPECT_STREQ("FILE.REG\"", parts.szExtra);
}

TEST(CommandLineSplit, EmptyAndBlankLinesHaveNoCommandWord) {
    for (const char* line : {"", " ", "       "}) {
        int result = 0;
        tagCommandLine parts = Split(line, &result);
        EXPECT_EQ(1, result) << "line '" << line << "'";
        EXPECT_STREQ("", parts.szArgument);
        EXPECT_EQ(0, parts.bHasExtra);
        EXPECT_EQ(0, parts.bTooLong);
    }
    tagCommandLine parts;
    EXPECT_EQ(1, SplitCommandLine(nullptr, UpperCaseAnsi, &parts));
    EXPECT_STREQ("", parts.szCommand);
}

TEST(CommandLineSplit, CommandAloneHasEmptyArgument) {
    tagCommandLine parts = Split("REGISTER   ");
    EXPECT_STREQ("REGISTER", parts.szCommand);
    EXPECT_STREQ("", parts.szArgument);
    EXPECT_EQ(0, parts.bHasExtra);
}

TEST(CommandLineSplit, LimitsAreExactAndOverLongInputIsRefusedNotCut) {
    const std::string argument79(79, 'a');
    int result = 0;
    tagCommandLine parts = Split("STOPWIA " + argument79, &result);
    EXPECT_EQ(1, result);
    EXPECT_EQ(std::string(79, 'A'), parts.szArgument);

    parts = Split("STOPWIA " + argument79 + "a", &result);
    EXPECT_EQ(0, result);
    EXPECT_EQ(1, parts.bTooLong);
    EXPECT_STREQ("", parts.szArgument) << "a refused argument must not be kept shortened";
    EXPECT_STREQ("STOPWIA", parts.szCommand);

    std::string line259 = "STOPWIA " + std::string(251, ' ');
    ASSERT_EQ(259u, line259.size());
    EXPECT_EQ(1, SplitCommandLine(line259.c_str(), UpperCaseAnsi, &parts));
    std::string line260 = line259 + " ";
    EXPECT_EQ(0, SplitCommandLine(line260.c_str(), UpperCaseAnsi, &parts));
    EXPECT_STREQ("STOPWIA", parts.szCommand) << "the command word is still known";

    std::string longWord(300, 'x');
    EXPECT_EQ(0, SplitCommandLine(longWord.c_str(), UpperCaseAnsi, &parts));
    EXPECT_STREQ("", parts.szCommand);
}

TEST(CommandLineSplit, CodePageLettersAreUpperCased) {
    // In the Western code page 1252 (Wine's default), e-acute 0xE9 becomes 0xC9.
    if (GetACP() != 1252)
        GTEST_SKIP() << "code page " << GetACP();
    tagCommandLine parts = Split("deleteuserini caf\xE9\\x");
    EXPECT_STREQ("CAF\xC9\\X", parts.szArgument);
}

TEST(CommandLineSplit, ExtraTokensBeyondTheThirdAreIgnored) {
    tagCommandLine parts = Split("a b c d e f");
    EXPECT_STREQ("A", parts.szCommand);
    EXPECT_STREQ("B", parts.szArgument);
    EXPECT_STREQ("C", parts.szExtra);
}

} // namespace
