#include "common/RegTree.h"

#include <winternl.h>

#include "common/Array.h"
#include "common/Handle.h"
#include "common/KeyPath.h"
#include "common/ProcAddress.h"

#include <string.h>

#include <utility>

namespace {

// Deletion opens every key with full access, not only the rights the walk uses (enumeration and
// DELETE): a key that refuses full access stops the deletion there, and both commands and both
// exports report exactly that.
const REGSAM DELETE_ACCESS = KEY_ALL_ACCESS;
// The probe only has to show that a hive holds the key and that it may be deleted.
const REGSAM PROBE_ACCESS = DELETE | KEY_ENUMERATE_SUB_KEYS;
// The profile list is only enumerated, but it is opened with full access: a caller that may not
// have that (Kestrix runs in the installer's process, which need not be elevated) gets the
// open's status, 5 (access denied), and nothing is deleted in any hive, instead of a walk that
// deletes what it happens to be allowed to.
const REGSAM PROFILE_LIST_ACCESS = KEY_ALL_ACCESS;

const char PROFILE_LIST_KEY[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The pause after an open that fails (see DeleteLevel).
const DWORD OPEN_FAILED_PAUSE_MS = 1;

// Key names have at most 255 characters, so a child's name always fits.
enum { NAME_BUFFER_CHARS = 260 };

// ntdll's functions, looked up at run time like every function outside the import libraries'
// documented set; every Windows of the NT family has them.
typedef LONG(NTAPI* PFN_NT_DELETE_KEY)(HANDLE);
typedef LONG(NTAPI* PFN_NT_QUERY_OBJECT)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
typedef ULONG(NTAPI* PFN_RTL_NT_STATUS_TO_DOS_ERROR)(LONG);

// Deletes the key a handle holds, one without subkeys. Deleted by its name (RegDeleteKey) the key
// would be opened again and a registry link resolved to its target; deleted through the handle
// it is the key the walk opened, in the view it was opened in, and a link goes as itself.
LONG DeleteOpenedKey(HKEY hKey) {
    PFN_NT_DELETE_KEY pfnDelete = GetSystemProc<PFN_NT_DELETE_KEY>("ntdll.dll", "NtDeleteKey");
    PFN_RTL_NT_STATUS_TO_DOS_ERROR pfnToError =
        GetSystemProc<PFN_RTL_NT_STATUS_TO_DOS_ERROR>("ntdll.dll", "RtlNtStatusToDosError");
    if (pfnDelete == nullptr || pfnToError == nullptr)
        return ERROR_PROC_NOT_FOUND;
    const LONG lNtStatus = pfnDelete(hKey);
    return lNtStatus == 0 ? ERROR_SUCCESS : static_cast<LONG>(pfnToError(lNtStatus));
}

LONG OpenKey(HKEY hParent, const char* pszKey, DWORD dwOptions, REGSAM sam, CRegKey* pKey) {
    return RegOpenKeyExA(hParent, pszKey, dwOptions, sam, pKey->put());
}
LONG OpenKey(HKEY hParent, const WCHAR* pszKey, DWORD dwOptions, REGSAM sam, CRegKey* pKey) {
    return RegOpenKeyExW(hParent, pszKey, dwOptions, sam, pKey->put());
}

// The object manager's name of the key a handle holds ("\REGISTRY\USER\..."), which needs no
// access right on the key; false when it cannot be read.
int KeyObjectName(HKEY hKey, CArray<BYTE>& name) {
    PFN_NT_QUERY_OBJECT pfnQuery = GetSystemProc<PFN_NT_QUERY_OBJECT>("ntdll.dll", "NtQueryObject");
    ULONG cbNeeded = sizeof(OBJECT_NAME_INFORMATION) + NAME_BUFFER_CHARS * sizeof(WCHAR);
    // A name is at most 32767 characters: the length asked for the second time is enough.
    for (int nAttempt = 0; pfnQuery != nullptr && nAttempt < 2; ++nAttempt) {
        if (name.Size() < cbNeeded && !name.Append(nullptr, cbNeeded - name.Size()))
            return 0;
        ULONG cbReturned = 0;
        const LONG lNtStatus = pfnQuery(hKey, ObjectNameInformation, name.Data(),
                                        static_cast<ULONG>(name.Size()), &cbReturned);
        if (lNtStatus == 0)
            return 1;
        if (cbReturned <= name.Size())
            return 0;
        cbNeeded = cbReturned;
    }
    return 0;
}

int SameName(CArray<BYTE>& first, CArray<BYTE>& second) {
    const UNICODE_STRING& a = reinterpret_cast<OBJECT_NAME_INFORMATION*>(first.Data())->Name;
    const UNICODE_STRING& b = reinterpret_cast<OBJECT_NAME_INFORMATION*>(second.Data())->Name;
    return a.Length == b.Length && memcmp(a.Buffer, b.Buffer, a.Length) == 0;
}

// One level of the walk: opens hParent\pszKey, deletes its children, then the key itself through
// its handle. The key is opened as itself: a registry link is not followed, has no children of its
// own, and is deleted as a key of its own while its target stays untouched.
template <typename Char>
LONG DeleteLevel(HKEY hParent, const Char* pszKey, REGSAM samView, REGSAM samNested) {
    CRegKey key;
    LONG lStatus = OpenKey(hParent, pszKey, REG_OPTION_OPEN_LINK, DELETE_ACCESS | samView, &key);
    if (lStatus != ERROR_SUCCESS) {
        // A key that cannot be opened is often one another process holds or is deleting: the
        // walk gives up its time slice before it reports that, as both deliverables always have.
        Sleep(OPEN_FAILED_PAUSE_MS);
        return lStatus;
    }
    WCHAR szChild[NAME_BUFFER_CHARS];
    for (;;) {
        DWORD cchChild = NAME_BUFFER_CHARS;
        lStatus =
            RegEnumKeyExW(key.get(), 0, szChild, &cchChild, nullptr, nullptr, nullptr, nullptr);
        if (lStatus == ERROR_NO_MORE_ITEMS)
            return DeleteOpenedKey(key.get());
        if (lStatus != ERROR_SUCCESS)
            return lStatus;
        lStatus = DeleteLevel(key.get(), static_cast<const WCHAR*>(szChild), samNested, samNested);
        if (lStatus != ERROR_SUCCESS)
            return lStatus;
    }
}

} // namespace

LONG DeleteKeyTree(HKEY hParent, const char* pszKey, REGSAM samTop, REGSAM samNested) {
    if (pszKey == nullptr || pszKey[0] == '\0')
        return ERROR_BADKEY;
    return DeleteLevel(hParent, pszKey, samTop, samNested);
}

LONG DeleteKeyFromUserHives(const char* pszKey, REGSAM samView) {
    if (pszKey == nullptr || pszKey[0] == '\0')
        return ERROR_BADKEY;

    CRegKey profileList;
    LONG lStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROFILE_LIST_KEY, 0,
                                 PROFILE_LIST_ACCESS | samView, profileList.put());
    if (lStatus != ERROR_SUCCESS)
        return lStatus;

