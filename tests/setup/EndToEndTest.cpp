// Torvane.exe started as a child the way an installer starts it: the grammar seen through the
// one effect every build has, the WIA service "stisvc", and the exit status.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace {

class TorvaneCommandLine : public test::CWiaServiceTest {
protected:
    // Runs Torvane with args on a running "stisvc"; true when the run stopped the service.
    bool StopsRunningService(const std::string& args, DWORD expectedExit = 0) {
        EXPECT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
        test::RunResult result = test::RunTorvane(m_folder, args);
        EXPECT_TRUE(result.finished) << args;
        EXPECT_EQ(expectedExit, result.exitCode) << args;
        return test::QueryServiceState(WIA) == SERVICE_STOPPED;
    }

    test::CProgramFolder m_folder{"cmdline"};
};

TEST_F(TorvaneCommandLine, CommandWordsInAnyLetterCaseRunWhatTheyNameIgnoringTheRest) {
    // The split itself is tested in-process (CommandLineSplit); here, that Torvane runs on it.
    for (const char* line :
         {"STOPWIA", "stopwia", "StopWia", "STOPWIA anything /Q", "  STOPWIA   x   y   z  "})
        EXPECT_TRUE(StopsRunningService(line)) << line;
    for (const char* line : {"STOPWIA\tnow", "\"STOPWIA\"", "STOP WIA"})
        EXPECT_FALSE(StopsRunningService(line)) << line;
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
    EXPECT_EQ(0u, test::RunTorvane(m_folder, "startwia some.inf STOPWIA").exitCode);
    EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000));
}

TEST_F(TorvaneCommandLine, EmptyBlankAndUnknownLinesDoNothingAndExitZero) {
    // With the journaling stand-in library beside Torvane, a REGISTER run despite its missing
    // argument would call the library, and an UNREGISTER run would stop the service. The three
    // key commands refuse an empty key path in their own functions as well (their own tests
    // show it), so for them only the exit status can be seen here.
    ASSERT_TRUE(m_folder.AddBinFile("Ulmora.dll"));
    EXPECT_FALSE(StopsRunningService(""));
    EXPECT_FALSE(StopsRunningService("      "));
    EXPECT_FALSE(StopsRunningService("HELP"));
    EXPECT_FALSE(StopsRunningService("REGISTER"));
    EXPECT_FALSE(StopsRunningService("REGISTER    "));
    EXPECT_FALSE(StopsRunningService("UNREGISTER"));
    EXPECT_FALSE(StopsRunningService("DELETE_ALLUSER_PRODUCTKEY"));
    EXPECT_FALSE(StopsRunningService("DELETE_LOCAL_MACHINE_PRODUCTKEY"));
    EXPECT_FALSE(StopsRunningService("SET_SAVE_FOLDER"));
    EXPECT_FALSE(test::FileExists(m_folder.File("journal.txt"))) << "the library was called";
}

TEST_F(TorvaneCommandLine, OverLongInputRunsNothing) {
    EXPECT_TRUE(StopsRunningService("STOPWIA " + std::string(79, 'a')));
    EXPECT_FALSE(StopsRunningService("STOPWIA " + std::string(80, 'a')));
    std::string line259 = "STOPWIA x " + std::string(249, 'b');
    ASSERT_EQ(259u, line259.size());
    EXPECT_TRUE(StopsRunningService(line259));
    EXPECT_FALSE(StopsRunningService(line259 + "b"));
}

TEST_F(TorvaneCommandLine, FileCommandsWithInputThatDoesNotFitExitMinusOne) {
    const DWORD minusOne = static_cast<DWORD>(-1);
    std::string longArgument(79, 'f');
    std::string longExtra(155, 'g');
    for (const char* command : {"TRANSLATEPATH", "translatescanadvance"}) {
        std::string line = std::string(command) + " " + longArgument + " " + longExtra;
        ASSERT_LE(line.size(), 259u);
        test::RunResult result = test::RunTorvane(m_folder, line);
        ASSERT_TRUE(result.finished) << command;
        EXPECT_EQ(minusOne, result.exitCode) << command << ": path over 259 characters";

        result = test::RunTorvane(m_folder, std::string(command) + " " + std::string(80, 'f'));
        EXPECT_EQ(minusOne, result.exitCode) << command << ": argument over 79 characters";

        result = test::RunTorvane(m_folder, std::string(command) + " a " + std::string(260, 'h'));
        EXPECT_EQ(minusOne, result.exitCode) << command << ": line over 259 characters";
    }
}

} // namespace
