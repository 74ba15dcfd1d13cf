// The line rules of TRANSLATESCANADVANCE over a scan-settings file's text. Pure code: no Win32
// header; the comparison, the Windows folder and the profile writer come in as services.
#pragma once

#include <stddef.h>

struct tagScanAdvancePlatform {
    void* pContext; // handed back to every service
    // Compares as lstrcmpiA does; 0 when equal.
    int (*pfnCompareNoCase)(void* pContext, const char* pszA, const char* pszB);
    // The Windows folder as the platform reports it. 0 when it cannot be had.
    int (*pfnWindowsFolder)(void* pContext, char* pszFolder, size_t cbFolder);
    // Takes one translated value (the command keeps it, and writes the values with
    // WritePrivateProfileStringA once the pass has ended). 0 when it could not be taken: the
    // pass then stops.
    int (*pfnWriteValue)(void* pContext, const char* pszSection, const char* pszKey,
                         const char* pszValue);
};

enum {
    SCAN_SECTION_MAX = 259, // bytes of a section name that values are written to
    SCAN_TAIL_MAX = 259,    // bytes after the placeholder
    SCAN_VALUE_MAX = 259    // bytes of a translated value: folder, backslash, tail
};

enum {
    SCAN_TEXT_REFUSED = -1, // not 8-bit text, or a stray NUL or Ctrl-Z: nothing examined
    SCAN_WRITE_FAILED = -2  // a value could not be taken; the pass stopped there
};

// Examines each line of the text once and hands every "[WINDIR]" value on as a real path.
// The text (cbText bytes and one spare byte after them) is changed in place; it must be the
// file as it stood before the first write. Returns the number of values written, or one of the
// SCAN_ results above (a refused text is left unchanged).
int TranslateScanAdvanceText(char* pText, size_t cbText, const tagScanAdvancePlatform& platform);
