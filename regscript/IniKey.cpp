#include "regscript/IniKey.h"

#include <string.h>

namespace {

// Below this many siblings a walk of the list costs less than hashing the name looked up.
const int INDEX_MIN_SUBKEYS = 8;

// A copy of the name in pBlock (cch + 1 bytes), or in a new heap block when pBlock is null.
char* CopyName(const char* pszName, size_t cch, char* pBlock) {
    char* pszCopy = pBlock != nullptr ? pBlock : new (std::nothrow) char[cch + 1];
    if (pszCopy != nullptr) {
        if (cch > 0)
            memcpy(pszCopy, pszName, cch);
        pszCopy[cch] = '\0';
    }
    return pszCopy;
}

size_t NameLength(const char* pszName) {
    return pszName != nullptr ? strlen(pszName) : 0;
}

// Copies name and text, each with its NUL, into pBlock.
void FillBlock(char* pBlock, const char* pszName, size_t cchName, const char* pText,
               size_t cbText) {
    CopyName(pszName, cchName, pBlock);
    CopyName(pText, cbText, pBlock + cchName + 1);
}

const size_t HALF_SIZE = static_cast<size_t>(-1) / 2;

} // namespace

// Hash index over one key's sub-keys. Entries are numbered from the highest position (oldest)
// to position 0 (newest), and every bucket chain runs from the highest number down, that is in
// position order: the first entry of a chain that the comparison accepts is the first equal
// sub-key in position order, exactly what the walk from position 0 finds. Keys whose names the
// comparison finds equal have equal hashes (the platform's promise), so no candidate is missed.
//
// The index of a key in a store lives in that store: each growth leaves the arrays it
// outgrew there (at most as much again as the last ones).
class CSubKeyIndex {
public:
    explicit CSubKeyIndex(CTreeStore* pStore)
        : m_pEntries(nullptr), m_nEntries(0), m_nCapacity(0), m_pnBuckets(nullptr),
          m_nBucketMask(0), m_bStale(1), m_pStore(pStore) {}
    ~CSubKeyIndex() { FreeArrays(); }
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
        tagEntry* pEntries = nullptr;
        int* pnBuckets = nullptr;
        if (m_pStore != nullptr) {
            pEntries = static_cast<tagEntry*>(m_pStore->Allocate(sizeof(tagEntry) * nCapacity));
            pnBuckets = static_cast<int*>(m_pStore->Allocate(sizeof(int) * nCapacity));
            if (pEntries == nullptr || pnBuckets == nullptr)
                return 0;
        } else {
            pEntries = new (std::nothrow) tagEntry[nCapacity];
            pnBuckets = new (std::nothrow) int[nCapacity];
            if (pEntries == nullptr || pnBuckets == nullptr) {
                delete[] pEntries;
                delete[] pnBuckets;
                return 0;
            }
        }
        if (m_nEntries > 0)
            memcpy(pEntries, m_pEntries, sizeof(tagEntry) * m_nEntries);
        FreeArrays();
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

    void FreeArrays() {
        if (m_pStore == nullptr) {
            delete[] m_pEntries;
            delete[] m_pnBuckets;
        }
    }

    tagEntry* m_pEntries;
    int m_nEntries;
    int m_nCapacity;
    int* m_pnBuckets;
    unsigned m_nBucketMask;
    int m_bStale;
    CTreeStore* m_pStore; // where the arrays live; null: on the heap
};

CIniValue::CIniValue(const char* pszName, const char* pText, size_t cbText)
    : m_pszName(nullptr), m_pData(nullptr), m_cchName(0), m_cbData(0), m_nStorage(OWN_BLOCK) {
    static char s_szEmpty[1] = "";
    const size_t cchName = NameLength(pszName);
    char* pBlock = nullptr;
    if (cchName < HALF_SIZE / 2 && cbText < HALF_SIZE / 2)
        pBlock = new (std::nothrow) char[cchName + 1 + cbText + 1];
    if (pBlock == nullptr) {
        m_pszName = s_szEmpty;
        return;
    }
    FillBlock(pBlock, pszName, cchName, pText, cbText);
    m_pszName = pBlock;
    m_pData = pBlock + cchName + 1;
    m_cchName = cchName;
    m_cbData = cbText;
}

