// Reading a whole text file into memory, for commands that read a file before changing it.
#pragma once

#include <windows.h>

#include <new>

// Reads the file into a new[] block (the caller deletes it) with one spare byte after the text.
// 0 when it cannot be read whole: a text cut short by a read error must never be written back.
inline int ReadWholeFile(HANDLE hFile, char** ppText, size_t* pcbText) {
    DWORD dwHigh = 0;
    const DWORD dwLow = GetFileSize(hFile, &dwHigh);
    if ((dwLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || dwHigh != 0 ||
        dwLow > 0x7FFFFFF0u)
        return 0;
    char* pText = new (std::nothrow) char[dwLow + 1];
    if (pText == nullptr)
        return 0;
    DWORD cbRead = 0;
    while (cbRead < dwLow) {
        DWORD cbChunk = 0;
        if (!ReadFile(hFile, pText + cbRead, dwLow - cbRead, &cbChunk, nullptr)) {
            delete[] pText;
            return 0;
        }
        if (cbChunk == 0)
            break; // the file got shorter since its size was taken
        cbRead += cbChunk;
    }
    *ppText = pText;
    *pcbText = cbRead;
    return 1;
}
