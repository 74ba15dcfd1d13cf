// A registry value read as narrow text: the one rule every reader of the product follows.
#pragma once

#include <windows.h>

#include <string.h>

// Reads the value pszValue of hKey into pszText (cbText bytes) as narrow text, whatever the
// value's type: its data, ended at its length or at its first NUL. Returns ERROR_SUCCESS;
// ERROR_MORE_DATA when the text with its NUL does not fit (such text is refused, never cut);
// else the query's error. The buffer holds the empty text unless the read succeeded.
inline LONG QueryValueText(HKEY hKey, const char* pszValue, char* pszText, DWORD cbText) {
    DWORD cbData = cbText;
    LONG lStatus = RegQueryValueExA(hKey, pszValue, nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(pszText), &cbData);
    if (lStatus == ERROR_SUCCESS && cbData < cbText)
        pszText[cbData] = '\0';
    else if (lStatus == ERROR_SUCCESS && memchr(pszText, '\0', cbText) == nullptr)
        lStatus = ERROR_MORE_DATA;
    if (lStatus != ERROR_SUCCESS)
        memset(pszText, 0, cbText);
    return lStatus;
}
