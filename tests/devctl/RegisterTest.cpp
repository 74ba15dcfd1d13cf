// REGISTER end to end: Torvane.exe in a program folder with the stand-in tools, under each
// Windows version Wine can report, in the 64-bit prefix (the tools per version in the 32-bit one
// too). The journal shows what was started and called, in order; Pellux.ini and the real
// "stisvc" show the rest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DriverFolder.h"
#include "support/TestSupport.h"

namespace {

using devtest::CDriverFolder;
using devtest::JournalLines;
using devtest::Library;
using devtest::LibraryCall;
using devtest::RunTorvaneIn;
using Strings = std::vector<std::string>;

std::string PelluxIni(const std::string& infName) {
    return "[SetupCopyOEMInf]\r\nSourceInfFileName=" + infName + "\r\n";
}

class Register : public test::CWiaServiceTest {
protected:
    // Pellux.ini as the run left it, then deleted with the journal for the next run.
    std::string TakePelluxIni(const CDriverFolder& folder) {
        std::string ini = test::ReadFileBytes(folder.File("Pellux.ini"));
        folder.Remove("Pellux.ini");
        return ini;
    }
};

// REGISTER under each Windows version, in the prefix of its bitness: the installer tool, then
// the rescan, each started in the program folder; then the library's two calls. Before 5.1 no
// tool runs and no settings are written.
const struct {
    const char* windows;
    bool b64; // of the prefix the row runs in
    const char* args;
    const char *installer, *tail, *devcon; // installer nullptr: no tool runs
} REGISTER_ROWS[] = {
    {"winxp", true, "REGISTER scanner.inf /Q", "Pellux.exe", "", "devcon.exe"}, // never /Q
    {"winxp", true, "register scanner.inf", "Pellux.exe", "", "devcon.exe"},
    {"win2003", true, "REGISTER scanner.inf /Q", "Pellux.exe", "", "devcon64.exe"},
    {"winxp64", true, "REGISTER scanner.inf /Q", "Pellux.exe", "", "devcon64.exe"},
    {"win7", true, "REGISTER scanner.inf /Q", "DPInst64.exe", " /Q", "devcon64.exe"},
    {"win7", true, "REGISTER scanner.inf STOPWIA", "DPInst64.exe", "", "devcon64.exe"},
    {"win10", true, "REGISTER scanner.inf /Q", "DPInst64.exe", " /Q", "devcon64.exe"},
    {"win10", true, "REGISTER scanner.inf STOPWIA", "DPInst64.exe", "", "devcon64.exe"},
    {"win95", true, "REGISTER scanner.inf /Q", nullptr, "", nullptr},
    {"nt40", true, "REGISTER scanner.inf /Q", nullptr, "", nullptr},
    {"win98", true, "REGISTER scanner.inf /Q", nullptr, "", nullptr},
    {"winme", true, "REGISTER scanner.inf /Q", nullptr, "", nullptr},
    {"win2k", true, "REGISTER scanner.inf /Q", nullptr, "", nullptr},
    {"win7", false, "REGISTER scanner.inf /Q", "DPInst.exe", " /Q", "devcon.exe"},
    {"win7", false, "REGISTER scanner.inf", "DPInst.exe", "", "devcon.exe"},
    {"win10", false, "REGISTER scanner.inf /Q", "DPInst.exe", " /Q", "devcon.exe"},
    {"win10", false, "REGISTER scanner.inf", "DPInst.exe", "", "devcon.exe"},
};

TEST_F(Register, EachWindowsVersionRunsItsToolsInTheProgramFolder) {
    CDriverFolder folder("regversions");
    char ownDirectory[MAX_PATH] = {};
    ASSERT_NE(0u, GetCurrentDirectoryA(sizeof(ownDirectory), ownDirectory));
    ASSERT_NE(0, lstrcmpiA(ownDirectory, folder.ShortPath().c_str())) << "tools would start there";
    size_t nToolsStarted = 0;
    devtest::ForRowsOfThisPrefix(REGISTER_ROWS, [&](const auto& row, const std::string& where) {
        RunTorvaneIn(folder, row.args);
        Strings expected;
        if (row.installer != nullptr) {
            expected = {folder.ToolLine(row.installer, row.tail),
                        folder.ToolLine(row.devcon, " Rescan")};
            nToolsStarted += 2;
        }
        expected.insert(expected.end(), {LibraryCall("", 2), LibraryCall("", 1)});
        EXPECT_EQ(expected, folder.TakeJournal()) << where;
        if (row.installer != nullptr) {
            EXPECT_EQ(PelluxIni("SCANNER.INF"), TakePelluxIni(folder)) << where;
        } else {
            EXPECT_FALSE(test::FileExists(folder.File("Pellux.ini"))) << where;
        }
    });
    EXPECT_EQ(Strings(nToolsStarted, folder.ShortPath()), JournalLines(folder.File("curdirs.txt")))
        << "each tool starts in the program folder";
}

TEST_F(Register, LibraryWithTheExportLeavesTheServiceAlone) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("regsvc");
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
    RunTorvaneIn(folder, "REGISTER scanner.inf");
    EXPECT_EQ(4u, folder.TakeJournal().size());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA))
        << "the service was started";

    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_RUNNING));
    RunTorvaneIn(folder, "REGISTER scanner.inf");
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), test::QueryServiceState(WIA));
}

