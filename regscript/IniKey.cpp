#include "regscript/IniKey.h"

#include <string.h>

namespace {

// Below this many siblings a walk of the list costs less than hashing the name looked up.
const int INDEX_MIN_SUBKEYS = 8;

size_t NameLength(const char* pszName) {
    return pszName != nullptr ? strlen(pszName) : 0;
}

// Copies cb bytes from p and a NUL after them into pCopy (cb + 1 bytes).
char* CopyText(char* pCopy, const char* p, size_t cb) {
    if (cb > 0)
        memcpy(pCopy, p, cb);
    pCopy[cb] = '\0';
    return pCopy;
}

// Copies of cchName bytes of the name and, when pText is not null, of cbText bytes of text after
// it, each with a NUL, in one block of pStore. Null when memory runs out.
char* CopyToStore(CTreeStore* pStore, const char* pszName, size_t cchName, const char* pText,
                  size_t cbText) {
    const size_t HALF_SIZE = static_cast<size_t>(-1) / 2;
    if (pStore == nullptr || cchName >= HALF_SIZE / 2 || cbText >= HALF_SIZE / 2)
        return nullptr;
    char* pCopy =
        static_cast<char*>(pStore->Allocate(cchName + 1 + (pText != nullptr ? cbText + 1 : 0)));
    if (pCopy != nullptr && pText != nullptr)
        CopyText(pCopy + cchName + 1, pText, cbText);
    return pCopy != nullptr ? CopyText(pCopy, pszName, cchName) : nullptr;
}

} // namespace

// Hash index over one key's sub-keys. Entries are numbered from the highest position (oldest)
// to position 0 (newest), and every bucket chain runs from the highest number down, that is in
// position order: the first entry of a chain that the comparison accepts is the first equal
// sub-key in position order, exactly what the walk from position 0 finds. Keys whose names the
// comparison finds equal have equal hashes (the platform's promise), so no candidate is missed.
//
// The index lives in its key's store: each growth leaves the arrays it outgrew there (at most as
// much again as the last ones).
class CSubKeyIndex {
public:
    explicit CSubKeyIndex(CTreeStore* pStore)
        : m_pEntries(nullptr), m_nEntries(0), m_nCapacity(0), m_pnBuckets(nullptr),
          m_nBucketMask(0), m_bStale(1), m_pStore(pStore) {}
    CSubKeyIndex(const CSubKeyIndex&) = delete;
    CSubKeyIndex& operator=(const CSubKeyIndex&) = delete;

    int IsStale() const { return m_bStale; }
    void MarkStale() { m_bStale = 1; }

    // Rebuilds the index from the list. 0 when a name cannot be hashed or memory runs out.
    int Rebuild(const CPubList<CIniKey*>& subKeys, const tagTextPlatform& platform) {
        int nKeys = 0;
        for (const tagPubListNode<CIniKey*>* pNode = subKeys.GetHead(); pNode != nullptr;
             pNode = pNode->pNext) {
            CIniKey* pKey = pNode->item;
            if (pKey == nullptr)
                continue; // a null element is never found
            unsigned nHash = 0;
            if (!pKey->NameHash(platform, &nHash))
                return 0;
            ++nKeys;
        }
        m_nEntries = 0;
        if (!Reserve(nKeys))
            return 0;
        int nEntry = nKeys;
        for (const tagPubListNode<CIniKey*>* pNode = subKeys.GetHead(); pNode != nullptr;
             pNode = pNode->pNext) {
            if (pNode->item == nullptr)
                continue;
            --nEntry;
            m_pEntries[nEntry].pKey = pNode->item;
            m_pEntries[nEntry].nHash = pNode->item->m_nNameHash;
        }
        m_nEntries = nKeys;
        Relink();
        m_bStale = 0;
        return 1;
    }

    // Records a key just inserted at position 0. 0 when memory runs out.
    int AddNewest(CIniKey* pKey) {
        if (!Reserve(m_nEntries + 1))
            return 0;
        tagEntry& entry = m_pEntries[m_nEntries];
        entry.pKey = pKey;
        entry.nHash = pKey->m_nNameHash;
        const unsigned nBucket = entry.nHash & m_nBucketMask;
        entry.nNext = m_pnBuckets[nBucket];
        m_pnBuckets[nBucket] = m_nEntries;
        ++m_nEntries;
        return 1;
    }

    CIniKey* Find(const char* pszName, unsigned nHash, const tagTextPlatform& platform) const {
        if (m_nEntries == 0)
            return nullptr;
        for (int i = m_pnBuckets[nHash & m_nBucketMask]; i >= 0; i = m_pEntries[i].nNext) {
            const tagEntry& entry = m_pEntries[i];
            if (entry.nHash == nHash &&
                platform.pfnCompareNoCase(platform.pContext, pszName, entry.pKey->GetName()) == 0)
                return entry.pKey;
        }
        return nullptr;
    }

private:
    struct tagEntry {
        CIniKey* pKey;
        unsigned nHash;
        int nNext; // next entry of the bucket chain, -1 at its end
    };

