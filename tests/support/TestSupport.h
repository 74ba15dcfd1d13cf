// Helpers for tests that run under Wine: temporary program folders, child processes, files,
// services, scratch registry keys and the per-program Windows version.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/Registry.h"

namespace test {

// Z:\... path of a file the build put in its bin folder (Torvane.exe, stand-in tools, ...).
std::string BinFile(const std::string& name);
// Z:\... path of a file in the source tree (samples, test data).
std::string SourceFile(const std::string& relative);
// Converts a Unix path to the Z:\ form Wine uses for it.
std::string DosPathOfUnix(const std::string& unixPath);

// A fresh folder below the prefix's temporary folder, deleted with everything in it.
class CTempFolder {
public:
    // The folder's name starts with tag; withBlank puts a blank in its name.
    explicit CTempFolder(const std::string& tag, bool withBlank = false);
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// A temporary program folder holding a copy of Torvane.exe, as an installer lays it out, under
// exeName if given (see CWindowsVersionOverride).
class CProgramFolder : public CTempFolder {
public:
    explicit CProgramFolder(const std::string& tag, bool withBlank = false,
                            const std::string& exeName = "Torvane.exe");
    // Copies a built file (from the bin folder) into the program folder, under asName if given.
    testing::AssertionResult AddBinFile(const std::string& binName,
                                        const std::string& asName = "") const;
    std::string Torvane() const { return File(m_exeName); }

private:
    std::string m_exeName;
};

struct RunResult {
    bool started = false;
    bool finished = false; // false when the wait timed out (the child is then ended)
    DWORD exitCode = 0;
};

// A child started (CreateProcessA, no application name) and not yet waited for, so that a test
// can look at what it does while it runs. Ended if still running when destroyed.
class CChild {
public:
    explicit CChild(const std::string& commandLine, const std::string& currentDirectory = "");
    ~CChild();
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;
    bool Started() const { return m_info.hProcess != nullptr; }
    // Waits up to timeoutMs; a child still running then is ended (finished stays false).
    RunResult Wait(DWORD timeoutMs);

private:
    PROCESS_INFORMATION m_info = {};
};

// Another process holding a file open for reading and sharing reading only, as an editor or an
// indexer may (the stand-in tool's hold mode), for milliseconds from its start. Ended when
// destroyed.
class CFileHold {
public:
    CFileHold(const std::string& path, DWORD milliseconds);
    ~CFileHold();
    CFileHold(const CFileHold&) = delete;
    CFileHold& operator=(const CFileHold&) = delete;
    // That the hold is in place: the helper said it holds the file, and opening it for writing
    // fails with a sharing violation.
    testing::AssertionResult Held() const;

private:
    std::string m_path;
    PROCESS_INFORMATION m_info = {};
    bool m_said = false;
};

// Starts commandLine (CreateProcessA, no application name) and waits up to timeoutMs.
RunResult RunAndWait(const std::string& commandLine, DWORD timeoutMs = 60000,
                     const std::string& currentDirectory = "");

// Starts Torvane.exe of the folder with args as an installer would: "<path>" args.
RunResult RunTorvane(const CProgramFolder& folder, const std::string& args,
                     DWORD timeoutMs = 60000);

// Copies a file (CopyFileA, replacing); the failure says what could not be copied.
testing::AssertionResult CopyInto(const std::string& from, const std::string& to);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
std::string ReadFileBytes(const std::string& path); // empty when it cannot be read
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Deletes a folder with everything in it.
void DeleteTree(const std::string& path);

// Current state of a service (SERVICE_RUNNING, ...), or 0 when it cannot be queried.
DWORD QueryServiceState(const std::string& name);
// Waits up to timeoutMs for the service to reach state; true when it did.
bool WaitForServiceState(const std::string& name, DWORD state, DWORD timeoutMs);
// Brings the service to state (start or stop request, then wait); true when it got there.
bool BringServiceTo(const std::string& name, DWORD state, DWORD timeoutMs = 20000);

// Tests against the WIA service "stisvc": it must exist, and it is left stopped after each test.
// Tests using it hold the "stisvc" lock.
class CWiaServiceTest : public ::testing::Test {
protected:
    static constexpr const char* WIA = "stisvc";
    void SetUp() override { ASSERT_NE(0u, QueryServiceState(WIA)) << "no stisvc"; }
    void TearDown() override { BringServiceTo(WIA, SERVICE_STOPPED); }
};

// Sets the Windows version Wine reports to one program (keyed by its file name), and puts the
// previous setting back when destroyed. Tests using it must hold the "appdefaults" lock, and
// override only a file name that no other test starts: the setting reaches every process of
// that name in the prefix. (Under a Windows 9x version Wine's RegSetValueExA stores REG_SZ data
// only up to its first NUL; a SET_SAVE_FOLDER run of another test, started while Torvane.exe was
// set to one, once wrote its 260-byte folder value as 25 bytes.)
class CWindowsVersionOverride {
public:
    CWindowsVersionOverride(const std::string& exeName, const std::string& version);
    ~CWindowsVersionOverride();

private:
    std::string m_keyPath;
    bool m_hadValue = false;
    std::string m_previous;
};

// A name unique within this test run: tag, process id and a counter.
std::string UniqueName(const std::string& tag);

} // namespace test
