// CTextBuilder: text appended to a fixed buffer, never past it. Once a part does not fit, the
// builder stays failed and the buffer holds the empty string: a cut path or command line would
// name something else.
//
// Pure code: no Win32 header.
#pragma once

#include <stddef.h>
#include <string.h>

class CTextBuilder {
public:
    CTextBuilder(char* pszOut, size_t cbOut) : m_pszOut(pszOut), m_cbOut(cbOut), m_cch(0) {
        m_bFits = (pszOut != nullptr && cbOut > 0);
        if (m_bFits)
            pszOut[0] = '\0';
    }

    // Appends psz (nothing when null).
    CTextBuilder& Add(const char* psz) { return psz != nullptr ? Add(psz, strlen(psz)) : *this; }

    // Appends the first cch bytes at p.
    CTextBuilder& Add(const char* p, size_t cch) {
        if (!m_bFits)
            return *this;
        if (cch >= m_cbOut - m_cch) {
            m_bFits = 0;
            m_pszOut[0] = '\0';
            return *this;
        }
        memcpy(m_pszOut + m_cch, p, cch);
        m_cch += cch;
        m_pszOut[m_cch] = '\0';
        return *this;
    }

    int Fits() const { return m_bFits; }

private:
    char* m_pszOut;
    size_t m_cbOut;
    size_t m_cch;
    int m_bFits;
};