    // Makes room for nEntries entries, one bucket per entry.
    int Reserve(int nEntries) {
        if (nEntries <= m_nCapacity && m_pnBuckets != nullptr)
            return 1;
        int nCapacity = m_nCapacity > 0 ? m_nCapacity : 16;
        while (nCapacity < nEntries) {
            if (nCapacity > (1 << 28))
                return 0;
            nCapacity *= 2;
        }
        tagEntry* pEntries = static_cast<tagEntry*>(m_pStore->AllocateFor<tagEntry>(nCapacity));
        int* pnBuckets = static_cast<int*>(m_pStore->AllocateFor<int>(nCapacity));
        if (pEntries == nullptr || pnBuckets == nullptr)
            return 0;
        if (m_nEntries > 0)
            memcpy(pEntries, m_pEntries, sizeof(tagEntry) * m_nEntries);
        m_pEntries = pEntries;
        m_pnBuckets = pnBuckets;
        m_nCapacity = nCapacity;
        m_nBucketMask = static_cast<unsigned>(nCapacity) - 1;
        Relink();
        return 1;
    }

    // Threads every entry into its chain, lower numbers first, so each chain ends up running
    // from its highest number down.
    void Relink() {
        for (unsigned i = 0; i <= m_nBucketMask; ++i)
            m_pnBuckets[i] = -1;
        for (int i = 0; i < m_nEntries; ++i) {
            const unsigned nBucket = m_pEntries[i].nHash & m_nBucketMask;
            m_pEntries[i].nNext = m_pnBuckets[nBucket];
            m_pnBuckets[nBucket] = i;
        }
    }

    tagEntry* m_pEntries;
    int m_nEntries;
    int m_nCapacity;
    int* m_pnBuckets;
    unsigned m_nBucketMask;
    int m_bStale;
    CTreeStore* m_pStore; // where the arrays live
};

CIniValue::CIniValue(const char* pszName, const char* pText, size_t cbText)
    : m_pszName(""), m_pData(nullptr), m_cchName(0), m_cbData(0),
      m_pOwnStore(new (std::nothrow) CTreeStore) {
    const size_t cchName = NameLength(pszName);
    const char* pCopy = CopyToStore(m_pOwnStore.Get(), pszName, cchName, pText, cbText);
    if (pCopy == nullptr)
        return;
    m_pszName = pCopy;
    m_pData = pCopy + cchName + 1;
    m_cchName = cchName;
    m_cbData = cbText;
}

CIniValue::CIniValue(const char* pszName, size_t cchName, const char* pText, size_t cbText)
    : m_pszName(pszName), m_pData(pText), m_cchName(cchName), m_cbData(cbText) {}

CIniValue* CIniValue::Create(const char* pszName, const char* pText, size_t cbText,
                             CTreeStore* pStore) {
    const size_t cchName = NameLength(pszName);
    const char* pCopy = CopyToStore(pStore, pszName, cchName, pText, cbText);
    return pCopy != nullptr ? Borrow(pCopy, cchName, pCopy + cchName + 1, cbText, pStore) : nullptr;
}

CIniValue* CIniValue::Borrow(const char* pszName, size_t cchName, const char* pText, size_t cbText,
                             CTreeStore* pStore) {
    void* pMemory = pStore != nullptr ? pStore->AllocateFor<CIniValue>() : nullptr;
    return pMemory != nullptr ? ::new (pMemory) CIniValue(pszName, cchName, pText, cbText)
                              : nullptr;
}

CIniKey::CIniKey(const char* pszName)
    : m_pszName(nullptr), m_pIndex(nullptr), m_pStore(m_SubKeys.OwnStore()), m_nNameHash(0),
      m_bNameHashed(0), m_bIndexFailed(0) {
    m_pszName = CopyToStore(m_pStore, pszName, NameLength(pszName), nullptr, 0);
}

CIniKey::CIniKey(const char* pszName, CTreeStore* pStore)
    : m_pszName(pszName), m_pIndex(nullptr), m_pStore(pStore), m_nNameHash(0), m_bNameHashed(0),
      m_bIndexFailed(0) {}

CIniKey* CIniKey::Create(const char* pszName, CTreeStore* pStore) {
    const char* pszCopy = CopyToStore(pStore, pszName, NameLength(pszName), nullptr, 0);
    void* pMemory = pszCopy != nullptr ? pStore->AllocateFor<CIniKey>() : nullptr;
    return pMemory != nullptr ? ::new (pMemory) CIniKey(pszCopy, pStore) : nullptr;
}