TEST_F(Register, LibraryWithoutTheExportGetsTheServiceRestartedInstead) {
    CDriverFolder folder("regnoexp", Library::WithoutExport);
    {
        test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
        ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
        RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
        EXPECT_EQ(Strings({folder.ToolLine("DPInst64.exe", " /Q"),
                           folder.ToolLine("devcon64.exe", " Rescan")}),
                  folder.TakeJournal())
            << "only fnDeviceCntrol by that exact name is called";
        EXPECT_EQ(PelluxIni("SCANNER.INF"), TakePelluxIni(folder));
        EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000))
            << "started again, also when it had not been running";
    }
    {
        test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win2k");
        ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
        RunTorvaneIn(folder, "REGISTER scanner.inf");
        EXPECT_FALSE(folder.HasJournal());
        EXPECT_FALSE(test::FileExists(folder.File("Pellux.ini")));
        EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000))
            << "on Windows 2000 too";
    }
}

TEST_F(Register, WithoutTheLibraryNothingIsDone) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "winxp");
    CDriverFolder folder("regnolib", Library::Missing);
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
    RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
    EXPECT_FALSE(folder.HasJournal());
    EXPECT_FALSE(test::FileExists(folder.File("Pellux.ini")));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA));
}

TEST_F(Register, MissingToolsAreSkippedAndTheRestStillRuns) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("regtools");
    folder.Remove("DPInst64.exe");
    RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
    EXPECT_EQ(Strings({folder.ToolLine("devcon64.exe", " Rescan"), LibraryCall("", 2),
                       LibraryCall("", 1)}),
              folder.TakeJournal());
    EXPECT_EQ(PelluxIni("SCANNER.INF"), TakePelluxIni(folder));

    folder.Remove("devcon64.exe");
    RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
    EXPECT_EQ(Strings({LibraryCall("", 2), LibraryCall("", 1)}), folder.TakeJournal());
}

TEST_F(Register, EachChildIsWaitedForToItsEnd) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("regwait");
    // Longer than a child takes to start: a run that did not wait would start the next one
    // while the held one still runs.
    folder.Hold("DPInst64.exe", "1500");
    folder.Hold("devcon64.exe", "1500");
    RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
    EXPECT_TRUE(folder.StartedAfterEnd("devcon64.exe", "DPInst64.exe"));
    EXPECT_EQ(Strings({folder.ToolLine("DPInst64.exe", " /Q"), "DPInst64.exe ended",
                       folder.ToolLine("devcon64.exe", " Rescan"), "devcon64.exe ended",
                       LibraryCall("", 2), LibraryCall("", 1)}),
              folder.TakeJournal());
}

