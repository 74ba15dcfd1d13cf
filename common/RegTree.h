// Deleting a registry key with its whole subtree: the walk both deliverables use, Torvane for
// its product-key commands and Kestrix for its deletion exports; and opening a key only when it
// is no registry link, for Kestrix's copy.
//
// Registry links are never followed below the caller's path, nor at its last component: each key
// is opened as itself (REG_OPTION_OPEN_LINK) and deleted through its own handle, so a link goes as
// a key of its own and its target stays. Links in the path above the key are resolved as for any
// path.
//
// The key is opened by the caller's narrow path; below it, subkey names are read and opened in
// UTF-16, so that a name the code page cannot represent is deleted by its real name instead of a
// '?' that cannot be opened (or names another key). What differs between the callers is passed
// in: the registry view of the key itself and of the levels below it.
#pragma once

#include <windows.h>

#include "common/Handle.h"

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

// What OpenKeyUnlessLink gives for a registry link. It names no registry condition of its own: a
// link is a key that the caller must not read or write through.
const LONG REG_LINK_REFUSED = ERROR_CANT_RESOLVE_FILENAME;

// Opens hParent\pszKey with the rights sam (which may name a view) when the key is no registry
// link: ERROR_SUCCESS with the key in *pKey; REG_LINK_REFUSED, nothing opened, when the key is a
// link (its own name and the name it resolves to differ, or it resolves to no key this caller
// may open); else the open's status. An empty path names hParent's own key, opened as it is.
template <typename Char>
LONG OpenKeyUnlessLink(HKEY hParent, const Char* pszKey, REGSAM sam, CRegKey* pKey);
