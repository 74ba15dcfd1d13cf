/* A caller written in C that links Kestrix's import library and calls the exports through the
 * declarations of Kestrix.h. Exits 0 when every result is the expected one, else the number of
 * the first check that failed. */
#include "kestrix/Kestrix.h"

int main(void) {
    char flag[] = "x64";
    char empty[] = "";
    char out[KESTRIX_VALUE_BUFFER_SIZE];

    if (RegGetKeyValueEx("HKEY_LOCAL_MACHINE", "", NULL, out, flag) != ERROR_BADKEY)
        return 1;
    if (lstrcmpA(flag, "X64") != 0)
        return 2;
    if (RegDelKeyEX(HKEY_CURRENT_USER, empty, NULL) != ERROR_BADKEY)
        return 3;
    if (RegDelAllUserKeyEx(NULL) != ERROR_BADKEY)
        return 4;
    if (RegCopyEx(HKEY_CURRENT_USER, "Software\\Kestrix linked caller\\no such key",
                  HKEY_CURRENT_USER, "Software\\Kestrix linked caller\\copy", NULL) != 0)
        return 5;
    if (RegGetKeyValueEx("HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                         "CurrentVersion", out, NULL) != 1 ||
        out[0] == '\0')
        return 6;
    return 0;
}
