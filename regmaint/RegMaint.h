// Registry maintenance: product-key deletion for the machine and every user, save folders.
#pragma once

#include <windows.h>

// Deletes pszSubKey below hParent with its whole subtree. ERROR_SUCCESS when the key is gone,
// ERROR_BADKEY for a null or empty path, else the first error that stopped the deletion.
LONG RegDelKey(HKEY hParent, const char* pszSubKey);

// Deletes pszSubKey below the hive of every listed profile loaded under HKEY_USERS. ERROR_BADKEY
// for an empty path, the status of opening the profile list when that fails, else the status
// the walk ended with (ERROR_NO_MORE_ITEMS after a complete walk).
LONG RegDelAllUserKey(const char* pszSubKey);

// Points the eight scan destinations' default save folders at the shared documents folder.
// 0, or -1 when the product name is missing or empty.
int SetSaveFolder(HKEY hRoot, const char* pszProductKey);
