// CKeyPathCache: what the reader remembers of the section line before, so that a script naming
// the same parents again and again costs no lookup for them. Pure code.
#pragma once

#include <stddef.h>
#include <string.h>

#include "common/Array.h"
#include "regscript/IniKey.h"
#include "regscript/TextPlatform.h"

// The previous section line's components and the keys they led to. A script names the same
// parents again and again; a component equal byte for byte to the one before, under the same
// parent, leads to the same key unless a key has been put in front of it since, and any such
// key is checked with the comparison. So the result is always the lookup's own.
class CKeyPathCache {
public:
    CKeyPathCache() {}
    CKeyPathCache(const CKeyPathCache&) = delete;
    CKeyPathCache& operator=(const CKeyPathCache&) = delete;

    // The key the cache gives for the component at nStep under pParent, or null when it
    // cannot tell (the lookup then runs). *pbKept is 1 when that key is the one recorded at
    // nStep, which then stays recorded with the steps after it (a line that repeats the path
    // of the line before reuses every step); 0 when the caller must record what it finds.
    CIniKey* Find(size_t nStep, const CIniKey* pParent, const char* pszToken, size_t cchToken,
                  const tagTextPlatform& platform, int* pbKept) {
        *pbKept = 0;
        if (nStep >= m_steps.Size())
            return nullptr;
        tagStep& step = m_steps[nStep];
        if (step.pParent != pParent || step.cchToken != cchToken ||
            memcmp(m_tokens.Data() + step.nOffset, pszToken, cchToken) != 0)
            return nullptr;
        const int nCount = pParent->GetCount(CIniKey::SUB_KEYS);
        int nNewer = nCount - step.nParentCount;
        if (nNewer < 0)
            return nullptr;
        for (const tagPubListNode<CIniKey*>* pNode = pParent->SubKeys().GetHead();
             nNewer > 0 && pNode != nullptr; pNode = pNode->pNext, --nNewer) {
            if (pNode->item != nullptr &&
                platform.pfnCompareNoCase(platform.pContext, pszToken, pNode->item->GetName()) == 0)
                return pNode->item;
        }
        // The newer sub-keys have been compared: the next lookup starts after them.
        step.nParentCount = nCount;
        *pbKept = 1;
        return step.pKey;
    }

    // Records the key reached at nStep; the steps after it are forgotten. 0 when memory runs
    // out (the cache is then emptied, which only costs lookups).
    int Record(size_t nStep, const CIniKey* pParent, const char* pszToken, size_t cchToken,
               CIniKey* pKey) {
        if (nStep > m_steps.Size())
            return 0;
        const size_t nOffset = nStep < m_steps.Size() ? m_steps[nStep].nOffset : m_tokens.Size();
        m_steps.Truncate(nStep);
        m_tokens.Truncate(nOffset);
        const tagStep step = {pParent, pKey, pParent->GetCount(CIniKey::SUB_KEYS), nOffset,
                              cchToken};
        if (!m_steps.Push(step) || !m_tokens.Append(pszToken, cchToken)) {
            m_steps.Clear();
            m_tokens.Clear();
            return 0;
        }
        return 1;
    }

private:
    struct tagStep {
        const CIniKey* pParent;
        CIniKey* pKey;
        int nParentCount; // the parent's sub-keys when the key was found
        size_t nOffset;   // of the component in m_tokens
        size_t cchToken;
    };

    CArray<char> m_tokens;
    CArray<tagStep> m_steps;
};
