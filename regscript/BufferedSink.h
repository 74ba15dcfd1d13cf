// CBufferedSink: collects the writer's bytes and hands them on to another sink in large blocks,
// as they are or, for a UTF-16 script, turned from UTF-8 into UTF-16LE on the way in. The
// writer makes millions of small writes; the file and the conversion see a few large ones.
//
// Pure code: no Win32 header.
#pragma once

#include <stddef.h>
#include <string.h>

#include "common/Array.h"
#include "regscript/TextPlatform.h"
#include "regscript/TextUtf16.h"

class CBufferedSink {
public:
    enum { AS_IS = 0, UTF8_TO_UTF16LE = 1 };

    CBufferedSink(const tagTextSink& next, size_t cbBuffer, int nForm)
        : m_next(next), m_cbUsed(0), m_nForm(nForm), m_bFailed(!m_buffer.SetSize(cbBuffer)) {}
    CBufferedSink(const CBufferedSink&) = delete;
    CBufferedSink& operator=(const CBufferedSink&) = delete;

    tagTextSink Sink() {
        tagTextSink sink = {this, Write};
        return sink;
    }

    // Hands on what is still buffered; 1 when everything written so far was taken.
    int Flush() {
        if (!m_bFailed && m_cbUsed > 0)
            m_bFailed = !m_next.pfnWrite(m_next.pContext, m_buffer.Data(), m_cbUsed);
        m_cbUsed = 0;
        return !m_bFailed;
    }

private:
    static int Write(void* pContext, const char* p, size_t cb) {
        CBufferedSink& self = *static_cast<CBufferedSink*>(pContext);
        if (self.m_bFailed)
            return 0;
        return self.m_nForm == UTF8_TO_UTF16LE ? self.WriteUtf16(p, cb) : self.WriteAsIs(p, cb);
    }

    int WriteAsIs(const char* p, size_t cb) {
        if (cb > m_buffer.Size() - m_cbUsed) {
            if (!Flush())
                return 0;
            if (cb >= m_buffer.Size()) { // more than a block: no copy
                m_bFailed = !m_next.pfnWrite(m_next.pContext, p, cb);
                return !m_bFailed;
            }
        }
        memcpy(m_buffer.Data() + m_cbUsed, p, cb);
        m_cbUsed += cb;
        return 1;
    }

    int WriteUtf16(const char* p, size_t cb) {
        while (cb > 0) {
            const size_t cbRoom = (m_buffer.Size() - m_cbUsed) / 2; // input bytes that fit
            if (cbRoom < 4) {
                if (!Flush())
                    return 0;
                continue;
            }
            size_t n = cb < cbRoom ? cb : cbRoom;
            // A block ends before a sequence, never inside one.
            while (n < cb && n > 1 && (static_cast<unsigned char>(p[n]) & 0xC0) == 0x80)
                --n;
            m_cbUsed += Utf8ToUtf16Le(p, n, m_buffer.Data() + m_cbUsed);
            p += n;
            cb -= n;
        }
        return 1;
    }

    tagTextSink m_next;
    CArray<char> m_buffer; // the block, m_cbUsed bytes of it in use
    size_t m_cbUsed;
    int m_nForm;
    int m_bFailed; // a write failed (or no buffer could be had): nothing more is taken
};
