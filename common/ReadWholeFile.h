// Reading a whole text file into memory, for commands that read a file before changing it.
#pragma once

#include <windows.h>

#include <new>

// The size of the file, when it can be told and is below 2 GB.
inline int WholeFileSize(HANDLE hFile, size_t* pcbFile) {
    DWORD dwHigh = 0;
    const DWORD dwLow = GetFileSize(hFile, &dwHigh);
    if ((dwLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || dwHigh != 0 ||
        dwLow > 0x7FFFFFF0u)
        return 0;
    *pcbFile = dwLow;
    return 1;
}

// Reads up to cbFile bytes (the size WholeFileSize told) into pBuffer. 0 on a read error; a file
// that got shorter since its size was taken gives what it still holds.
inline int ReadFileInto(HANDLE hFile, char* pBuffer, size_t cbFile, size_t* pcbRead) {
    DWORD cbRead = 0;
    while (cbRead < cbFile) {
        DWORD cbChunk = 0;
        if (!ReadFile(hFile, pBuffer + cbRead, static_cast<DWORD>(cbFile) - cbRead, &cbChunk,
                      nullptr))
            return 0;
        if (cbChunk == 0)
            break;
        cbRead += cbChunk;
    }
    *pcbRead = cbRead;
    return 1;
}

// Reads the file into a new[] block (the caller deletes it) with one spare byte after the text.
// 0 when it cannot be read whole: a text cut short by a read error must never be written back.
inline int ReadWholeFile(HANDLE hFile, char** ppText, size_t* pcbText) {
    size_t cbFile = 0;
    if (!WholeFileSize(hFile, &cbFile))
        return 0;
    char* pText = new (std::nothrow) char[cbFile + 1];
    if (pText == nullptr)
        return 0;
    if (!ReadFileInto(hFile, pText, cbFile, pcbText)) {
        delete[] pText;
        return 0;
    }
    *ppText = pText;
    return 1;
}