CIniValue::CIniValue(const char* pszName, size_t cchName, const char* pText, size_t cbText)
    : m_pszName(reinterpret_cast<char*>(this + 1)), m_pData(m_pszName + cchName + 1),
      m_cchName(cchName), m_cbData(cbText), m_nStorage(IN_STORE) {
    FillBlock(m_pszName, pszName, cchName, pText, cbText);
}

CIniValue* CIniValue::Create(const char* pszName, const char* pText, size_t cbText,
                             CTreeStore* pStore) {
    const size_t cchName = NameLength(pszName);
    if (cchName >= HALF_SIZE / 2 || cbText >= HALF_SIZE / 2)
        return nullptr;
    if (pStore == nullptr) {
        CIniValue* pValue = new (std::nothrow) CIniValue(pszName, pText, cbText);
        if (pValue == nullptr || pValue->IsValid())
            return pValue;
        delete pValue;
        return nullptr;
    }
    void* pBlock = pStore->Allocate(sizeof(CIniValue) + cchName + 1 + cbText + 1);
    return pBlock != nullptr ? ::new (pBlock) CIniValue(pszName, cchName, pText, cbText) : nullptr;
}

CIniValue::CIniValue(char* pszName, size_t cchName, char* pText, size_t cbText, tagBorrowed)
    : m_pszName(pszName), m_pData(pText), m_cchName(cchName), m_cbData(cbText),
      m_nStorage(IN_STORE) {}

CIniValue* CIniValue::Borrow(char* pszName, size_t cchName, char* pText, size_t cbText,
                             CTreeStore* pStore) {
    void* pBlock = pStore != nullptr ? pStore->Allocate(sizeof(CIniValue)) : nullptr;
    return pBlock != nullptr ? ::new (pBlock)
                                   CIniValue(pszName, cchName, pText, cbText, tagBorrowed())
                             : nullptr;
}

void CIniValue::Destroy(CIniValue* pValue) {
    if (pValue != nullptr && pValue->IsInStore())
        pValue->~CIniValue(); // the store gives the memory back
    else
        delete pValue;
}

CIniValue::~CIniValue() {
    if (m_nStorage == OWN_BLOCK && m_pData != nullptr)
        delete[] m_pszName; // the block that holds the name and the text
    m_pData = nullptr;
    m_pszName = nullptr;
}

CIniKey::CIniKey(const char* pszName)
    : m_pszName(CopyName(pszName, NameLength(pszName), nullptr)), m_pIndex(nullptr),
      m_bIndexFailed(0), m_nNameHash(0), m_bNameHashed(0), m_bInStore(0) {}

CIniKey::CIniKey(const char* pszName, CTreeStore* pStore)
    : m_SubKeys(pStore), m_Values(pStore),
      m_pszName(CopyName(pszName, NameLength(pszName), nullptr)), m_pIndex(nullptr),
      m_bIndexFailed(0), m_nNameHash(0), m_bNameHashed(0), m_bInStore(0) {}

CIniKey::CIniKey(char* pszName, CTreeStore* pStore, tagInStore)
    : m_SubKeys(pStore), m_Values(pStore), m_pszName(pszName), m_pIndex(nullptr), m_bIndexFailed(0),
      m_nNameHash(0), m_bNameHashed(0), m_bInStore(1) {}

CIniKey* CIniKey::Create(const char* pszName, CTreeStore* pStore) {
    if (pStore == nullptr)
        return new (std::nothrow) CIniKey(pszName);
    const size_t cch = NameLength(pszName);
    if (cch >= HALF_SIZE / 2)
        return nullptr;
    char* pBlock = static_cast<char*>(pStore->Allocate(sizeof(CIniKey) + cch + 1));
    if (pBlock == nullptr)
        return nullptr;
    char* pszCopy = CopyName(pszName, cch, pBlock + sizeof(CIniKey));
    return ::new (pBlock) CIniKey(pszCopy, pStore, tagInStore());
}

