// RegDelKeyEX and RegDelAllUserKeyEx: delete a key with its subtree, for one parent or below
// every user's hive.
//
// The subtree is walked depth first, always taking the first remaining subkey, which each deleted
// child vacates. Subkey names are read in UTF-16, so that a name the code page cannot represent
// is deleted by its real name instead of a '?' that might name another key.
#include "kestrix/Kestrix.h"
#include "kestrix/KestrixInternal.h"
#include "common/Handle.h"

namespace {

const REGSAM kDeleteRights = KEY_ALL_ACCESS;
// The probe only has to show that a hive holds the key and that it may be deleted.
const REGSAM kProbeRights = DELETE | KEY_ENUMERATE_SUB_KEYS;

const char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Key names and joined key paths fit 260 characters with their terminating NUL.
const DWORD kNameChars = 260;

LONG DeleteChildKey(HKEY hParent, const WCHAR* pszName, REGSAM samNested);

// Deletes every subkey of hKey, each with its own subtree, opening them with samNested added.
LONG DeleteSubkeys(HKEY hKey, REGSAM samNested) {
    WCHAR szChild[kNameChars];
    for (;;) {
        DWORD cchChild = kNameChars;
        const LONG status =
            RegEnumKeyExW(hKey, 0, szChild, &cchChild, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS)
            return status;
        const LONG childStatus = DeleteChildKey(hKey, szChild, samNested);
        if (childStatus != ERROR_SUCCESS)
            return childStatus;
    }
}

LONG DeleteChildKey(HKEY hParent, const WCHAR* pszName, REGSAM samNested) {
    CRegKey key;
    LONG status = RegOpenKeyExW(hParent, pszName, 0, kDeleteRights | samNested, key.put());
    if (status != ERROR_SUCCESS) {
        Sleep(1);
        return status;
    }
    status = DeleteSubkeys(key.get(), samNested);
    if (status == ERROR_SUCCESS) {
#ifdef _WIN64
        status = RegDeleteKeyExW(hParent, pszName, samNested, 0);
#else
        status = RegDeleteKeyW(hParent, pszName);
#endif
    }
    return status;
}

// Deletes a key that has no subkeys left, in the view it was opened in: the plain call would
// remove the key of the same name in the process's own view instead. Every 64-bit Windows has
// RegDeleteKeyExA, and the 64-bit build always names a view. For the 32-bit build it is missing
// where there is no 64-bit view (32-bit XP); the plain call is then the right one.
LONG DeleteEmptyKey(HKEY hParent, const char* pszKey, REGSAM samView) {
#ifdef _WIN64
    return RegDeleteKeyExA(hParent, pszKey, samView, 0);
#else
    if (samView) {
        typedef LONG(WINAPI * PFN_REGDELETEKEYEXA)(HKEY, LPCSTR, REGSAM, DWORD);
        HMODULE hAdvapi = GetModuleHandleA("advapi32.dll");
        PFN_REGDELETEKEYEXA pfnRegDeleteKeyExA =
            hAdvapi ? reinterpret_cast<PFN_REGDELETEKEYEXA>(
                          reinterpret_cast<void*>(GetProcAddress(hAdvapi, "RegDeleteKeyExA")))
                    : nullptr;
        if (pfnRegDeleteKeyExA)
            return pfnRegDeleteKeyExA(hParent, pszKey, samView, 0);
    }
    return RegDeleteKeyA(hParent, pszKey);
#endif
}

// Joins "name\key" into a buffer of cbPath bytes; false (buffer untouched) when it does not fit.
bool JoinKeyPath(char* pszPath, DWORD cbPath, const char* pszName, DWORD cchName,
                 const char* pszKey, DWORD cchKey) {
    if (cchName + 1 + cchKey >= cbPath)
        return false;
    CopyMemory(pszPath, pszName, cchName);
    pszPath[cchName] = '\\';
    CopyMemory(pszPath + cchName + 1, pszKey, cchKey + 1);
    return true;
}

} // namespace

LONG DeleteKeyTree(HKEY hParent, const char* pszKey, REGSAM samView) {
    CRegKey key;
    LONG status = RegOpenKeyExA(hParent, pszKey, 0, kDeleteRights | samView, key.put());
    if (status != ERROR_SUCCESS) {
        Sleep(1);
        return status;
    }
    status = DeleteSubkeys(key.get(), NestedView(samView));
    if (status == ERROR_SUCCESS)
        status = DeleteEmptyKey(hParent, pszKey, samView);
    return status;
}

extern "C" LONG WINAPI RegDelKeyEX(HKEY hParent, LPCSTR pszKey, LPSTR pszViewFlag) {
    const REGSAM samView = ApplyViewFlag(pszViewFlag);
    if (!pszKey || !*pszKey)
        return ERROR_BADKEY;
    return DeleteKeyTree(hParent, pszKey, samView);
}

extern "C" LONG WINAPI RegDelAllUserKeyEx(LPCSTR pszKey) {
    if (!pszKey || !*pszKey)
        return ERROR_BADKEY;
    // The profile list names every user whose hive may be loaded under HKEY_USERS by its SID.
    CRegKey profiles;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_ALL_ACCESS | kDefaultView,
                                profiles.put());
    if (status != ERROR_SUCCESS)
        return status;

    const DWORD cchKey = lstrlenA(pszKey);
    char szName[kNameChars];
    char szPath[kNameChars];
    for (DWORD index = 0;; ++index) {
        DWORD cchName = kNameChars;
        status = RegEnumKeyExA(profiles.get(), index, szName, &cchName, nullptr, nullptr, nullptr,
                               nullptr);
        // A name too long for the buffer could not be joined to any key path either.
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        // A path that does not fit is passed over, never cut: a cut path names another key.
        ZeroMemory(szPath, sizeof(szPath));
        if (!JoinKeyPath(szPath, sizeof(szPath), szName, cchName, pszKey, cchKey))
            continue;
        // A user whose hive is not loaded, or lacks the key, fails the probe; a failed deletion
        // is passed over too, so that one user does not keep the key in the others' hives.
        CRegKey probe;
        if (RegOpenKeyExA(HKEY_USERS, szPath, 0, kProbeRights | kDefaultView, probe.put()) ==
            ERROR_SUCCESS)
            DeleteKeyTree(HKEY_USERS, szPath, kDefaultView);
    }
    return status;
}
