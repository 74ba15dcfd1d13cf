// CPubList: the registry tree's own singly linked list of pointers, reached by position.
//
// Pure code: no Win32 header, so the registry-script reader can be built natively and fuzzed.
// Every owner in the tree inserts at position 0, so a list holds its elements newest first; the
// writer's output order depends on that. The list never deletes the objects its elements point
// to: their owner does, before it removes the element.
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

    CPubList() : m_pHead(nullptr), m_nCount(0), m_pStore(nullptr) {}
    // A list whose nodes live in pStore: they are given back with the store, never one by one.
    explicit CPubList(CTreeStore* pStore) : m_pHead(nullptr), m_nCount(0), m_pStore(pStore) {}

    // Frees the nodes still linked (never the objects they point to).
    virtual ~CPubList() {
        while (m_pHead != nullptr) {
            tagNode* pNext = m_pHead->pNext;
            FreeNode(m_pHead);
            m_pHead = pNext;
        }
        m_nCount = 0;
    }

    CPubList(const CPubList&) = delete;
    CPubList& operator=(const CPubList&) = delete;

    int GetCount() const { return m_nCount; }

    // The element at nPosition, or null when there is none.
    T GetAt(int nPosition) const {
        tagNode* pNode = nullptr;
        FindNode(nPosition, &pNode);
        return pNode != nullptr ? pNode->item : T();
    }

    // Links item in at nPosition (0 to GetCount()). 1 when done; 0 for a position out of range
    // or when no node can be had, and the list is then unchanged.
    int InsertAt(T item, int nPosition) {
        if (nPosition < 0 || nPosition > m_nCount)
            return 0;
        tagNode* pNode = m_pStore != nullptr
                             ? static_cast<tagNode*>(m_pStore->Allocate(sizeof(tagNode)))
                             : new (std::nothrow) tagNode;
        if (pNode == nullptr)
            return 0;
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

    // Unlinks and frees the node at nPosition (0 to GetCount() - 1); the element's object is
    // left alone. 1 when done, 0 for a position out of range.
    int RemoveAt(int nPosition) {
        if (nPosition < 0 || nPosition >= m_nCount)
            return 0;
        tagNode* pNode = nullptr;
        if (nPosition == 0) {
            pNode = m_pHead;
            m_pHead = pNode->pNext;
        } else {
            tagNode* pPrevious = nullptr;
            FindNode(nPosition - 1, &pPrevious);
            pNode = pPrevious->pNext;
            pPrevious->pNext = pNode->pNext;
        }
        --m_nCount;
        FreeNode(pNode);
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

    // Moves the first node, element and all, to the front of target without allocating (so
    // that taking a tree apart cannot fail). 0 when this list is empty, or when the two lists
    // keep their nodes in different places.
    int MoveFrontTo(CPubList& target) {
        tagNode* pNode = m_pHead;
        if (pNode == nullptr || &target == this || target.m_pStore != m_pStore)
            return 0;
        m_pHead = pNode->pNext;
        --m_nCount;
        pNode->pNext = target.m_pHead;
        target.m_pHead = pNode;
        ++target.m_nCount;
        return 1;
    }

    CTreeStore* GetStore() const { return m_pStore; }

private:
    void FreeNode(tagNode* pNode) {
        if (m_pStore == nullptr)
            delete pNode;
    }

    tagNode* m_pHead;
    int m_nCount;
    CTreeStore* m_pStore; // where the nodes live; null: each on the heap
};
