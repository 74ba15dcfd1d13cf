// Reading a whole text file into memory, for commands that read a file before changing it, and
// writing a buffer whole.
#pragma once

#include <windows.h>

#include "common/Array.h"

// The largest file any command reads whole: below 2 GB.
const size_t WHOLE_FILE_MAX = 0x7FFFFFF0u;

// The size of the file, when it can be told and is at most cbMax (at most WHOLE_FILE_MAX).
inline int WholeFileSize(HANDLE hFile, size_t* pcbFile, size_t cbMax = WHOLE_FILE_MAX) {
    DWORD dwHigh = 0;
    const DWORD dwLow = GetFileSize(hFile, &dwHigh);
    if ((dwLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || dwHigh != 0 ||
        dwLow > WHOLE_FILE_MAX || dwLow > cbMax)
        return 0;
    *pcbFile = dwLow;
    return 1;
}

// Asked after a read failed: nonzero when it is to be tried again (the caller has waited out,
// say, another process's lock on the range).
typedef int (*PFN_READ_AGAIN)(void* pContext);

// Reads up to cbFile bytes (the size WholeFileSize told) into pBuffer. 0 on a read error (after
// pfnAgain, when given, said not to try again); a file that got shorter since its size was
// taken gives what it still holds.
inline int ReadFileInto(HANDLE hFile, char* pBuffer, size_t cbFile, size_t* pcbRead,
                        PFN_READ_AGAIN pfnAgain = nullptr, void* pContext = nullptr) {
    DWORD cbRead = 0;
    while (cbRead < cbFile) {
        DWORD cbChunk = 0;
        if (!ReadFile(hFile, pBuffer + cbRead, static_cast<DWORD>(cbFile) - cbRead, &cbChunk,
                      nullptr)) {
            if (pfnAgain != nullptr && pfnAgain(pContext))
                continue;
            return 0;
        }
        if (cbChunk == 0)
            break;
        cbRead += cbChunk;
    }
    *pcbRead = cbRead;
    return 1;
}

// Reads the file into *pText: its bytes and a NUL after them, Size() - 1 bytes of text (the NUL
// is the spare byte where the readers end the last line in place). 0 when it
// cannot be read whole, or is larger than cbMax (refused unread): a text cut short by a read
// error must never be written back. pfnAgain as for ReadFileInto.
inline int ReadWholeFile(HANDLE hFile, CArray<char>* pText, size_t cbMax = WHOLE_FILE_MAX,
                         PFN_READ_AGAIN pfnAgain = nullptr, void* pContext = nullptr) {
    size_t cbFile = 0;
    size_t cbRead = 0;
    pText->Clear();
    if (!WholeFileSize(hFile, &cbFile, cbMax) || !pText->SetSize(cbFile + 1) ||
        !ReadFileInto(hFile, pText->Data(), cbFile, &cbRead, pfnAgain, pContext))
        return 0;
    (*pText)[cbRead] = '\0';
    pText->Truncate(cbRead + 1);
    return 1;
}

// Writes all cb bytes at pBytes to the file, in chunks a DWORD counts. 0 when a write fails or
// takes nothing.
inline int WriteWholeBuffer(HANDLE hFile, const void* pBytes, size_t cb) {
    const char* p = static_cast<const char*>(pBytes);
    while (cb > 0) {
        const DWORD cbChunk = cb > (1u << 30) ? (1u << 30) : static_cast<DWORD>(cb);
        DWORD cbWritten = 0;
        if (!WriteFile(hFile, p, cbChunk, &cbWritten, nullptr) || cbWritten == 0)
            return 0;
        p += cbWritten;
        cb -= cbWritten;
    }
    return 1;
}
