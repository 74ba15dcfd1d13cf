// CTreeStore: the memory of one registry tree. CIniFile builds its whole tree (keys with their
// names, values with their texts, list nodes, sibling indexes) in the blocks of one store and
// gives the tree's memory back in one step when it empties the tree. A script of a million
// values then costs a few hundred heap calls instead of millions of allocations and frees (each
// a search of the heap, and slow where the heap runs emulated), and no heap header per object.
//
// Pure code: no Win32 header.
#pragma once

#include <stddef.h>

#include <new>

class CTreeStore {
public:
    CTreeStore() : m_pBlocks(nullptr), m_pNext(nullptr), m_cbLeft(0), m_cbNextBlock(FIRST_BLOCK) {}
    ~CTreeStore() { Release(); }
    CTreeStore(const CTreeStore&) = delete;
    CTreeStore& operator=(const CTreeStore&) = delete;

    // cb bytes, aligned for a pointer (the alignment of every object of the tree), or null
    // when memory runs out. Freed only by Release.
    void* Allocate(size_t cb) {
        if (cb > static_cast<size_t>(-1) / 2)
            return nullptr;
        cb = (cb + ALIGNMENT - 1) & ~static_cast<size_t>(ALIGNMENT - 1);
        if (cb > m_cbLeft)
            return AllocateInNewBlock(cb);
        void* p = m_pNext;
        m_pNext += cb;
        m_cbLeft -= cb;
        return p;
    }

    // Gives back every block: everything allocated in the store is gone.
    void Release() {
        while (m_pBlocks != nullptr) {
            tagBlock* pNext = m_pBlocks->pNext;
            delete[] reinterpret_cast<char*>(m_pBlocks);
            m_pBlocks = pNext;
        }
        m_pNext = nullptr;
        m_cbLeft = 0;
        m_cbNextBlock = FIRST_BLOCK;
    }

private:
    enum {
        ALIGNMENT = sizeof(void*),
        FIRST_BLOCK = 64 * 1024, // blocks double from here up to LAST_BLOCK
        LAST_BLOCK = 1024 * 1024
    };
    struct tagBlock {
        tagBlock* pNext;
        void* pAlign; // keeps the payload after the header aligned
    };

    void* AllocateInNewBlock(size_t cb) {
        // An object larger than a quarter block gets a block of its own, and the current block
        // stays the one allocated from: little of a block is ever left unused.
        const int bOwnBlock = cb > m_cbNextBlock / 4;
        const size_t cbBlock = bOwnBlock ? cb : m_cbNextBlock;
        char* pBlock = new (std::nothrow) char[sizeof(tagBlock) + cbBlock];
        if (pBlock == nullptr)
            return nullptr;
        tagBlock* pHeader = reinterpret_cast<tagBlock*>(pBlock);
        pHeader->pNext = m_pBlocks;
        m_pBlocks = pHeader;
        char* pPayload = pBlock + sizeof(tagBlock);
        if (bOwnBlock)
            return pPayload;
        m_pNext = pPayload + cb;
        m_cbLeft = cbBlock - cb;
        if (m_cbNextBlock < LAST_BLOCK)
            m_cbNextBlock *= 2;
        return pPayload;
    }

    tagBlock* m_pBlocks; // every block, the newest first
    char* m_pNext;       // the free part of the current block
    size_t m_cbLeft;
    size_t m_cbNextBlock;
};
