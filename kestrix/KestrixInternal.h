// Functions the exports of Kestrix.dll share; none of them is exported.
#pragma once

#include <windows.h>

// Applies the view flag of RegCopyEx, RegDelKeyEX and RegGetKeyValueEx: upper-cases the caller's
// flag in place (letters a-z, and only where a character changes, so that a constant flag in
// read-only memory is never written) and returns KEY_WOW64_64KEY when it reads "X64" in any
// letter case, else 0. A null flag selects the default view.
REGSAM ApplyViewFlag(char* pszViewFlag);

// Maps a root-key name, exactly as spelt (case included), to its predefined handle; null for any
// other text.
HKEY RegGetRootKey(const char* pszRootName);

// Deletes parent\pszKey with its subtree, opening the key itself with samView added; the keys
// below follow its view. Returns ERROR_SUCCESS or the first error that stopped the deletion.
LONG DeleteKeyTree(HKEY hParent, const char* pszKey, REGSAM samView);
