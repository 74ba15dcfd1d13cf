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

TEST(CommandLineSplit, TokensFlagsAndSeparators) {
    const struct {
        const char* line;
        const char *command, *argument, *extra;
        int quiet, stopWia;
    } cases[] = {
        // Every token upper-cased; "/Q" and "STOPWIA" as third token set their flags only.
        {"register driver.inf /q", "REGISTER", "DRIVER.INF", "/Q", 1, 0},
        {"REGISTER driver.inf StopWia", "REGISTER", "DRIVER.INF", "STOPWIA", 0, 1},
        // Other third tokens set no flag but are kept; tokens after the third are ignored.
        {"TRANSLATEPATH a.reg b c", "TRANSLATEPATH", "A.REG", "B", 0, 0},
        {"REGISTER a /QX", "REGISTER", "A", "/QX", 0, 0},
        {"UNREGISTER a STOPWIA2", "UNREGISTER", "A", "STOPWIA2", 0, 0},
        {"a b c d e f", "A", "B", "C", 0, 0},
        // Runs of blanks are one separator, leading and trailing blanks are skipped.
        {"    REGISTER      driver.inf     /Q    ", "REGISTER", "DRIVER.INF", "/Q", 1, 0},
        {"REGISTER   ", "REGISTER", "", nullptr, 0, 0},
        // Tabs and double quotes are ordinary characters.
        {"REGISTER\tdriver.inf", "REGISTER\tDRIVER.INF", "", nullptr, 0, 0},
        {"TRANSLATEPATH \"my file.reg\"", "TRANSLATEPATH", "\"MY", "FILE.REG\"", 0, 0},
    };
    for (const auto& c : cases) {
        int result = 0;
        const tagCommandLine parts = Split(c.line, &result);
        EXPECT_EQ(1, result) << c.line;
        EXPECT_STREQ(c.command, parts.szCommand) << c.line;
        EXPECT_STREQ(c.argument, parts.szArgument) << c.line;
        EXPECT_EQ(c.extra != nullptr ? 1 : 0, parts.bHasExtra) << c.line;
        if (c.extra != nullptr) {
            EXPECT_STREQ(c.extra, parts.szExtra) << c.line;
        }
        EXPECT_EQ(c.quiet, parts.nQuiet) << c.line;
        EXPECT_EQ(c.stopWia, parts.nStopWia) << c.line;
        EXPECT_EQ(0, parts.bTooLong) << c.line;
    }
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

} // namespace
