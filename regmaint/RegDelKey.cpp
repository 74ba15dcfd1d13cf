// DELETE_LOCAL_MACHINE_PRODUCTKEY and DELETE_ALLUSER_PRODUCTKEY: a key tree deleted bottom-up.
#include <string.h>

#include "common/Handle.h"
#include "regmaint/KeyPath.h"
#include "regmaint/RegMaint.h"

namespace {

const char PROFILE_LIST_KEY[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The probe only has to show that the key exists in that hive; it asks for no more than a
// deletion of the tree needs at its top.
const REGSAM PROBE_ACCESS = DELETE | KEY_ENUMERATE_SUB_KEYS;

// Key names are at most 255 characters, so a child's name always fits.
enum { NAME_BUFFER_SIZE = 260 };

} // namespace

LONG RegDelKey(HKEY hParent, const char* pszSubKey) {
    if (pszSubKey == nullptr || pszSubKey[0] == '\0')
        return ERROR_BADKEY;

    CRegKey key;
    LONG lStatus = RegOpenKeyExA(hParent, pszSubKey, 0, KEY_ALL_ACCESS, key.put());
    if (lStatus != ERROR_SUCCESS) {
        Sleep(1);
        return lStatus;
    }

    // Always the child at index 0: each child deleted moves the next one there. Values need no
    // work of their own, they go with their key.
    char szChild[NAME_BUFFER_SIZE];
    for (;;) {
        DWORD cchChild = sizeof(szChild);
        lStatus =
            RegEnumKeyExA(key.get(), 0, szChild, &cchChild, nullptr, nullptr, nullptr, nullptr);
        if (lStatus == ERROR_NO_MORE_ITEMS)
            return RegDeleteKeyA(hParent, pszSubKey);
        if (lStatus != ERROR_SUCCESS)
            return lStatus;
        // A failure below stops everything: what was deleted stays deleted, the rest stays.
        lStatus = RegDelKey(key.get(), szChild);
        if (lStatus != ERROR_SUCCESS)
            return lStatus;
    }
}

LONG RegDelAllUserKey(const char* pszSubKey) {
    if (pszSubKey == nullptr || pszSubKey[0] == '\0')
        return ERROR_BADKEY;

    CRegKey profileList;
    LONG lStatus =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, PROFILE_LIST_KEY, 0, KEY_ALL_ACCESS, profileList.put());
    if (lStatus != ERROR_SUCCESS)
        return lStatus;

    // Each profile's subkey is named by the user's SID, the name its hive is loaded under.
    char szProfile[NAME_BUFFER_SIZE];
    char szPath[KEY_PATH_BUFFER_SIZE];
    for (DWORD dwIndex = 0;; ++dwIndex) {
        DWORD cchProfile = sizeof(szProfile);
        lStatus = RegEnumKeyExA(profileList.get(), dwIndex, szProfile, &cchProfile, nullptr,
                                nullptr, nullptr, nullptr);
        if (lStatus != ERROR_SUCCESS)
            break;

        // A joined path that does not fit is passed over: cut short it would name another key.
        const char* const parts[] = {szProfile, pszSubKey};
        if (!JoinKeyPath(szPath, sizeof(szPath), parts, 2))
            continue;

        // A hive that is not loaded, or lacks the key, fails the probe. The probe stays open
        // while the tree goes; one profile's failure does not end the walk.
        CRegKey probe;
        if (RegOpenKeyExA(HKEY_USERS, szPath, 0, PROBE_ACCESS, probe.put()) == ERROR_SUCCESS)
            RegDelKey(HKEY_USERS, szPath);
    }
    return lStatus;
}
