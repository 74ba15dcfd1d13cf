// RegGetKeyValueEx: one registry value read as narrow text.
#include "kestrix/Kestrix.h"
#include "kestrix/KestrixInternal.h"
#include "common/Handle.h"
#include "common/RegText.h"

namespace {

// The caller's output buffer holds this many bytes, text and terminating NUL together.
const DWORD VALUE_BUFFER_SIZE = KESTRIX_VALUE_BUFFER_SIZE;

int SameText(const char* a, const char* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

} // namespace

HKEY RegGetRootKey(const char* pszRootName) {
    static const struct {
        const char* pszName;
        HKEY hKey;
    } ROOT_KEYS[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKEY_USERS", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    if (!pszRootName)
        return nullptr;
    for (const auto& root : ROOT_KEYS) {
        if (SameText(pszRootName, root.pszName))
            return root.hKey;
    }
    return nullptr;
}

HKEY PredefinedRoot(HKEY hKey) {
#ifdef _WIN64
    static const ULONG_PTR PREDEFINED[] = {0x80000000, 0x80000001, 0x80000002, 0x80000003,
                                           0x80000004, 0x80000005, 0x80000006, 0x80000007,
                                           0x80000050, 0x80000060};
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(hKey);
    for (ULONG_PTR predefined : PREDEFINED) {
        if (value == predefined)
            return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(value)));
    }
#endif
    return hKey;
}

extern "C" int WINAPI RegGetKeyValueEx(LPCSTR pszRootName, LPCSTR pszKey, LPCSTR pszValue,
                                       LPSTR pszOut, LPSTR pszViewFlag) {
    const REGSAM samView = ApplyViewFlag(pszViewFlag);
    const HKEY hRoot = RegGetRootKey(pszRootName);
    if (!pszKey || !*pszKey)
        return ERROR_BADKEY;

    // Only read rights: a read must not fail on keys the caller may look at but not change.
    CRegKey key;
    const LONG lStatus = RegOpenKeyExA(hRoot, pszKey, 0, KEY_QUERY_VALUE | samView, key.put());
    if (lStatus != ERROR_SUCCESS)
        return lStatus;

    // Text that has no room for its NUL in the caller's 260 bytes is refused rather than cut;
    // empty text is no value.
    char szText[VALUE_BUFFER_SIZE];
    if (QueryValueText(key.get(), pszValue, szText, sizeof(szText)) != ERROR_SUCCESS ||
        szText[0] == '\0' || !pszOut)
        return KESTRIX_NOT_DONE;
    CopyMemory(pszOut, szText, lstrlenA(szText) + 1);
    return KESTRIX_DONE;
}
