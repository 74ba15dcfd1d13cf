// Functions the exports of Kestrix.dll share; none of them is exported.
#pragma once

#include <windows.h>

// The registry view a call works in where the "X64" flag does not select the 64-bit view: the
// view a 32-bit process sees by default. The 32-bit build gets it by naming no view; the 64-bit
// build names the 32-bit view, so that a call reaches the same keys whichever build it loads.
// The all-user walk works in it too.
#ifdef _WIN64
const REGSAM DEFAULT_VIEW = KEY_WOW64_32KEY;
#else
const REGSAM DEFAULT_VIEW = 0;
#endif

// The view flag that opens the keys below a top-level key opened with samTop, relative to their
// parent's handle. The 64-bit build names the top level's view again at every level, as Windows
// asks of every open below a key reached in a named view; the 32-bit build names none there.
inline REGSAM NestedView(REGSAM samTop) {
#ifdef _WIN64
    return samTop;
#else
    (void)samTop;
    return 0;
#endif
}

// Applies the view flag of RegCopyEx, RegDelKeyEX and RegGetKeyValueEx: upper-cases the caller's
// flag in place up to its end or its fourth character, whichever comes first, nothing past them
// read (letters a-z, and only where a character changes, so that a constant flag in read-only
// memory is never written), and returns KEY_WOW64_64KEY when it reads "X64" in any letter case,
// else DEFAULT_VIEW. A null flag selects the default view.
REGSAM ApplyViewFlag(char* pszViewFlag);

// Maps a root-key name, exactly as spelt (case included), to its predefined handle; null for any
// other text.
HKEY RegGetRootKey(const char* pszRootName);

// A predefined root key (HKEY_CLASSES_ROOT, 0x80000000, to HKEY_CURRENT_USER_LOCAL_SETTINGS,
// 0x80000007, and the two performance-text keys) is a 32-bit value sign-extended to the handle's
// width. A 64-bit caller that keeps one in a 32-bit unsigned integer (an installer script's
// Cardinal) passes it zero-extended, 0x0000000080000002, which 64-bit Windows refuses as an
// invalid handle; the 64-bit build takes that form as the predefined key it names. No opened key
// has such a value: handles are far smaller. The 32-bit build has one form and passes the
// handle on unchanged.
HKEY PredefinedRoot(HKEY hKey);
