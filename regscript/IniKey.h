// The registry tree of a registry-script file: CIniKey (a named key with sub-keys and values)
// and CIniValue (a named value with its text). Text only: nothing here touches the registry.
//
// A tree is built either on the heap, object by object, or in a CTreeStore (as CIniFile builds
// its tree): a key made in a store keeps its name, its sub-keys, its values and their nodes in
// that store, and deleting it frees nothing; the store gives everything back at once. One tree
// never mixes the two: a key takes only sub-keys and values that live where its own do.
//
// Pure code: no Win32 header. Name comparison comes in through tagTextPlatform.
#pragma once

#include <stddef.h>

#include <new>

#include "regscript/PubList.h"
#include "regscript/TextPlatform.h"

class CSubKeyIndex;

class CIniValue {
public:
    // Copies the name (whole, whatever its length) and cbText bytes of text, adding a
    // terminating NUL to each.
    CIniValue(const char* pszName, const char* pText, size_t cbText);
    // The same, in pStore with the copies after the value (with the constructor above when
    // pStore is null). Null when memory runs out.
    static CIniValue* Create(const char* pszName, const char* pText, size_t cbText,
                             CTreeStore* pStore = nullptr);
    // A value in pStore whose name and text stay where they are, NUL-terminated, in memory
    // of that store: nothing is copied. Null when memory runs out.
    static CIniValue* Borrow(char* pszName, size_t cchName, char* pText, size_t cbText,
                             CTreeStore* pStore);
    // Deletes a value made by either constructor, by Create or by Borrow (in a store: destroys
    // it only).
    static void Destroy(CIniValue* pValue);
    virtual ~CIniValue();

    CIniValue(const CIniValue&) = delete;
    CIniValue& operator=(const CIniValue&) = delete;

    // 0 when the copies could not be allocated; the value then holds nothing.
    int IsValid() const { return m_pData != nullptr; }
    const char* GetName() const { return m_pszName; }
    const char* GetData() const { return m_pData; }
    size_t GetNameLength() const { return m_cchName; }
    size_t GetDataLength() const { return m_cbData; }
    int IsInStore() const { return m_nStorage == IN_STORE; }

private:
    enum { OWN_BLOCK, IN_STORE }; // where the name and the text are
    struct tagBorrowed {};
    // In a store, the copies right after the value.
    CIniValue(const char* pszName, size_t cchName, const char* pText, size_t cbText);
    CIniValue(char* pszName, size_t cchName, char* pText, size_t cbText, tagBorrowed);

    char* m_pszName; // name and text share one heap block, the name first
    char* m_pData;
    size_t m_cchName;
    size_t m_cbData;
    int m_nStorage; // where the name and the text are: only an OWN_BLOCK is freed with the value
};

class CIniKey {
public:
    // Copies the name (one path component, whole, whatever its length).
    explicit CIniKey(const char* pszName);
    // A key (held by its owner) whose sub-keys and values live in pStore: the root of a tree
    // built in a store.
    CIniKey(const char* pszName, CTreeStore* pStore);
    // A new key in pStore, its name with it; on the heap when pStore is null. Null when memory
    // runs out.
    static CIniKey* Create(const char* pszName, CTreeStore* pStore);
    // Deletes a key made by new or by Create (in a store: destroys it only).
    static void Destroy(CIniKey* pKey);
    // Deletes the values and the whole subtree. A deep tree is taken apart without recursion.
    // A subtree in a store is left to the store.
    virtual ~CIniKey();

    CIniKey(const CIniKey&) = delete;
    CIniKey& operator=(const CIniKey&) = delete;

    // 0 when the name could not be copied.
    int IsValid() const { return m_pszName != nullptr; }
    const char* GetName() const { return m_pszName != nullptr ? m_pszName : ""; }

    // Number of sub-keys when bKeys is SUB_KEYS (nonzero), of values when it is VALUES (zero).
    enum { VALUES = 0, SUB_KEYS = 1 };
    int GetCount(int bKeys) const;
    CIniKey* GetSubKey(int nPosition) const { return m_SubKeys.GetAt(nPosition); }
    CIniValue* GetValue(int nPosition) const { return m_Values.GetAt(nPosition); }
    // Every caller in the product passes position 0: the newest stands first. 0 also for a key
    // or value that lives elsewhere than this key's sub-keys and values (see above).
    int AddSubKey(CIniKey* pKey, int nPosition);
    int AddValue(CIniValue* pValue, int nPosition);
    // Where the sub-keys and values live: a store, or null for the heap.
    CTreeStore* GetStore() const { return m_SubKeys.GetStore(); }
    // Unlinks the sub-key at nPosition; the caller has deleted it before.
    int RemoveSubKey(int nPosition);

    // Walks in position order without restarting at the head for every position.
    const CPubList<CIniKey*>& SubKeys() const { return m_SubKeys; }
    const CPubList<CIniValue*>& Values() const { return m_Values; }

    // The first sub-key, in position order, whose name equals pszName under the platform's
    // comparison; null when there is none. Many siblings are looked up through a hash index,
    // few are walked passing over those whose name hash differs: the hash only narrows the
    // candidates and the comparison decides, so the result is the one the plain walk from
    // position 0 would give.
    CIniKey* FindSubKey(const char* pszName, const tagTextPlatform& platform);
    // FindSubKey, and when nothing is found a new key of that name added at position 0. Null
    // only when memory runs out.
    CIniKey* OpenSubKey(const char* pszName, const tagTextPlatform& platform);

private:
    friend class CSubKeyIndex;
    struct tagInStore {};
    CIniKey(char* pszName, CTreeStore* pStore, tagInStore);

    CIniKey* Find(const char* pszName, const tagTextPlatform& platform, int* pbHashed,
                  unsigned* pnHash);
    // The platform's hash of this key's name, made once. 0 when none can be made.
    int NameHash(const tagTextPlatform& platform, unsigned* pnHash);
    CSubKeyIndex* UsableIndex(const tagTextPlatform& platform);

    CPubList<CIniKey*> m_SubKeys;
    CPubList<CIniValue*> m_Values;
    char* m_pszName;
    CSubKeyIndex* m_pIndex; // built on demand once a key has many sub-keys
    int m_bIndexFailed;     // the index could not be built: lookups walk the list
    unsigned m_nNameHash;   // the platform's hash of this key's name, when m_bNameHashed
    int m_bNameHashed;
    int m_bInStore; // the key itself, its name and its index live in GetStore()
};
