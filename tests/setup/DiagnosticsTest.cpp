// Opt-in diagnostics: silent by default, informative when TORVANE_DIAGNOSTICS=1. The test reads
// the debug-output channel the way a debug viewer does (the DBWIN shared buffer).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

// Collects the debug output of one process id while it exists.
class CDebugOutputCapture {
public:
    CDebugOutputCapture() {
        m_hBufferReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
        m_hDataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
        m_hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                        "DBWIN_BUFFER");
        if (m_hMapping != nullptr)
            m_pView = static_cast<char*>(MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, 4096));
    }
    ~CDebugOutputCapture() {
        if (m_pView != nullptr)
            UnmapViewOfFile(m_pView);
        for (HANDLE h : {m_hMapping, m_hDataReady, m_hBufferReady}) {
            if (h != nullptr)
                CloseHandle(h);
        }
    }
    bool Ready() const { return m_hBufferReady && m_hDataReady && m_pView; }

    // Runs commandLine with TORVANE_DIAGNOSTICS set to value (or unset when null) and returns
    // the lines the child wrote to the debug-output channel.
    std::vector<std::string> Run(const std::string& commandLine, const char* value,
                                 DWORD* pExitCode) {
        SetEnvironmentVariableA("TORVANE_DIAGNOSTICS", value);
        std::vector<char> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        std::vector<std::string> lines;
        BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &info);
        SetEnvironmentVariableA("TORVANE_DIAGNOSTICS", nullptr);
        if (!started)
            return lines;
        SetEvent(m_hBufferReady);
        const DWORD start = GetTickCount();
        for (;;) {
            HANDLE handles[] = {m_hDataReady, info.hProcess};
            DWORD wait = WaitForMultipleObjects(2, handles, FALSE, 30000);
            if (wait == WAIT_OBJECT_0) {
                DWORD pid = *reinterpret_cast<const DWORD*>(m_pView);
                if (pid == info.dwProcessId)
                    lines.push_back(std::string(m_pView + sizeof(DWORD)));
                SetEvent(m_hBufferReady);
            } else {
                break; // the child ended (or the bound passed)
            }
            if (GetTickCount() - start > 60000)
                break;
        }
        WaitForSingleObject(info.hProcess, 30000);
        GetExitCodeProcess(info.hProcess, pExitCode);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return lines;
    }

private:
    HANDLE m_hBufferReady = nullptr;
    HANDLE m_hDataReady = nullptr;
    HANDLE m_hMapping = nullptr;
    char* m_pView = nullptr;
};

bool AnyLineHas(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos)
            return true;
    }
    return false;
}

class Diagnostics : public ::testing::Test {
protected:
    std::string Torvane(const std::string& args) const {
        return "\"" + m_folder.Torvane() + "\" " + args;
    }
    test::CProgramFolder m_folder{"diag"};
    CDebugOutputCapture m_capture;
};

TEST_F(Diagnostics, SilentByDefaultAndWhenSetToAnythingButOne) {
    ASSERT_TRUE(m_capture.Ready());
    for (const char* value : {static_cast<const char*>(nullptr), "0", "yes", "11"}) {
        DWORD exitCode = 1234;
        std::vector<std::string> lines = m_capture.Run(Torvane("HELP me"), value, &exitCode);
        EXPECT_EQ(0u, exitCode);
        EXPECT_TRUE(lines.empty()) << "TORVANE_DIAGNOSTICS=" << (value ? value : "(unset)")
                                   << " printed: " << (lines.empty() ? "" : lines[0]);
    }
}

TEST_F(Diagnostics, ReportsTheParsedCommandAndItsOutcomeWhenSwitchedOn) {
    ASSERT_TRUE(m_capture.Ready());
    DWORD exitCode = 1234;
    std::vector<std::string> lines = m_capture.Run(Torvane("help me /q"), "1", &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(
        AnyLineHas(lines, "command \"HELP\", argument \"ME\", extra token \"/Q\", quiet 1"));
    EXPECT_TRUE(AnyLineHas(lines, "no such command"));
    EXPECT_TRUE(AnyLineHas(lines, "exit status 0"));

    lines = m_capture.Run(
        Torvane("TRANSLATEPATH " + std::string(79, 'a') + " " + std::string(170, 'b')), "1",
        &exitCode);
    EXPECT_EQ(static_cast<DWORD>(-1), exitCode);
    EXPECT_TRUE(AnyLineHas(lines, "does not fit"));
    EXPECT_TRUE(AnyLineHas(lines, "exit status -1"));
}

TEST_F(Diagnostics, ReportsPlatformChildrenAndFileDecisions) {
    ASSERT_TRUE(m_capture.Ready());
    for (const char* file :
         {"DPInst.exe", "DPInst64.exe", "devcon.exe", "devcon64.exe", "Pellux.exe", "Ulmora.dll"})
        ASSERT_TRUE(m_folder.AddBinFile(file));
    ASSERT_TRUE(CopyFileA(test::SourceFile("samples/setup/scanner.inf").c_str(),
                          m_folder.File("scanner.inf").c_str(), FALSE));
    DWORD exitCode = 1234;
    std::vector<std::string> lines =
        m_capture.Run(Torvane("REGISTER scanner.inf /Q"), "1", &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(AnyLineHas(lines, "Ulmora.dll loaded, fnDeviceCntrol found"));
    EXPECT_TRUE(AnyLineHas(lines, ": platform code 1")); // 12 or 13, by the prefix
    EXPECT_TRUE(AnyLineHas(lines, "DPInst")) << "the installer's command line";
    EXPECT_TRUE(AnyLineHas(lines, "Rescan"));
    EXPECT_TRUE(AnyLineHas(lines, "ended with exit code 0"));

    ASSERT_TRUE(test::WriteFileBytes(m_folder.File("a.reg"),
                                     "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n\"v\"=\"1\"\r\n"));
    // The creation time the old file has as the platform reports it, which the new one takes
    // over (Wine reports the last-write time and cannot keep another: this is where a run under
    // Wine shows that the time is given on).
    FILETIME creation = {};
    HANDLE old = CreateFileA(m_folder.File("a.reg").c_str(), FILE_READ_ATTRIBUTES, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, old);
    ASSERT_TRUE(GetFileTime(old, &creation, nullptr, nullptr));
    CloseHandle(old);
    char time[32];
    wsprintfA(time, "creation time %08lx%08lx", creation.dwHighDateTime, creation.dwLowDateTime);
    lines = m_capture.Run(Torvane("TRANSLATEPATH a.reg"), "1", &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(AnyLineHas(lines, "A.REG rewritten"));
    EXPECT_TRUE(AnyLineHas(lines, time)) << time;

    ASSERT_TRUE(test::WriteFileBytes(m_folder.File("b.reg"), "REGEDIT4\r\n; nothing here\r\n"));
    lines = m_capture.Run(Torvane("TRANSLATEPATH b.reg"), "1", &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(AnyLineHas(lines, "left as it was: no value was taken from it"));
}

} // namespace
