// CPubList: the registry tree's own singly linked list of pointers, reached by position.
//
// Pure code: no Win32 header, so the registry-script reader can be built natively and fuzzed.
// Every owner in the tree inserts at position 0, so a list holds its elements newest first; the
// writer's output order depends on that. The list never deletes the objects its elements point
// to: their owner does, before it removes the element.
//
// Nodes live in a store (regscript/TreeStore.h): a key's lists keep theirs in the key's store, a
// list made on its own in a store of its own, made on its first insertion. Either way a node
// removed stays in its store, and the nodes go with the store, never one by one.
#pragma once

#include <new>

#include "regscript/TreeStore.h"

template <typename T> struct tagPubListNode {
    tagPubListNode* pNext; // null at the last node
    T item;
};

template <typename T> class CPubList {
public:
    typedef tagPubListNode<T> tagNode;

    CPubList() : m_pHead(nullptr), m_nCount(0) {}
    // Frees the list's own store, if it has one (never the objects the elements point to).
    virtual ~CPubList() { m_nCount = 0; }

    CPubList(const CPubList&) = delete;
    CPubList& operator=(const CPubList&) = delete;

    int GetCount() const { return m_nCount; }

    // The element at nPosition, or null when there is none.
    T GetAt(int nPosition) const {
        tagNode* pNode = nullptr;
        FindNode(nPosition, &pNode);
        return pNode != nullptr ? pNode->item : T();
    }

    // Links item in at nPosition (0 to GetCount()), its node in the list's own store. 1 when
    // done; 0 for a position out of range or when no node can be had, and the list is then
    // unchanged.
    int InsertAt(T item, int nPosition) { return InsertAt(item, nPosition, OwnStore()); }
    // The same with the node in pStore, which must outlive the list.
    int InsertAt(T item, int nPosition, CTreeStore* pStore) {
        if (nPosition < 0 || nPosition > m_nCount || pStore == nullptr)
            return 0;
        void* pMemory = pStore->AllocateFor<tagNode>();
        if (pMemory == nullptr)
            return 0;
        tagNode* pNode = ::new (pMemory) tagNode;
        pNode->item = item;
        if (nPosition == 0) {
            pNode->pNext = m_pHead;
            m_pHead = pNode;
        } else {
            tagNode* pPrevious = nullptr;
            FindNode(nPosition - 1, &pPrevious);
            pNode->pNext = pPrevious->pNext;
            pPrevious->pNext = pNode;
        }
        ++m_nCount;
        return 1;
    }

    // Unlinks the node at nPosition (0 to GetCount() - 1), leaving it to its store; the element's
    // object is left alone. 1 when done, 0 for a position out of range.
    int RemoveAt(int nPosition) {
        if (nPosition < 0 || nPosition >= m_nCount)
            return 0;
        if (nPosition == 0) {
            m_pHead = m_pHead->pNext;
        } else {
            tagNode* pPrevious = nullptr;
            FindNode(nPosition - 1, &pPrevious);
            pPrevious->pNext = pPrevious->pNext->pNext;
        }
        --m_nCount;
        return 1;
    }

    // Walks nPosition steps from the head and stores the node reached (null past the last
    // node). 1 when a node was reached and its element is non-null, else 0. On an empty list
    // nothing is stored.
    int FindNode(int nPosition, tagNode** ppNode) const {
        if (m_pHead == nullptr)
            return 0;
        tagNode* pNode = m_pHead;
        for (int i = 0; i < nPosition && pNode != nullptr; ++i)
            pNode = pNode->pNext;
        if (nPosition < 0)
            pNode = nullptr;
        *ppNode = pNode;
        return pNode != nullptr && pNode->item != T();
    }

    // The first node, for a walk in position order that does not restart at the head for every
    // position (position access alone makes a walk over the whole list quadratic).
    const tagNode* GetHead() const { return m_pHead; }

    // The list's own store, made on first use; null when memory runs out.
    CTreeStore* OwnStore() {
        if (m_pOwnStore.Get() == nullptr)
            m_pOwnStore.Reset(new (std::nothrow) CTreeStore);
        return m_pOwnStore.Get();
    }

private:
    tagNode* m_pHead;
    int m_nCount;
    CTreeOwner<CTreeStore> m_pOwnStore; // the nodes of InsertAt without a store
};
