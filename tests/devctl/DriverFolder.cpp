#include "DriverFolder.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace devtest {

const char* const TOOL_NAMES[5] = {"DPInst.exe", "DPInst64.exe", "devcon.exe", "devcon64.exe",
                                   "Pellux.exe"};
const char SAMPLE_ID_1[] = "USB\\VID_1D2F&PID_0100";
const char SAMPLE_ID_2[] = "USB\\VID_1D2F&PID_0200";

const char DRIVER_TORVANE[] = "TorvaneDriverTest.exe";

CDriverFolder::CDriverFolder(const std::string& tag, Library library, bool withBlank)
    : test::CProgramFolder(tag, withBlank, DRIVER_TORVANE) {
    for (const char* tool : TOOL_NAMES)
        EXPECT_TRUE(AddBinFile(tool));
    if (library == Library::WithExport) {
        EXPECT_TRUE(AddBinFile("Ulmora.dll"));
    } else if (library == Library::WithoutExport) {
        EXPECT_TRUE(AddBinFile("UlmoraNoExport.dll", "Ulmora.dll"));
    }
    EXPECT_TRUE(test::CopyInto(test::SourceFile("samples/setup/scanner.inf"), File("scanner.inf")));
}

CDriverFolder::~CDriverFolder() {
    for (const std::string& tool : std::vector<std::string>(m_heldForever))
        Release(tool);
}

void CDriverFolder::Remove(const std::string& name) const {
    DeleteFileA(File(name).c_str());
}

void CDriverFolder::WriteFile(const std::string& name, const std::string& bytes) const {
    EXPECT_TRUE(test::WriteFileBytes(File(name), bytes)) << File(name);
}

void CDriverFolder::Hold(const std::string& tool, const std::string& how) {
    WriteFile(tool + ".hold", how);
    if (how == "forever")
        m_heldForever.push_back(tool);
}

bool CDriverFolder::Release(const std::string& tool) {
    for (auto it = m_heldForever.begin(); it != m_heldForever.end(); ++it) {
        if (*it == tool) {
            m_heldForever.erase(it);
            break;
        }
    }
    Remove(tool + ".hold");
    return WaitForJournalLine(tool + " ended");
}

testing::AssertionResult CDriverFolder::StartedAfterEnd(const std::string& next,
                                                        const std::string& held) const {
    // "<tool> started <tick>" and "<tool> ended <tick>"
    long long started = -1, ended = -1;
    for (const std::string& line : JournalLines(File("stamps.txt"))) {
        const size_t blank = line.rfind(' ');
        const std::string event = line.substr(0, blank);
        // Tool names are compared as Windows compares file names.
        if (lstrcmpiA(event.c_str(), (next + " started").c_str()) == 0)
            started = std::stoll(line.substr(blank + 1));
        else if (lstrcmpiA(event.c_str(), (held + " ended").c_str()) == 0)
            ended = std::stoll(line.substr(blank + 1));
    }
    if (started < 0 || ended < 0)
        return testing::AssertionFailure() << "no stamp of " << next << " or of " << held;
    if (started < ended)
        return testing::AssertionFailure()
               << next << " started at " << started << ", " << held << " ended only at " << ended;
    return testing::AssertionSuccess();
}

std::string CDriverFolder::ShortPath() const {
    char shortPath[MAX_PATH] = {};
    DWORD length = GetShortPathNameA(Path().c_str(), shortPath, sizeof(shortPath));
    return (length > 0 && length < sizeof(shortPath)) ? std::string(shortPath) : Path();
}

std::string CDriverFolder::ToolLine(const std::string& tool, const std::string& tail) const {
    return ShortPath() + "\\" + tool + tail;
}

std::vector<std::string> CDriverFolder::Journal() const {
    return JournalLines(File("journal.txt"));
}

std::vector<std::string> CDriverFolder::TakeJournal() const {
    std::vector<std::string> journal = Journal();
    Remove("journal.txt");
    return journal;
}

bool CDriverFolder::WaitForJournalLine(const std::string& line, unsigned long timeoutMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
        for (const std::string& journalLine : Journal()) {
            if (lstrcmpiA(journalLine.c_str(), line.c_str()) == 0)
                return true;
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
}

void RunTorvaneIn(const CDriverFolder& folder, const std::string& args,
                  const std::string& currentDirectory) {
    const test::RunResult result =
        test::RunAndWait("\"" + folder.Torvane() + "\" " + args, 60000, currentDirectory);
    EXPECT_TRUE(result.started) << args;
    EXPECT_TRUE(result.finished) << args << ": still running after a minute";
    EXPECT_EQ(0u, result.exitCode) << args;
}

std::string LibraryCall(const std::string& text, int code) {
    return "fnDeviceCntrol(\"" + text + "\", " + std::to_string(code) + ")";
}

std::vector<std::string> JournalLines(const std::string& path) {
    EXPECT_FALSE(test::FileExists(path + ".lost")) << "a stand-in could not write to " << path;
    std::vector<std::string> lines;
    const std::string bytes = test::ReadFileBytes(path);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace devtest
