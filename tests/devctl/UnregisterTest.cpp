// UNREGISTER end to end in the 64-bit prefix (the tools per version in the 32-bit one too): the
// package uninstall, the library calls and device removals for each USB id of the INF, and
// "stisvc" stopped around the work.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DriverFolder.h"
#include "support/TestSupport.h"

namespace {

using devtest::CDriverFolder;
using devtest::Library;
using devtest::LibraryCall;
using devtest::RunTorvaneIn;
using devtest::SAMPLE_ID_1;
using devtest::SAMPLE_ID_2;
using Strings = std::vector<std::string>;

class Unregister : public test::CWiaServiceTest {
protected:
    // In the 32-bit prefix a start of the service stays pending: it is left as it is there.
    void TearDown() override {
        if (test::IsWow64())
            CWiaServiceTest::TearDown();
    }
    // The journal of a removal with the tools of one bitness, for the sample's two ids.
    Strings Removal(const CDriverFolder& folder, const std::string& installer,
                    const std::string& devcon, const std::string& infName = "SCANNER.INF") {
        return {
            folder.ToolLine(installer, " /U \"" + folder.ShortPath() + "\\" + infName + "\" /d /q"),
            LibraryCall(SAMPLE_ID_1, 4),
            folder.ToolLine(devcon, " remove \"" + std::string(SAMPLE_ID_1) + "\""),
            LibraryCall(SAMPLE_ID_2, 4),
            folder.ToolLine(devcon, " remove \"" + std::string(SAMPLE_ID_2) + "\"")};
    }
};

// UNREGISTER under the versions that run the package tools, in the prefix of their bitness. In
// the 64-bit prefix the service, stopped before, runs again after unless STOPWIA keeps it
// stopped (the 32-bit prefix's service host does not run reliably: not checked there).
const struct {
    const char* windows;
    bool b64; // of the prefix the row runs in
    const char *args, *installer, *devcon;
} REMOVAL_ROWS[] = {
    {"win7", true, "UNREGISTER scanner.inf", "DPInst64.exe", "Devcon64.exe"},
    {"win10", true, "UNREGISTER scanner.inf", "DPInst64.exe", "Devcon64.exe"},
    {"win2003", true, "UNREGISTER scanner.inf STOPWIA", "DPInst64.exe", "Devcon64.exe"},
    {"winxp64", true, "UNREGISTER scanner.inf STOPWIA", "DPInst64.exe", "Devcon64.exe"},
    {"win7", false, "UNREGISTER scanner.inf STOPWIA", "DPInst.exe", "Devcon.exe"},
    {"win7", false, "UNREGISTER scanner.inf", "DPInst.exe", "Devcon.exe"},
};

TEST_F(Unregister, EachWindowsVersionUninstallsThenRemovesEachDeviceWithItsTools) {
    CDriverFolder folder("unregversions");
    devtest::ForRowsOfThisPrefix(REMOVAL_ROWS, [&](const auto& row, const std::string& where) {
        const bool bRestarts = std::string(row.args).find("STOPWIA") == std::string::npos;
        if (row.b64 && bRestarts) {
            ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
        }
        RunTorvaneIn(folder, row.args);
        EXPECT_EQ(Removal(folder, row.installer, row.devcon), folder.TakeJournal()) << where;
        if (row.b64 && bRestarts) {
            EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000))
                << where << ": started again, also when it had not been running";
        }
    });
    EXPECT_FALSE(test::FileExists(folder.File("Pellux.ini")));
}

TEST_F(Unregister, KeepStoppedWordLeavesTheServiceStopped) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("unregkeep");
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
    RunTorvaneIn(folder, "unregister scanner.inf stopwia");
    EXPECT_EQ(Removal(folder, "DPInst64.exe", "Devcon64.exe"), folder.TakeJournal());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA));

    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
    RunTorvaneIn(folder, "UNREGISTER scanner.inf /Q");
    EXPECT_EQ(5u, folder.TakeJournal().size());
    EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000)) << "only STOPWIA keeps it";
}

TEST_F(Unregister, XpCallsTheLibraryTwicePerIdAndStartsNoProgram) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "winxp");
    CDriverFolder folder("unregxp");
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
    RunTorvaneIn(folder, "UNREGISTER scanner.inf");
    EXPECT_EQ(Strings({LibraryCall(SAMPLE_ID_1, 4), LibraryCall(SAMPLE_ID_1, 3),
                       LibraryCall(SAMPLE_ID_2, 4), LibraryCall(SAMPLE_ID_2, 3)}),
              folder.TakeJournal());
    EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000));

    // Without the INF there is nothing to do on XP, but the service is still started again.
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
    folder.Remove("scanner.inf");
    RunTorvaneIn(folder, "UNREGISTER scanner.inf");
    EXPECT_FALSE(folder.HasJournal());
    EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000));
}

