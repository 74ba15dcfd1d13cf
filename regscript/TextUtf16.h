// UTF-16 registry scripts are read as UTF-8 in memory: every byte the reader looks at (line
// ends, "=", brackets, backslashes, quotes, blanks) is ASCII, and no ASCII byte occurs inside a
// UTF-8 sequence, so the 8-bit line rules apply unchanged. A unit that is half of a surrogate
// pair without its other half is held as a three-byte sequence of its own, so that every
// UTF-16 text comes back unit for unit. Pure code.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// Runs of ASCII, the bulk of every script, go four bytes at a time (x86: little-endian).
inline uint32_t LoadWord(const void* p) {
    uint32_t w;
    memcpy(&w, p, sizeof(w));
    return w;
}

// The bytes Utf16LeToUtf8 makes of cUnits UTF-16LE units.
inline size_t Utf8Length(const unsigned char* pUnits, size_t cUnits) {
    size_t cb = 0;
    for (size_t i = 0; i < cUnits; ++i) {
        if (i + 2 <= cUnits && (LoadWord(pUnits + 2 * i) & 0xFF80FF80u) == 0) {
            cb += 2;
            ++i;
            continue;
        }
        const unsigned char hi = pUnits[2 * i + 1];
        if (hi == 0) {
            cb += pUnits[2 * i] < 0x80 ? 1 : 2;
            continue;
        }
        const unsigned u = pUnits[2 * i] | (static_cast<unsigned>(hi) << 8);
        cb += u < 0x800 ? 2 : 3; // a surrogate pair: 4 bytes, as two lone halves would take 6
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < cUnits) {
            const unsigned v = pUnits[2 * i + 2] | (static_cast<unsigned>(pUnits[2 * i + 3]) << 8);
            if (v >= 0xDC00 && v < 0xE000) {
                ++cb;
                ++i;
            }
        }
    }
    return cb;
}

// The stray units of UTF-16 text, as TrimStrayBytes (common/FileText.h) tells them for
// 8-bit text and as they would stand in its UTF-8 (a NUL or Ctrl-Z byte of UTF-8 is such a
// unit): NUL units at the end are padding, then one Ctrl-Z unit ends the text; any other NUL or
// Ctrl-Z unit refuses the text (0). Otherwise 1, with *pcUnits the units without the padding.
inline int TrimStrayUnits(const unsigned char* pUnits, size_t* pcUnits) {
    size_t c = *pcUnits;
    while (c > 0 && pUnits[2 * c - 2] == 0 && pUnits[2 * c - 1] == 0)
        --c;
    if (c > 0 && pUnits[2 * c - 2] == 0x1A && pUnits[2 * c - 1] == 0)
        --c;
    // Two units a word: a word holds a 0 unit when (w - 0x0001..) & ~w has a high bit set.
    size_t i = 0;
    for (; i + 2 <= c; i += 2) {
        const uint32_t w = LoadWord(pUnits + 2 * i);
        const uint32_t z = w ^ 0x001A001Au;
        if ((((w - 0x00010001u) & ~w) | ((z - 0x00010001u) & ~z)) & 0x80008000u)
            break;
    }
    for (; i < c; ++i) {
        if (pUnits[2 * i + 1] == 0 && (pUnits[2 * i] == 0 || pUnits[2 * i] == 0x1A))
            return 0;
    }
    *pcUnits = c;
    return 1;
}