void CIniKey::Destroy(CIniKey* pKey) {
    if (pKey != nullptr && pKey->m_bInStore)
        pKey->~CIniKey(); // the store gives the memory back
    else
        delete pKey;
}

CIniKey::~CIniKey() {
    if (GetStore() != nullptr) {
        // The values, the sub-keys with their subtrees and the nodes live in the store, and so
        // do this key's name and index when the key itself does: the store frees them all.
        if (!m_bInStore) {
            delete m_pIndex;
            delete[] m_pszName;
        }
        return;
    }
    // Removing from the front keeps this linear; the order of deletion is not observable.
    while (m_Values.GetCount() > 0) {
        delete m_Values.GetAt(0);
        m_Values.RemoveAt(0);
    }
    // Each sub-key first hands its own sub-keys over to this list, so that its destructor has
    // no subtree left to recurse into: a path of many thousand components cannot exhaust the
    // stack.
    while (m_SubKeys.GetCount() > 0) {
        CIniKey* pKey = m_SubKeys.GetAt(0);
        m_SubKeys.RemoveAt(0);
        if (pKey == nullptr)
            continue;
        while (pKey->m_SubKeys.MoveFrontTo(m_SubKeys)) {
        }
        delete pKey;
    }
    delete m_pIndex;
    delete[] m_pszName;
}

int CIniKey::GetCount(int bKeys) const {
    return bKeys ? m_SubKeys.GetCount() : m_Values.GetCount();
}

int CIniKey::AddSubKey(CIniKey* pKey, int nPosition) {
    if (pKey != nullptr && (pKey->m_bInStore ? pKey->GetStore() : nullptr) != GetStore())
        return 0; // its memory would be freed with the wrong tree, or never
    if (!m_SubKeys.InsertAt(pKey, nPosition))
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
    if (pValue != nullptr && pValue->IsInStore() != (GetStore() != nullptr))
        return 0;
    return m_Values.InsertAt(pValue, nPosition);
}

int CIniKey::RemoveSubKey(int nPosition) {
    if (!m_SubKeys.RemoveAt(nPosition))
        return 0;
    if (m_pIndex != nullptr)
        m_pIndex->MarkStale();
    return 1;
}

CSubKeyIndex* CIniKey::UsableIndex(const tagTextPlatform& platform) {
    if (m_bIndexFailed)
        return nullptr;
    // The index lives where the key does: a key in a store is never deleted one by one.
    CTreeStore* pStore = m_bInStore ? GetStore() : nullptr;
    if (m_pIndex == nullptr && pStore == nullptr) {
        m_pIndex = new (std::nothrow) CSubKeyIndex(nullptr);
    } else if (m_pIndex == nullptr) {
        void* pMemory = pStore->Allocate(sizeof(CSubKeyIndex));
        m_pIndex = pMemory != nullptr ? ::new (pMemory) CSubKeyIndex(pStore) : nullptr;
    }
    if (m_pIndex != nullptr && m_pIndex->IsStale() && !m_pIndex->Rebuild(m_SubKeys, platform)) {
        if (pStore != nullptr)
            m_pIndex->~CSubKeyIndex();
        else
            delete m_pIndex;
        m_pIndex = nullptr;
    }
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

CIniKey* CIniKey::FindSubKey(const char* pszName, const tagTextPlatform& platform) {
    int bHashed = 0;
    unsigned nHash = 0;
    return Find(pszName, platform, &bHashed, &nHash);
}

CIniKey* CIniKey::OpenSubKey(const char* pszName, const tagTextPlatform& platform) {
    int bHashed = 0;
    unsigned nHash = 0;
    CIniKey* pKey = Find(pszName, platform, &bHashed, &nHash);
    if (pKey != nullptr)
        return pKey;
    pKey = Create(pszName, GetStore());
    if (pKey == nullptr || !pKey->IsValid()) {
        Destroy(pKey);
        return nullptr;
    }
    // The name's hash is already known: the index takes the new key without hashing again.
    pKey->m_nNameHash = nHash;
    pKey->m_bNameHashed = bHashed;
    if (!AddSubKey(pKey, 0)) {
        Destroy(pKey);
        return nullptr;
    }
    return pKey;
}
