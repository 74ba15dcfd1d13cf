// The few platform services the registry-script reader and writer need, passed in so that the
// text logic stays free of Win32 headers (and can be built natively and fuzzed).
#pragma once

#include <stddef.h>

struct tagTextPlatform {
    void* pContext; // handed back to every service

    // Compares two names as lstrcmpiA does; 0 when they are equal.
    int (*pfnCompareNoCase)(void* pContext, const char* pszA, const char* pszB);

    // A hash that is the same for any two names the comparison above finds equal. It only
    // narrows the candidates of a lookup; the comparison still decides. 0 when no hash can be
    // made for this name (the lookup then compares with every candidate). May be null.
    int (*pfnNameHash)(void* pContext, const char* pszName, unsigned* pnHash);

    // The Windows folder in the form the translated values use. 0 when it cannot be had.
    int (*pfnWindowsFolder)(void* pContext, char* pszFolder, size_t cbFolder);

    // For UTF-16 scripts. One UTF-16 unit in upper case, as the registry compares key names.
    // Null when UTF-16 scripts are not to be read.
    unsigned (*pfnUpcaseUtf16)(void* pContext, unsigned nUnit);
    // The Windows folder as pfnWindowsFolder gives it, in UTF-8. 0 when it cannot be had.
    int (*pfnWindowsFolderUtf8)(void* pContext, char* pszFolder, size_t cbFolder);
};

// The services the default CIniFile uses (regscript/WindowsTextPlatform.cpp): lstrcmpiA, a hash
// of the name's sort key under the same locale and flags, and the Windows folder in short form.
const tagTextPlatform& GetWindowsTextPlatform();

// Where the writer puts its bytes.
struct tagTextSink {
    void* pContext;
    // 1 when all cbBytes bytes were taken, 0 when writing failed.
    int (*pfnWrite)(void* pContext, const char* pBytes, size_t cbBytes);
};