// Turns cUnits UTF-16LE units into UTF-8 (Utf8Length bytes). Returns the bytes written.
//
// With pnDone, pOut may stand before the units in the same buffer, at most as far before them
// as it stands (a byte-order mark, for one): the text is turned over itself. Each unit's bytes
// are written only where units already read stood, which always holds for ASCII and for units
// below U+0800 (never more bytes than the unit had); a unit of three bytes takes the room the
// shorter ones left. The turning stops before the first unit that finds no room, and *pnDone
// tells how many units were turned.
inline size_t Utf16LeToUtf8(const unsigned char* pUnits, size_t cUnits, char* pOut,
                            size_t* pnDone = nullptr) {
    unsigned char* q = reinterpret_cast<unsigned char*>(pOut);
    size_t i = 0;
    for (; i < cUnits; ++i) {
        if (i + 2 <= cUnits) {
            const uint32_t w = LoadWord(pUnits + 2 * i);
            if ((w & 0xFF80FF80u) == 0) {
                q[0] = static_cast<unsigned char>(w);
                q[1] = static_cast<unsigned char>(w >> 16);
                q += 2;
                ++i;
                continue;
            }
        }
        unsigned u = pUnits[2 * i] | (static_cast<unsigned>(pUnits[2 * i + 1]) << 8);
        if (u < 0x80) {
            *q++ = static_cast<unsigned char>(u);
            continue;
        }
        if (u < 0x800) {
            *q++ = static_cast<unsigned char>(0xC0 | (u >> 6));
            *q++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
            continue;
        }
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < cUnits) {
            const unsigned v = pUnits[2 * i + 2] | (static_cast<unsigned>(pUnits[2 * i + 3]) << 8);
            if (v >= 0xDC00 && v < 0xE000) {
                const unsigned cp = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
                *q++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
                *q++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
                *q++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
                *q++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
                ++i;
                continue;
            }
        }
        if (pnDone != nullptr && q + 3 > pUnits + 2 * i + 2)
            break; // would overwrite the next unit, not yet read
        *q++ = static_cast<unsigned char>(0xE0 | (u >> 12));
        *q++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
        *q++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
    }
    if (pnDone != nullptr)
        *pnDone = i;
    return static_cast<size_t>(q - reinterpret_cast<unsigned char*>(pOut));
}

// The code point that starts at p (at most cb bytes), and in *pcb the bytes it takes. The text
// comes from Utf16LeToUtf8; a byte that starts no sequence there stands for itself.
inline unsigned DecodeUtf8(const unsigned char* p, size_t cb, size_t* pcb) {
    const unsigned b = p[0];
    size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (n > cb)
        n = 1;
    for (size_t k = 1; k < n; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            n = 1;
    }
    *pcb = n;
    if (n == 1)
        return b;
    if (n == 2)
        return ((b & 0x1F) << 6) | (p[1] & 0x3F);
    if (n == 3)
        return ((b & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3F);
    return ((b & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3F);
}

// Turns UTF-8 from Utf16LeToUtf8 back into UTF-16LE; pOut has room for 2 bytes per input byte.
// Returns the bytes written.
inline size_t Utf8ToUtf16Le(const char* pText, size_t cbText, char* pOut) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pText);
    const unsigned char* const pEnd = p + cbText;
    unsigned char* q = reinterpret_cast<unsigned char*>(pOut);
    while (p < pEnd) {
        if (pEnd - p >= 4) {
            const uint32_t w = LoadWord(p);
            if ((w & 0x80808080u) == 0) {
                const uint32_t lo = (w & 0xFFu) | ((w & 0xFF00u) << 8);
                const uint32_t hi = ((w >> 16) & 0xFFu) | ((w >> 8) & 0xFF0000u);
                memcpy(q, &lo, 4);
                memcpy(q + 4, &hi, 4);
                p += 4;
                q += 8;
                continue;
            }
        }
        if (*p < 0x80) {
            *q++ = *p++;
            *q++ = 0;
            continue;
        }
        size_t cb = 0;
        unsigned cp = DecodeUtf8(p, static_cast<size_t>(pEnd - p), &cb);
        p += cb;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            const unsigned hi = 0xD800 + (cp >> 10);
            *q++ = static_cast<unsigned char>(hi & 0xFF);
            *q++ = static_cast<unsigned char>(hi >> 8);
            cp = 0xDC00 + (cp & 0x3FF);
        }
        *q++ = static_cast<unsigned char>(cp & 0xFF);
        *q++ = static_cast<unsigned char>(cp >> 8);
    }
    return static_cast<size_t>(q - reinterpret_cast<unsigned char*>(pOut));
}

// Walks a NUL-terminated UTF-8 name unit by unit, as UTF-16 holds it.
class CUtf16Units {
public:
    explicit CUtf16Units(const char* pszText)
        : m_p(reinterpret_cast<const unsigned char*>(pszText)), m_nLow(0) {}
    // The next unit; 0 at the end.
    unsigned Next() {
        if (m_nLow != 0) {
            const unsigned nLow = m_nLow;
            m_nLow = 0;
            return nLow;
        }
        if (*m_p == 0)
            return 0;
        size_t cbLeft = 1;
        while (cbLeft < 4 && m_p[cbLeft] != 0)
            ++cbLeft;
        size_t cb = 0;
        unsigned cp = DecodeUtf8(m_p, cbLeft, &cb);
        m_p += cb;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            m_nLow = 0xDC00 + (cp & 0x3FF);
            return 0xD800 + (cp >> 10);
        }
        return cp;
    }

private:
    const unsigned char* m_p;
    unsigned m_nLow;
};
