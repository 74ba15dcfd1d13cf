// Deterministic stand-ins for the few platform services the readers take, for the native unit
// tests and the fuzz targets: ASCII case fold for the comparison, a fixed Windows folder, an
// identity short path.
#pragma once

#include <stddef.h>
#include <string.h>

#include "regscript/TextPlatform.h"
#include "setup/ScanAdvanceText.h"

namespace native {

const char kWindowsFolder[] = "C:\\WINDOWS";

inline char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline int CompareNoCase(void*, const char* pszA, const char* pszB) {
    for (;; ++pszA, ++pszB) {
        const unsigned char a = static_cast<unsigned char>(FoldAscii(*pszA));
        const unsigned char b = static_cast<unsigned char>(FoldAscii(*pszB));
        if (a != b)
            return a < b ? -1 : 1;
        if (a == 0)
            return 0;
    }
}

// Equal under CompareNoCase gives equal hashes: the hash is taken over the folded name.
inline int NameHash(void*, const char* pszName, unsigned* pnHash) {
    unsigned nHash = 2166136261u;
    for (; *pszName != '\0'; ++pszName)
        nHash = (nHash ^ static_cast<unsigned char>(FoldAscii(*pszName))) * 16777619u;
    *pnHash = nHash;
    return 1;
}

// The short form of the folder is the folder itself: the stand-in has no long names.
inline int WindowsFolder(void*, char* pszFolder, size_t cbFolder) {
    if (cbFolder < sizeof(kWindowsFolder))
        return 0;
    memcpy(pszFolder, kWindowsFolder, sizeof(kWindowsFolder));
    return 1;
}

// UTF-16 units: ASCII letters folded, every other unit stands for itself.
inline unsigned UpcaseUtf16(void*, unsigned nUnit) {
    return (nUnit >= 'a' && nUnit <= 'z') ? nUnit - 'a' + 'A' : nUnit;
}

inline const tagTextPlatform& TextPlatform() {
    static const tagTextPlatform platform = {nullptr,       CompareNoCase, NameHash,
                                             WindowsFolder, UpcaseUtf16,   WindowsFolder};
    return platform;
}

inline int IsNoLeadByte(unsigned char) {
    return 0;
}

} // namespace native
