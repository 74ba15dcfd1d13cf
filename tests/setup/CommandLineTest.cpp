// The command-line grammar, in-process: splitting, upper-casing, flags and refusals.
#include <gtest/gtest.h>

#include <string>

#include <string.h>

#include "setup/CommandLine.h"

namespace {

// The product passes the code page's upper-casing; these cases need only ASCII letters, so the
// tests also build natively.
void UpperCaseAscii(char* pszText, unsigned int cch) {
    for (unsigned int i = 0; i < cch; ++i) {
        if (pszText[i] >= 'a' && pszText[i] <= 'z')
            pszText[i] = static_cast<char>(pszText[i] - 'a' + 'A');
    }
}

tagCommandLine Split(const std::string& line, int* pResult = nullptr) {
    tagCommandLine parts;
    int result = SplitCommandLine(line.c_str(), UpperCaseAscii, &parts);
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
    EXPECT_EQ(1, SplitCommandLine(nullptr, UpperCaseAscii, &parts));
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
    EXPECT_EQ(1, SplitCommandLine(line259.c_str(), UpperCaseAscii, &parts));
    std::string line260 = line259 + " ";
    EXPECT_EQ(0, SplitCommandLine(line260.c_str(), UpperCaseAscii, &parts));
    EXPECT_STREQ("STOPWIA", parts.szCommand) << "the command word is still known";

    std::string longWord(300, 'x');
    EXPECT_EQ(0, SplitCommandLine(longWord.c_str(), UpperCaseAscii, &parts));
    EXPECT_STREQ("", parts.szCommand);
}

TEST(CommandLineSplit, ExtraTokensBeyondTheThirdAreIgnored) {
    tagCommandLine parts = Split("a b c d e f");
    EXPECT_STREQ("A", parts.szCommand);
    EXPECT_STREQ("B", parts.szArgument);
    EXPECT_STREQ("C", parts.szExtra);
}

} // namespace
