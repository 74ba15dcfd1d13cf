// The registry tree of a registry-script file: CIniKey (a named key with sub-keys and values)
// and CIniValue (a named value with its text). Text only: nothing here touches the registry.
//
// A tree lives in a CTreeStore (regscript/TreeStore.h): a key keeps its sub-keys, its values,
// their names and texts, the list nodes and its sibling index in its store, and takes only
// sub-keys made in that store and values made in a store. A key or a value made on its own by
// its constructor keeps its copies, and a key its whole tree, in a store of its own.
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
    // terminating NUL to each, into a store of the value's own. No key takes such a value.
    CIniValue(const char* pszName, const char* pText, size_t cbText);
    // The same with the value and its copies in pStore. Null when memory runs out.
    static CIniValue* Create(const char* pszName, const char* pText, size_t cbText,
                             CTreeStore* pStore);
    // A value in pStore whose name and text stay where they are, NUL-terminated, in memory
    // of that store: nothing is copied. Null when memory runs out.
    static CIniValue* Borrow(const char* pszName, size_t cchName, const char* pText, size_t cbText,
                             CTreeStore* pStore);
    // Frees the value's own store, if it has one.
    virtual ~CIniValue() {}

    CIniValue(const CIniValue&) = delete;
    CIniValue& operator=(const CIniValue&) = delete;

    // 0 when the copies could not be allocated; the value then holds nothing.
    int IsValid() const { return m_pData != nullptr; }
    const char* GetName() const { return m_pszName; }
    const char* GetData() const { return m_pData; }
    size_t GetNameLength() const { return m_cchName; }
    size_t GetDataLength() const { return m_cbData; }
    // 1 for a value made by the constructor, in a store of its own.
    int OwnsStore() const { return m_pOwnStore.Get() != nullptr; }

private:
    CIniValue(const char* pszName, size_t cchName, const char* pText, size_t cbText);

    const char* m_pszName; // the name, and after it the text, unless borrowed
    const char* m_pData;
    size_t m_cchName;
    size_t m_cbData;
    CTreeOwner<CTreeStore> m_pOwnStore; // made by the constructor only
};

class CIniKey {
public:
    // Copies the name (one path component, whole, whatever its length). The key keeps the copy
    // and its whole tree in the store of its sub-key list.
    explicit CIniKey(const char* pszName);
    // A key whose sub-keys and values live in pStore, its name left where it is (NUL-terminated
    // and outliving the key): the root of a tree its owner holds, or a key made by Create.
    CIniKey(const char* pszName, CTreeStore* pStore);
    // A new key in pStore, with a copy of its name there. Null when memory runs out.
    static CIniKey* Create(const char* pszName, CTreeStore* pStore);
    // Frees nothing but the key's own store, if it has one: the subtree lives in the store.
    virtual ~CIniKey() {}

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
    // that lives in another store, or a value in a store of its own (see above).
    int AddSubKey(CIniKey* pKey, int nPosition);
    int AddValue(CIniValue* pValue, int nPosition);
    // Where the sub-keys and values live; null only for a key made on its own without memory.
    CTreeStore* GetStore() const { return m_pStore; }
    // Unlinks the sub-key at nPosition. Once the last is gone, the key holds nothing in its
    // store (its index let go of too): its owner may release the store.
    int RemoveSubKey(int nPosition);

    // Walks in position order without restarting at the head for every position.
    const CPubList<CIniKey*>& SubKeys() const { return m_SubKeys; }
    const CPubList<CIniValue*>& Values() const { return m_Values; }

    // The first sub-key, in position order, whose name equals pszName under the platform's
    // comparison, and when there is none a new key of that name added at position 0. Null only
    // when memory runs out. Many siblings are looked up through a hash index, few are walked
    // passing over those whose name hash differs: the hash only narrows the candidates and the
    // comparison decides, so the key found is the one the plain walk from position 0 would give.
    CIniKey* OpenSubKey(const char* pszName, const tagTextPlatform& platform);

private:
    friend class CSubKeyIndex;

    CIniKey* Find(const char* pszName, const tagTextPlatform& platform, int* pbHashed,
                  unsigned* pnHash);
    // The platform's hash of this key's name, made once. 0 when none can be made.
    int NameHash(const tagTextPlatform& platform, unsigned* pnHash);
    CSubKeyIndex* UsableIndex(const tagTextPlatform& platform);

    CPubList<CIniKey*> m_SubKeys;
    CPubList<CIniValue*> m_Values;
    const char* m_pszName;
    CSubKeyIndex* m_pIndex; // built on demand once a key has many sub-keys
    CTreeStore* m_pStore;   // the sub-keys, the values and the index
    unsigned m_nNameHash;   // the platform's hash of this key's name, when m_bNameHashed
    unsigned m_bNameHashed : 1;
    unsigned m_bIndexFailed : 1; // the index could not be built: lookups walk the list
};
