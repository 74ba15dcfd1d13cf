// Helpers shared by the readers of registry scripts and scan-settings files: telling the text's
// encoding, the stray bytes at its end, and the placeholder search of a file left untouched.
// Pure code.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// How a file's text is encoded, as told by its first bytes.
enum {
    TEXT_REFUSED = -1,    // a form the readers do not take (UTF-16 big-endian)
    TEXT_EIGHT_BIT = 0,   // the system's ANSI code page, no mark
    TEXT_UTF8_MARKED = 1, // EF BB BF, then UTF-8: read as 8-bit text, written back with the mark
    TEXT_UTF16LE = 2      // FF FE, then UTF-16 little-endian
};

// The encoding and the length of its byte-order mark.
inline int ClassifyText(const char* pText, size_t cbText, size_t* pcbMark) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pText);
    *pcbMark = 0;
    if (cbText >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        *pcbMark = 3;
        return TEXT_UTF8_MARKED;
    }
    if (cbText >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        *pcbMark = 2;
        return TEXT_UTF16LE;
    }
    if (cbText >= 2 && p[0] == 0xFE && p[1] == 0xFF)
        return TEXT_REFUSED;
    return TEXT_EIGHT_BIT;
}

// The stray bytes of 8-bit text, as the C runtime's text mode sees them: NUL padding at the
// end is dropped, then one Ctrl-Z (0x1A) that ends the text. Any other NUL or Ctrl-Z is
// refused (0): a NUL would end a name or a key path early wherever the text is used as a
// string, and text after a Ctrl-Z is text a text-mode reader never sees, which a rewrite would
// drop. Otherwise 1, with *pcbText the length without the padding.
inline int TrimStrayBytes(const char* pText, size_t* pcbText) {
    size_t cb = *pcbText;
    while (cb > 0 && pText[cb - 1] == '\0')
        --cb;
    if (cb > 0 && pText[cb - 1] == '\x1A')
        --cb;
    // One pass for both bytes, four at a time: a word holds a 0 byte when (w - 0x01..) & ~w
    // has a high bit set.
    size_t i = 0;
    for (; i + 4 <= cb; i += 4) {
        uint32_t w;
        memcpy(&w, pText + i, sizeof(w));
        const uint32_t z = w ^ 0x1A1A1A1Au;
        if ((((w - 0x01010101u) & ~w) | ((z - 0x01010101u) & ~z)) & 0x80808080u)
            break;
    }
    for (; i < cb; ++i) {
        if (pText[i] == '\0' || pText[i] == '\x1A')
            return 0;
    }
    *pcbText = cb;
    return 1;
}

// The forms "[WINDIR]" is looked for in: 8-bit text, and UTF-16 of either byte order.
enum { WINDIR_AS_8_BIT = 1, WINDIR_AS_UTF16 = 2, WINDIR_IN_ANY_FORM = 3 };

// 1 when the bytes hold "[WINDIR]" in any letter case (ASCII) in one of the forms asked for.
// Tells whether a file that is left untouched held something to translate.
inline int HoldsWindirPlaceholder(const char* pText, size_t cbText,
                                  int nForms = WINDIR_IN_ANY_FORM) {
    static const char s_szWord[] = "[WINDIR]";
    const size_t cchWord = sizeof(s_szWord) - 1;
    // nStep 1: 8-bit; nStep 2: UTF-16, whose other byte of each unit is 0, after the letter
    // (little-endian, nZero 1) or before it (big-endian, nZero -1).
    const struct {
        int nForm;
        size_t nStep;
        int nZero;
    } forms[] = {{WINDIR_AS_8_BIT, 1, 0}, {WINDIR_AS_UTF16, 2, 1}, {WINDIR_AS_UTF16, 2, -1}};
    for (const auto& form : forms) {
        if ((nForms & form.nForm) == 0)
            continue;
        const size_t cbSpan = (cchWord - 1) * form.nStep + 1;
        for (const char* p = pText; cbText >= cbSpan;) {
            p = static_cast<const char*>(
                memchr(p, '[', static_cast<size_t>(pText + cbText - cbSpan + 1 - p)));
            if (p == nullptr)
                break;
            const size_t i = static_cast<size_t>(p - pText);
            size_t k = 0;
            for (; k < cchWord; ++k) {
                const size_t at = i + k * form.nStep;
                char c = pText[at];
                if (c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 'a' + 'A');
                if (c != s_szWord[k])
                    break;
                if (form.nZero > 0 && (at + 1 >= cbText || pText[at + 1] != '\0'))
                    break;
                if (form.nZero < 0 && (at == 0 || pText[at - 1] != '\0'))
                    break;
            }
            if (k == cchWord)
                return 1;
            ++p;
        }
    }
    return 0;
}

// The translation of a "[WINDIR]" value, shared by both file commands: the Windows folder as
// the platform gave it (in pszFolder, a buffer of cbFolder bytes, ended at its last byte
// whatever it holds), a backslash and the cbTail bytes of pTail, written to pOut with a NUL
// after them; their length in *pcchOut. 0, with nothing written, when the tail is longer than
// cbTailMax or the path longer than cchPathMax: never cut, a shortened path names another file.
inline int JoinWindowsFolder(char* pszFolder, size_t cbFolder, const char* pTail, size_t cbTail,
                             size_t cbTailMax, size_t cchPathMax, char* pOut, size_t* pcchOut) {
    if (cbFolder == 0 || cbTail > cbTailMax)
        return 0;
    pszFolder[cbFolder - 1] = '\0';
    const size_t cchFolder = strlen(pszFolder);
    if (cchFolder + 1 + cbTail > cchPathMax)
        return 0;
    memmove(pOut, pszFolder, cchFolder);
    pOut[cchFolder] = '\\';
    memcpy(pOut + cchFolder + 1, pTail, cbTail);
    pOut[cchFolder + 1 + cbTail] = '\0';
    *pcchOut = cchFolder + 1 + cbTail;
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
