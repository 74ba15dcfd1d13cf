// Where a path's folder part ends, read by characters: in the double-byte code pages (932, 936,
// 949, 950) the second byte of a character can be 0x5C, the backslash, and is no separator.
//
// Pure text logic; the Win32 lead-byte test below is the one the product passes in.
#pragma once

#include <stddef.h>

// Nonzero when ch is the first byte of a double-byte character.
typedef int (*PFN_ISLEADBYTE)(unsigned char ch);

// Length of the character at p: 2 for a double-byte character, else 1.
inline size_t CharLength(const char* p, PFN_ISLEADBYTE pfnIsLeadByte) {
    if (pfnIsLeadByte != nullptr && pfnIsLeadByte(static_cast<unsigned char>(p[0])) && p[1] != '\0')
        return 2;
    return 1;
}

// The length of the folder part of pszPath, up to and including its last separator ("\", "/"
// or the ":" of a drive) that is a character of its own; 0 when it has none.
inline size_t FolderPartLength(const char* pszPath, PFN_ISLEADBYTE pfnIsLeadByte) {
    size_t cchFolder = 0;
    for (const char* p = pszPath; *p != '\0';) {
        const size_t cch = CharLength(p, pfnIsLeadByte);
        p += cch;
        if (cch == 1 && (p[-1] == '\\' || p[-1] == '/' || p[-1] == ':'))
            cchFolder = static_cast<size_t>(p - pszPath);
    }
    return cchFolder;
}

#ifdef _WIN32
#include <windows.h>

// The lead-byte test of the system's ANSI code page.
inline int IsAnsiLeadByte(unsigned char ch) {
    return IsDBCSLeadByte(ch) ? 1 : 0;
}
#endif
