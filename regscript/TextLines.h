// Helpers shared by the readers of registry scripts and scan-settings files. Pure code.
#pragma once

#include <stddef.h>
#include <string.h>

// 1 for 8-bit text. A NUL byte (UTF-16 text, binary data) or a byte-order mark (UTF-8 or
// UTF-16 marked as such) means text that these readers cannot take line by line as ANSI text
// without losing it.
inline int IsEightBitText(const char* pText, size_t cbText) {
    if (cbText > 0 && memchr(pText, '\0', cbText) != nullptr)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pText);
    if (cbText >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        return 0;
    if (cbText >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF)))
        return 0;
    return 1;
}

// The text as a text-mode stream delivers it: every CR LF becomes LF (a lone CR stays).
// Changes the text in place and returns its new length.
inline size_t ToTextMode(char* pText, size_t cbText) {
    size_t cbOut = 0;
    for (size_t i = 0; i < cbText; ++i) {
        if (pText[i] == '\r' && i + 1 < cbText && pText[i + 1] == '\n')
            continue;
        pText[cbOut++] = pText[i];
    }
    return cbOut;
}