TEST_F(Register, InfNameTooLongToKeepIsRefusedAndNothingIsDone) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("reglong", Library::WithoutExport);
    const std::string longest = std::string(45, 'N') + ".INF"; // 49 characters
    ASSERT_TRUE(test::BringServiceTo(WIA, SERVICE_STOPPED));
    RunTorvaneIn(folder, "REGISTER N" + longest + " /Q");
    EXPECT_FALSE(folder.HasJournal());
    EXPECT_FALSE(test::FileExists(folder.File("Pellux.ini")));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), test::QueryServiceState(WIA))
        << "the service was touched";

    RunTorvaneIn(folder, "REGISTER " + longest + " /Q");
    EXPECT_EQ(2u, folder.TakeJournal().size());
    EXPECT_EQ(PelluxIni(longest), TakePelluxIni(folder));
    EXPECT_TRUE(test::WaitForServiceState(WIA, SERVICE_RUNNING, 10000));
}

TEST_F(Register, LibraryIsNeverTakenFromTheCurrentDirectoryOrPath) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("regplant", Library::Missing);
    test::CTempFolder planted("planted");
    ASSERT_TRUE(test::CopyInto(test::BinFile("Ulmora.dll"), planted.File("Ulmora.dll")));
    ASSERT_FALSE(test::FileExists(folder.File("Ulmora.dll")));

    RunTorvaneIn(folder, "REGISTER scanner.inf /Q", planted.Path());
    EXPECT_FALSE(test::FileExists(planted.File("journal.txt"))) << "loaded from the current dir";
    EXPECT_FALSE(folder.HasJournal());
    EXPECT_FALSE(test::FileExists(folder.File("Pellux.ini")));
    DeleteFileA(planted.File("journal.txt").c_str());
    folder.Remove("journal.txt");
    folder.Remove("Pellux.ini");

    char oldPath[32767] = {};
    GetEnvironmentVariableA("PATH", oldPath, sizeof(oldPath));
    SetEnvironmentVariableA("PATH", (planted.Path() + ";" + oldPath).c_str());
    RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
    SetEnvironmentVariableA("PATH", oldPath);
    EXPECT_FALSE(test::FileExists(planted.File("journal.txt"))) << "loaded from PATH";
    EXPECT_FALSE(folder.HasJournal());
    DeleteFileA(planted.File("journal.txt").c_str());
    folder.Remove("journal.txt");

    // The program folder's own library comes first; a companion it loads by bare name is not
    // taken from the current directory or PATH either (Torvane restricts the search).
    ASSERT_TRUE(folder.AddBinFile("Ulmora.dll"));
    ASSERT_TRUE(test::CopyInto(test::BinFile("Ulmora.dll"), planted.File("UlmoraCompanion.dll")));
    RunTorvaneIn(folder, "REGISTER scanner.inf /Q", planted.Path());
    EXPECT_FALSE(test::FileExists(planted.File("journal.txt")));
    EXPECT_EQ(4u, folder.TakeJournal().size());
    SetEnvironmentVariableA("PATH", (planted.Path() + ";" + oldPath).c_str());
    RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
    SetEnvironmentVariableA("PATH", oldPath);
    EXPECT_FALSE(test::FileExists(planted.File("journal.txt"))) << "companion taken from PATH";
    EXPECT_EQ(4u, folder.TakeJournal().size());
}

TEST_F(Register, ProgramFolderWithABlankIsNamedByItsShortForm) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("regblank", Library::WithExport, true);
    ASSERT_NE(std::string::npos, folder.Path().find(' '));
    ASSERT_EQ(std::string::npos, folder.ShortPath().find(' '));
    RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
    EXPECT_EQ(
        Strings({folder.ToolLine("DPInst64.exe", " /Q"), folder.ToolLine("devcon64.exe", " Rescan"),
                 LibraryCall("", 2), LibraryCall("", 1)}),
        folder.TakeJournal());
    EXPECT_EQ(PelluxIni("SCANNER.INF"), TakePelluxIni(folder));
}

} // namespace
