// A growable block from the process heap, freed by its owner.
#pragma once

#include <windows.h>

class CHeapBuffer {
public:
    CHeapBuffer() : m_pData(nullptr), m_cbSize(0) {}
    ~CHeapBuffer() {
        if (m_pData)
            HeapFree(GetProcessHeap(), 0, m_pData);
    }
    CHeapBuffer(const CHeapBuffer&) = delete;
    CHeapBuffer& operator=(const CHeapBuffer&) = delete;

    BYTE* Data() const { return m_pData; }
    DWORD Size() const { return m_cbSize; }

    // Makes the block at least cbSize bytes long; its content is not kept. 0 when the heap
    // has no room (the old block then stays).
    int Reserve(DWORD cbSize) {
        if (cbSize <= m_cbSize)
            return 1;
        BYTE* pData = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, cbSize));
        if (!pData)
            return 0;
        if (m_pData)
            HeapFree(GetProcessHeap(), 0, m_pData);
        m_pData = pData;
        m_cbSize = cbSize;
        return 1;
    }

private:
    BYTE* m_pData;
    DWORD m_cbSize;
};
