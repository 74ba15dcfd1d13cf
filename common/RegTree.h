// Deleting a registry key with its whole subtree: the walk both deliverables use, Torvane for
// its product-key commands and Kestrix for its deletion exports.
//
// The key is opened by the caller's narrow path; below it, subkey names are read and opened in
// UTF-16, so that a name the code page cannot represent is deleted by its real name instead of a
// '?' that cannot be opened (or names another key). What differs between the callers is passed
// in: the registry view of the key itself and of the levels below it.
#pragma once

#include <windows.h>

// Deletes hParent\pszKey with its subtree, depth first, always taking the first remaining child
// (each deleted child vacates that place). The key itself is opened and deleted with samTop added
// to the access rights, the keys below it with samNested; 0 names no view. Returns ERROR_SUCCESS
// when the key is gone, ERROR_BADKEY for a null or empty path, else the first error, which stops
// the whole deletion: what was deleted before it stays deleted, the rest stays.
LONG DeleteKeyTree(HKEY hParent, const char* pszKey, REGSAM samTop, REGSAM samNested);

// Deletes pszKey with its subtree from the hive of every profile in the machine's profile list
// that is loaded under HKEY_USERS and holds the key, everything in the view samView. A profile
// whose hive lacks the key, whose deletion fails, or whose name cannot be joined to pszKey within
// a key path's 259 characters is passed over: the walk goes on to the next profile. Returns
// ERROR_BADKEY for a null or empty path, the status of opening the profile list with full access
// when that fails (nothing is deleted then), else the status the enumeration ended with
// (ERROR_NO_MORE_ITEMS after a complete walk).
LONG DeleteKeyFromUserHives(const char* pszKey, REGSAM samView);
