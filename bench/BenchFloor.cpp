// bench_floor FILE: the least a rewrite of a registry script must do, for the benchmark in
// scripts/bench.d/50-regscript.sh to compare TRANSLATEPATH with. A GUI-subsystem program built
// and started as Torvane.exe is; it reads FILE (in its own folder) whole, replaces every
// "[WINDIR]" with the short Windows folder (as UTF-16 after an FF FE mark) and writes the text
// back through a new file that then replaces FILE. Exit status 0 when done.
#include <windows.h>

#include <shlobj.h>
#include <string.h>

#include <string>

#include "common/ReadWholeFile.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR pszCommandLine, int) {
    char szPath[MAX_PATH] = {};
    GetModuleFileNameA(hInstance, szPath, MAX_PATH);
    std::string path = szPath;
    path = path.substr(0, path.rfind('\\') + 1) + pszCommandLine;

    char szLong[MAX_PATH] = {}, szShort[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, szLong, CSIDL_WINDOWS, FALSE);
    GetShortPathNameA(szLong, szShort, MAX_PATH);

    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    CArray<char> text;
    if (hFile == INVALID_HANDLE_VALUE || !ReadWholeFile(hFile, &text))
        return 1;
    const char* const pText = text.Data();
    const size_t cbText = text.Size() - 1;
    CloseHandle(hFile);

    // The placeholder and the folder in the file's form.
    const bool bWide = cbText >= 2 && pText[0] == '\xFF' && pText[1] == '\xFE';
    std::string placeholder = "[WINDIR]", folder = szShort;
    if (bWide) {
        std::string wide;
        for (char c : placeholder)
            wide += std::string(1, c) + '\0';
        placeholder = wide;
        wide.clear();
        for (char c : folder)
            wide += std::string(1, c) + '\0';
        folder = wide;
    }
    const std::string newPath = path + ".floor.tmp";
    hFile = CreateFileA(newPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    // Written through a buffer of 1 MB.
    static char s_abOut[1 << 20];
    size_t cbOut = 0;
    BOOL bDone = TRUE;
    const auto flush = [&]() {
        DWORD cbWritten = 0;
        bDone = bDone && WriteFile(hFile, s_abOut, static_cast<DWORD>(cbOut), &cbWritten, nullptr);
        cbOut = 0;
    };
    const auto put = [&](const char* p, size_t cb) {
        if (cb > sizeof(s_abOut) - cbOut)
            flush();
        if (cb > sizeof(s_abOut)) {
            DWORD cbWritten = 0;
            bDone = bDone && WriteFile(hFile, p, static_cast<DWORD>(cb), &cbWritten, nullptr);
            return;
        }
        memcpy(s_abOut + cbOut, p, cb);
        cbOut += cb;
    };
    for (size_t at = 0; at < cbText;) {
        const char* pFound = static_cast<const char*>(memchr(pText + at, '[', cbText - at));
        const size_t next = pFound != nullptr ? static_cast<size_t>(pFound - pText) : cbText;
        put(pText + at, next - at);
        at = next;
        if (at == cbText)
            break;
        if (cbText - at >= placeholder.size() &&
            memcmp(pText + at, placeholder.data(), placeholder.size()) == 0) {
            put(folder.data(), folder.size());
            at += placeholder.size();
        } else {
            put("[", 1);
            ++at;
        }
    }
    flush();
    bDone = bDone && FlushFileBuffers(hFile);
    CloseHandle(hFile);
    return bDone && MoveFileExA(newPath.c_str(), path.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : 1;
}
