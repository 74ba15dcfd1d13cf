// The product's one hash: 32-bit FNV-1a, fed a unit (byte, character, weight) at a time.
// Pure code, no Win32 header.
#pragma once

#include <stddef.h>

class CHash {
public:
    CHash() : m_nHash(2166136261u) {}
    void Add(unsigned nUnit) {
        m_nHash ^= nUnit;
        m_nHash *= 16777619u;
    }
    void AddBytes(const void* p, size_t cb) {
        for (size_t i = 0; i < cb; ++i)
            Add(static_cast<const unsigned char*>(p)[i]);
    }
    unsigned Value() const { return m_nHash; }

private:
    unsigned m_nHash;
};
