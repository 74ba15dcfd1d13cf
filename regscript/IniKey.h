// The registry tree of a registry-script file: CIniKey (a named key with sub-keys and values)
// and CIniValue (a named value with its text). Text only: nothing here touches the registry.
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
    // The same, with the copies in the value's own heap block: one allocation instead of
    // two for each of the many values of a script. Null when memory runs out.
    static CIniValue* Create(const char* pszName, const char* pText, size_t cbText);
    virtual ~CIniValue();

    CIniValue(const CIniValue&) = delete;
    CIniValue& operator=(const CIniValue&) = delete;

    // Values live on the heap through these (or on the stack); the product does not throw.
    static void* operator new(size_t cb, const std::nothrow_t&) noexcept;
    static void operator delete(void* p) noexcept;

    // 0 when the copies could not be allocated; the value then holds nothing.
    int IsValid() const { return m_pData != nullptr; }
    const char* GetName() const { return m_pszName; }
    const char* GetData() const { return m_pData; }
    size_t GetNameLength() const { return m_cchName; }
    size_t GetDataLength() const { return m_cbData; }

private:
    struct tagInBlock {};
    CIniValue(const char* pszName, size_t cchName, const char* pText, size_t cbText, tagInBlock);
    static void* operator new(size_t cb, size_t cbExtra, const std::nothrow_t&) noexcept;
    static void operator delete(void* p, size_t cbExtra, const std::nothrow_t&) noexcept;
    static void operator delete(void* p, const std::nothrow_t&) noexcept;

    char* m_pszName; // name and text share one heap block, the name first
    char* m_pData;
    size_t m_cchName;
    size_t m_cbData;
    int m_bOwnBlock; // 1 when the block is separate from the value and freed with it
};

class CIniKey {
public:
    // Copies the name (one path component, whole, whatever its length).
    explicit CIniKey(const char* pszName);
    // Deletes the values and the whole subtree. A deep tree is taken apart without recursion.
    virtual ~CIniKey();

    CIniKey(const CIniKey&) = delete;
    CIniKey& operator=(const CIniKey&) = delete;

    // 0 when the name could not be copied.
    int IsValid() const { return m_pszName != nullptr; }
    const char* GetName() const { return m_pszName != nullptr ? m_pszName : ""; }

    // Number of sub-keys when bKeys is nonzero, of values when it is zero.
    int GetCount(int bKeys) const;
    CIniKey* GetSubKey(int nPosition) const { return m_SubKeys.GetAt(nPosition); }
    CIniValue* GetValue(int nPosition) const { return m_Values.GetAt(nPosition); }
    // Every caller in the product passes position 0: the newest stands first.
    int AddSubKey(CIniKey* pKey, int nPosition);
    int AddValue(CIniValue* pValue, int nPosition) { return m_Values.InsertAt(pValue, nPosition); }
    // Unlinks the sub-key at nPosition; the caller has deleted it before.
    int RemoveSubKey(int nPosition);

    // Walks in position order without restarting at the head for every position.
    const CPubList<CIniKey*>& SubKeys() const { return m_SubKeys; }
    const CPubList<CIniValue*>& Values() const { return m_Values; }

    // The first sub-key, in position order, whose name equals pszName under the platform's
    // comparison; null when there is none. Many siblings are looked up through a hash index,
    // which only narrows the candidates: the comparison decides, so the result is the one the
    // walk from position 0 would give.
    CIniKey* FindSubKey(const char* pszName, const tagTextPlatform& platform);
    // FindSubKey, and when nothing is found a new key of that name added at position 0. Null
    // only when memory runs out.
    CIniKey* OpenSubKey(const char* pszName, const tagTextPlatform& platform);

private:
    friend class CSubKeyIndex;

    CIniKey* Find(const char* pszName, const tagTextPlatform& platform, int* pbHashed,
                  unsigned* pnHash);
    CSubKeyIndex* UsableIndex(const tagTextPlatform& platform);

    CPubList<CIniKey*> m_SubKeys;
    CPubList<CIniValue*> m_Values;
    char* m_pszName;
    CSubKeyIndex* m_pIndex; // built on demand once a key has many sub-keys
    int m_bIndexFailed;     // the index could not be built: lookups walk the list
    unsigned m_nNameHash;   // the platform's hash of this key's name, when m_bNameHashed
    int m_bNameHashed;
};
