// CTreeStore: the memory of one registry tree. Every tree lives in a store: CIniFile builds its
// whole tree (keys with their names, values with their texts, list nodes, sibling indexes) in
// the blocks of its store and gives the tree's memory back in one step when it empties the tree;
// a key, a value or a list made on its own keeps what it holds in a store of its own. A script of
// a million values then costs a few hundred heap calls instead of millions of allocations and
// frees (each a search of the heap, and slow where the heap runs emulated), and no heap header
// per object.
//
// An object in a store owns nothing outside it: its destructor frees nothing, and an object
// dropped (a key a load could not link in, an outgrown index array, a node removed from a list)
// stays in the store until the store is released.
//
// Pure code: no Win32 header.
#pragma once

#include <stddef.h>

#include <new>

// The one owner of an object made by new: deletes it with itself. Kept this small on purpose:
// std::unique_ptr's machinery doubles the debug information of every file that sees the tree.
template <typename T> class CTreeOwner {
public:
    explicit CTreeOwner(T* p = nullptr) : m_p(p) {}
    ~CTreeOwner() { delete m_p; }
    CTreeOwner(const CTreeOwner&) = delete;
    CTreeOwner& operator=(const CTreeOwner&) = delete;

    T* Get() const { return m_p; }
    void Reset(T* p) {
        delete m_p;
        m_p = p;
    }

private:
    T* m_p;
};

class CTreeStore {
public:
    CTreeStore() : m_pBlocks(nullptr), m_pNext(nullptr), m_cbLeft(0), m_cbNextBlock(FIRST_BLOCK) {}
    ~CTreeStore() { Release(); }
    CTreeStore(const CTreeStore&) = delete;
    CTreeStore& operator=(const CTreeStore&) = delete;

    // cb bytes, aligned for a pointer, or null when memory runs out. Freed only by Release.
    void* Allocate(size_t cb) {
        if (cb > HALF_SIZE)
            return nullptr;
        cb = (cb + ALIGNMENT - 1) & ~static_cast<size_t>(ALIGNMENT - 1);
        if (cb > m_cbLeft)
            return AllocateInNewBlock(cb);
        void* p = m_pNext;
        m_pNext += cb;
        m_cbLeft -= cb;
        return p;
    }

    // Room for n objects of type T followed by cbAfter bytes (a name, a text), or null when
    // memory runs out. A store aligns for a pointer only: the objects of the tree are made of
    // pointers, sizes and ints, and none may need more (a double or a 64-bit integer would, on a
    // 32-bit target).
    template <typename T> void* AllocateFor(size_t n = 1, size_t cbAfter = 0) {
        static_assert(alignof(T) <= ALIGNMENT, "a store aligns its objects for a pointer only");
        if (n > HALF_SIZE / sizeof(T) || cbAfter > HALF_SIZE)
            return nullptr;
        return Allocate(n * sizeof(T) + cbAfter);
    }

    // Gives back every block: everything allocated in the store is gone.
    void Release() {
        while (m_pBlocks != nullptr) {
            tagBlock* pNext = m_pBlocks->pNext;
            ::operator delete(m_pBlocks); // the store's one release point
            m_pBlocks = pNext;
        }
        m_pNext = nullptr;
        m_cbLeft = 0;
        m_cbNextBlock = FIRST_BLOCK;
    }

private:
    static const size_t HALF_SIZE = static_cast<size_t>(-1) / 2;
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
        void* pMemory = ::operator new(sizeof(tagBlock) + cbBlock, std::nothrow);
        if (pMemory == nullptr)
            return nullptr;
        m_pBlocks = ::new (pMemory) tagBlock{m_pBlocks, nullptr};
        char* pPayload = reinterpret_cast<char*>(m_pBlocks + 1);
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
