// REGISTER and UNREGISTER on a 32-bit Windows (the 32-bit prefix): the 32-bit tools. The WIA
// service's host does not run reliably in this prefix, so these tests check the journal and
// Pellux.ini, never the service's state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DriverFolder.h"
#include "support/TestSupport.h"

namespace {

using devtest::CDriverFolder;
using devtest::LibraryCall;
using devtest::RunTorvaneIn;
using devtest::SAMPLE_ID_1;
using devtest::SAMPLE_ID_2;
using Strings = std::vector<std::string>;

Strings TakeJournal(const CDriverFolder& folder) {
    Strings journal = folder.Journal();
    folder.Remove("journal.txt");
    return journal;
}

TEST(Win32Windows, RegisterRunsDPInstQuietOnlyWhenAskedThenTheRescan) {
    CDriverFolder folder("reg32");
    for (const char* windows : {"win7", "win10"}) {
        test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, windows);
        RunTorvaneIn(folder, "REGISTER scanner.inf /Q");
        EXPECT_EQ(
            Strings({folder.ToolLine("DPInst.exe", " /Q"), folder.ToolLine("devcon.exe", " Rescan"),
                     LibraryCall("", 2), LibraryCall("", 1)}),
            TakeJournal(folder))
            << windows;
        RunTorvaneIn(folder, "REGISTER scanner.inf");
        EXPECT_EQ(Strings({folder.ToolLine("DPInst.exe"), folder.ToolLine("devcon.exe", " Rescan"),
                           LibraryCall("", 2), LibraryCall("", 1)}),
                  TakeJournal(folder))
            << windows;
        EXPECT_EQ("[SetupCopyOEMInf]\r\nSourceInfFileName=SCANNER.INF\r\n",
                  test::ReadFileBytes(folder.File("Pellux.ini")));
    }
}

TEST(Win32Windows, UnregisterRunsThe32BitUninstallAndDeviceRemovals) {
    test::CWindowsVersionOverride version(devtest::DRIVER_TORVANE, "win7");
    CDriverFolder folder("unreg32");
    const Strings expected = {
        folder.ToolLine("DPInst.exe", " /U \"" + folder.ShortPath() + "\\SCANNER.INF\" /d /q"),
        LibraryCall(SAMPLE_ID_1, 4),
        folder.ToolLine("Devcon.exe", " remove \"" + std::string(SAMPLE_ID_1) + "\""),
        LibraryCall(SAMPLE_ID_2, 4),
        folder.ToolLine("Devcon.exe", " remove \"" + std::string(SAMPLE_ID_2) + "\"")};
    for (const char* args : {"UNREGISTER scanner.inf STOPWIA", "UNREGISTER scanner.inf"}) {
        RunTorvaneIn(folder, args);
        EXPECT_EQ(expected, TakeJournal(folder)) << args;
    }
}

} // namespace