TEST_F(Unregister, OlderWindowsDoNothingNotEvenTheServiceStop) {
    CDriverFolder folder("unregold");
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
    for (const char* windows : {"win95", "nt40", "win98", "winme", "win2k"}) {
        test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, windows);
        RunTorvaneIn(folder, "UNREGISTER scanner.inf STOPWIA");
        EXPECT_FALSE(folder.HasJournal()) << windows;
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), test::QueryServiceState(WIA)) << windows;
    }
}

TEST_F(Unregister, WithoutTheExportOrTheLibraryNothingIsDone) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
    for (Library library : {Library::WithoutExport, Library::Missing}) {
        CDriverFolder folder("unregnolib", library);
        RunTorvaneIn(folder, "UNREGISTER scanner.inf STOPWIA");
        EXPECT_FALSE(folder.HasJournal());
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), test::QueryServiceState(WIA));
    }
}

TEST_F(Unregister, InfWithoutUsableIdsOnlyUninstalls) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("unregnoids");
    const std::string uninstall =
        folder.ToolLine("DPInst64.exe", " /U \"" + folder.ShortPath() + "\\SCANNER.INF\" /d /q");

    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Models]\r\n%A%=Inst,") + SAMPLE_ID_1 + "\r\n")
        utf16 += std::string(1, c) + std::string(1, '\0');
    folder.WriteFile("scanner.inf", utf16);
    RunTorvaneIn(folder, "UNREGISTER scanner.inf STOPWIA");
    EXPECT_EQ(Strings({uninstall}), folder.TakeJournal()) << "UTF-16";

    folder.Remove("scanner.inf");
    RunTorvaneIn(folder, "UNREGISTER scanner.inf STOPWIA");
    EXPECT_EQ(Strings({uninstall}), folder.TakeJournal()) << "no INF";
}

TEST_F(Unregister, EveryIdOfALargeInfIsRemovedOnce) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("unregmany");
    std::string inf = "; " + std::string(120000, '-') + "\r\n";
    Strings ids;
    for (int n = 0; n < 12; ++n) {
        char id[32];
        wsprintfA(id, "USB\\VID_0A%02d&PID_%04d", n, 100 + n);
        ids.push_back(id);
        inf += std::string("%M%=Inst,") + id + "&MI_00\r\n%M%=Inst," + id + "\r\n";
    }
    folder.WriteFile("BIG.INF", inf);
    RunTorvaneIn(folder, "UNREGISTER big.inf STOPWIA");
    Strings expected = {
        folder.ToolLine("DPInst64.exe", " /U \"" + folder.ShortPath() + "\\BIG.INF\" /d /q")};
    for (const std::string& id : ids) {
        expected.push_back(LibraryCall(id, 4));
        expected.push_back(folder.ToolLine("Devcon64.exe", " remove \"" + id + "\""));
    }
    EXPECT_EQ(expected, folder.TakeJournal());
}

TEST_F(Unregister, MissingToolsAreSkippedAndTheLibraryStillCalled) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("unregtools");
    folder.Remove("DPInst64.exe");
    folder.Remove("devcon64.exe");
    RunTorvaneIn(folder, "UNREGISTER scanner.inf STOPWIA");
    EXPECT_EQ(Strings({LibraryCall(SAMPLE_ID_1, 4), LibraryCall(SAMPLE_ID_2, 4)}),
              folder.TakeJournal());
}

TEST_F(Unregister, EachChildIsWaitedForBeforeTheNextStep) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("unregwait");
    folder.Hold("DPInst64.exe", "1500"); // longer than a child takes to start
    RunTorvaneIn(folder, "UNREGISTER scanner.inf STOPWIA");
    EXPECT_TRUE(folder.StartedAfterEnd("Devcon64.exe", "DPInst64.exe"));
    Strings expected = Removal(folder, "DPInst64.exe", "Devcon64.exe");
    expected.insert(expected.begin() + 1, "DPInst64.exe ended");
    EXPECT_EQ(expected, folder.TakeJournal());
}

TEST_F(Unregister, ProgramFolderWithABlankIsNamedByItsShortForm) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("unregblank", Library::WithExport, true);
    ASSERT_EQ(std::string::npos, folder.ShortPath().find(' '));
    RunTorvaneIn(folder, "UNREGISTER scanner.inf STOPWIA");
    EXPECT_EQ(Removal(folder, "DPInst64.exe", "Devcon64.exe"), folder.TakeJournal());
}

} // namespace
