// Stands in for the driver tools that REGISTER and UNREGISTER start: DPInst.exe, DPInst64.exe,
// devcon.exe, devcon64.exe and Pellux.exe are all this one program under other names.
//
// It appends its whole command line, exactly as received, as one line to journal.txt in its
// own folder, and ends. A control file "<its file name>.hold" beside it (e.g. DPInst.exe.hold)
// makes it run on before it ends:
//   <number>   run that many milliseconds
//   forever    run until the control file is deleted or no longer says "forever"
// After such a run it appends the line "<its file name> ended", so that a journal shows whether
// the next program started before or after it ended, and it records the tick counts of its start
// and end in stamps.txt, which show that exactly (see Journal.h). Its current directory goes to
// curdirs.txt.
//
// Started as "<tool> /hold <milliseconds> <file>" it is instead another process holding a file,
// as an editor or indexer does: it opens the file for reading, sharing reading only, writes
// "held" to its standard output once it holds it, keeps it that long, and ends; it journals
// nothing.
#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <string>

#include "Journal.h"

namespace {

std::string ReadControl(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    char buffer[64] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer) - 1, &read, nullptr);
    CloseHandle(file);
    std::string text(buffer, read);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

void Stamp(const std::string& folder, const std::string& event, DWORD tick) {
    standin::AppendToJournal(folder, event + " " + std::to_string(tick), standin::STAMPS_NAME);
}

// The hold mode: 0 when the file was held, 1 when it could not be opened.
int HoldFile(DWORD milliseconds, const char* path) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &written, nullptr);
    Sleep(milliseconds);
    CloseHandle(file);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR pszCommandLine, int) {
    if (strncmp(pszCommandLine, "/hold ", 6) == 0) {
        char* pszPath = nullptr;
        const unsigned long milliseconds = strtoul(pszCommandLine + 6, &pszPath, 10);
        return HoldFile(milliseconds, pszPath + (*pszPath == ' ' ? 1 : 0));
    }
    const DWORD started = GetTickCount();
    const std::string folder = standin::ModuleFolder(nullptr);
    const std::string name = standin::ModuleFileName(nullptr);
    standin::AppendToJournal(folder, GetCommandLineA());
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(directory), directory);
    standin::AppendToJournal(folder, directory, standin::CURRENT_DIRECTORIES_NAME);

    const std::string controlPath = folder + "\\" + name + ".hold";
    const std::string control = ReadControl(controlPath);
    Stamp(folder, name + " started", started);
    if (control.empty())
        return 0;
    if (control == "forever") {
        while (ReadControl(controlPath) == "forever")
            Sleep(50);
    } else {
        Sleep(strtoul(control.c_str(), nullptr, 10));
    }
    standin::AppendToJournal(folder, name + " ended");
    Stamp(folder, name + " ended", GetTickCount());
    return 0;
}
