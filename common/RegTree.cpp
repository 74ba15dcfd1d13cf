#include "common/RegTree.h"

#include "common/Handle.h"
#include "common/KeyPath.h"
#include "common/ProcAddress.h"

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

LONG DeletePlain(HKEY hParent, const char* pszKey) {
    return RegDeleteKeyA(hParent, pszKey);
}
LONG DeletePlain(HKEY hParent, const WCHAR* pszKey) {
    return RegDeleteKeyW(hParent, pszKey);
}
const char* DeleteInViewName(const char*) {
    return "RegDeleteKeyExA";
}
const char* DeleteInViewName(const WCHAR*) {
    return "RegDeleteKeyExW";
}

// Deletes a key that has no subkeys left, in the view it was opened in: the plain call would
// remove the key of that name in the process's own view instead. RegDeleteKeyEx is looked up at
// run time: every 64-bit Windows has it, and it is missing only where there is no 64-bit view
// (32-bit XP), where the plain call is the right one.
template <typename Char> LONG DeleteEmptyKey(HKEY hParent, const Char* pszKey, REGSAM samView) {
    typedef LONG(WINAPI * PFN_DELETE_IN_VIEW)(HKEY, const Char*, REGSAM, DWORD);
    HMODULE hAdvapi = GetModuleHandleA("advapi32.dll");
    if (samView != 0 && hAdvapi != nullptr) {
        if (PFN_DELETE_IN_VIEW pfnDelete =
                GetProcAs<PFN_DELETE_IN_VIEW>(hAdvapi, DeleteInViewName(pszKey)))
            return pfnDelete(hParent, pszKey, samView, 0);
    }
    return DeletePlain(hParent, pszKey);
}

LONG OpenForDeletion(HKEY hParent, const char* pszKey, REGSAM samView, CRegKey* pKey) {
    return RegOpenKeyExA(hParent, pszKey, 0, DELETE_ACCESS | samView, pKey->put());
}

LONG OpenForDeletion(HKEY hParent, const WCHAR* pszKey, REGSAM samView, CRegKey* pKey) {
    return RegOpenKeyExW(hParent, pszKey, 0, DELETE_ACCESS | samView, pKey->put());
}

// One level of the walk: opens hParent\pszKey, deletes its children, then the key itself while
// its handle is still open.
template <typename Char>
LONG DeleteLevel(HKEY hParent, const Char* pszKey, REGSAM samView, REGSAM samNested) {
    CRegKey key;
    LONG lStatus = OpenForDeletion(hParent, pszKey, samView, &key);
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
            return DeleteEmptyKey(hParent, pszKey, samView);
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
        if (RegOpenKeyExA(HKEY_USERS, szPath, 0, PROBE_ACCESS | samView, probe.put()) ==
            ERROR_SUCCESS)
            DeleteKeyTree(HKEY_USERS, szPath, samView, samView);
    }
    return lStatus;
}