int CIniKey::GetCount(int bKeys) const {
    return bKeys ? m_SubKeys.GetCount() : m_Values.GetCount();
}

int CIniKey::AddSubKey(CIniKey* pKey, int nPosition) {
    if (pKey != nullptr && pKey->m_pStore != m_pStore)
        return 0; // its memory would be freed with the wrong tree
    if (!m_SubKeys.InsertAt(pKey, nPosition, m_pStore))
        return 0;
    if (m_pIndex != nullptr && !m_pIndex->IsStale()) {
        if (nPosition != 0 || (pKey != nullptr && !pKey->m_bNameHashed))
            m_pIndex->MarkStale(); // rebuilt on the next lookup
        else if (pKey != nullptr && !m_pIndex->AddNewest(pKey))
            m_pIndex->MarkStale();
    }
    return 1;
}

int CIniKey::AddValue(CIniValue* pValue, int nPosition) {
    if (pValue != nullptr && pValue->OwnsStore())
        return 0; // its memory would go with the value, not with the tree
    return m_Values.InsertAt(pValue, nPosition, m_pStore);
}

int CIniKey::RemoveSubKey(int nPosition) {
    if (!m_SubKeys.RemoveAt(nPosition))
        return 0;
    if (m_SubKeys.GetCount() == 0)
        m_pIndex = nullptr; // left in the store, which the key's owner may now release
    else if (m_pIndex != nullptr)
        m_pIndex->MarkStale();
    return 1;
}

CSubKeyIndex* CIniKey::UsableIndex(const tagTextPlatform& platform) {
    if (m_bIndexFailed)
        return nullptr;
    if (m_pIndex == nullptr) {
        void* pMemory = m_pStore != nullptr ? m_pStore->AllocateFor<CSubKeyIndex>() : nullptr;
        m_pIndex = pMemory != nullptr ? ::new (pMemory) CSubKeyIndex(m_pStore) : nullptr;
    }
    if (m_pIndex != nullptr && m_pIndex->IsStale() && !m_pIndex->Rebuild(m_SubKeys, platform))
        m_pIndex = nullptr; // left in the store
    if (m_pIndex == nullptr)
        m_bIndexFailed = 1;
    return m_pIndex;
}

int CIniKey::NameHash(const tagTextPlatform& platform, unsigned* pnHash) {
    if (!m_bNameHashed) {
        if (platform.pfnNameHash == nullptr ||
            !platform.pfnNameHash(platform.pContext, GetName(), &m_nNameHash))
            return 0;
        m_bNameHashed = 1;
    }
    *pnHash = m_nNameHash;
    return 1;
}

CIniKey* CIniKey::Find(const char* pszName, const tagTextPlatform& platform, int* pbHashed,
                       unsigned* pnHash) {
    *pbHashed = 0;
    if (m_SubKeys.GetCount() == 0)
        return nullptr;
    if (platform.pfnNameHash != nullptr && platform.pfnNameHash(platform.pContext, pszName, pnHash))
        *pbHashed = 1;
    if (*pbHashed && m_SubKeys.GetCount() >= INDEX_MIN_SUBKEYS && !m_bIndexFailed) {
        CSubKeyIndex* pIndex = UsableIndex(platform);
        if (pIndex != nullptr)
            return pIndex->Find(pszName, *pnHash, platform);
    }
    // The walk passes over a sub-key whose name hashes otherwise without comparing: names the
    // comparison finds equal hash alike, and a hash costs far less than the comparison.
    for (const tagPubListNode<CIniKey*>* pNode = m_SubKeys.GetHead(); pNode != nullptr;
         pNode = pNode->pNext) {
        CIniKey* pKey = pNode->item;
        unsigned nHash = 0;
        if (pKey == nullptr || (*pbHashed && pKey->NameHash(platform, &nHash) && nHash != *pnHash))
            continue;
        if (platform.pfnCompareNoCase(platform.pContext, pszName, pKey->GetName()) == 0)
            return pKey;
    }
    return nullptr;
}

CIniKey* CIniKey::OpenSubKey(const char* pszName, const tagTextPlatform& platform) {
    int bHashed = 0;
    unsigned nHash = 0;
    CIniKey* pKey = Find(pszName, platform, &bHashed, &nHash);
    if (pKey != nullptr)
        return pKey;
    pKey = Create(pszName, m_pStore);
    if (pKey == nullptr)
        return nullptr;
    // The name's hash is already known: the index takes the new key without hashing again.
    pKey->m_nNameHash = nHash;
    pKey->m_bNameHashed = bHashed;
    return AddSubKey(pKey, 0) ? pKey : nullptr; // a key not linked in stays in the store
}