    // Each profile's subkey is named by the user's SID, the name its hive is loaded under.
    char szProfile[NAME_BUFFER_CHARS];
    char szPath[KEY_PATH_BUFFER_SIZE];
    for (DWORD dwIndex = 0;; ++dwIndex) {
        DWORD cchProfile = sizeof(szProfile);
        lStatus = RegEnumKeyExA(profileList.get(), dwIndex, szProfile, &cchProfile, nullptr,
                                nullptr, nullptr, nullptr);
        // A name longer than the buffer could not be joined to a key path either: passed over
        // like one that does not fit, so that it does not end the walk for the profiles after it.
        if (lStatus == ERROR_MORE_DATA)
            continue;
        if (lStatus != ERROR_SUCCESS)
            break;
        // A joined path that does not fit is passed over: cut short it would name another key.
        const char* const parts[] = {szProfile, pszKey};
        if (!JoinKeyPath(szPath, sizeof(szPath), parts, 2))
            continue;
        // A hive that is not loaded, or lacks the key, fails the probe. The probe stays open
        // while the tree goes; one profile's failure does not end the walk.
        CRegKey probe;
        if (OpenKey(HKEY_USERS, szPath, REG_OPTION_OPEN_LINK, PROBE_ACCESS | samView, &probe) ==
            ERROR_SUCCESS)
            DeleteKeyTree(HKEY_USERS, szPath, samView, samView);
    }
    return lStatus;
}

template <typename Char>
LONG OpenKeyUnlessLink(HKEY hParent, const Char* pszKey, REGSAM sam, CRegKey* pKey) {
    // An empty path names the parent's own key, which the caller already holds.
    if (pszKey == nullptr || pszKey[0] == 0)
        return OpenKey(hParent, pszKey, 0, sam, pKey);
    CRegKey itself;
    LONG lStatus = OpenKey(hParent, pszKey, REG_OPTION_OPEN_LINK, sam, &itself);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    // A link and its target are two keys of two names. A key whose names differ when opened as
    // itself and as resolved is a link, and so is one that cannot be resolved at all (a link to
    // a key that does not exist, or that this caller may not open).
    CRegKey resolved;
    CArray<BYTE> nameItself, nameResolved;
    if (OpenKey(hParent, pszKey, 0, sam, &resolved) != ERROR_SUCCESS ||
        !KeyObjectName(itself.get(), nameItself) || !KeyObjectName(resolved.get(), nameResolved) ||
        !SameName(nameItself, nameResolved))
        return REG_LINK_REFUSED;
    *pKey = std::move(itself);
    return ERROR_SUCCESS;
}

template LONG OpenKeyUnlessLink(HKEY, const char*, REGSAM, CRegKey*);
template LONG OpenKeyUnlessLink(HKEY, const WCHAR*, REGSAM, CRegKey*);
