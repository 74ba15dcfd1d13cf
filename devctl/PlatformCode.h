// The platform code: Windows version and bitness folded into one small integer.
//
// Pure decision logic, no Win32 call: the caller passes in what GetVersionExA and IsWow64
// reported, so versions that no test machine can report are still tested.
#pragma once

enum {
    PLATFORM_UNKNOWN = 0,    // 95 first release, NT 4.0, anything not listed below
    PLATFORM_WIN95_OSR2 = 1, // 4.0 with " B" or " C"
    PLATFORM_WIN98 = 2,      // 4.10
    PLATFORM_WIN98_SE = 3,   // 4.10 with " A"
    PLATFORM_WINME = 4,      // 4.90
    PLATFORM_WIN2000 = 5,    // 5.0
    PLATFORM_WINXP = 6,      // 5.1
    PLATFORM_WIN2003 = 7,    // 5.2 (Server 2003, XP x64), whatever the bitness
    PLATFORM_NT6_32 = 12,    // 6.0 and later, 32-bit Windows
    PLATFORM_NT6_64 = 13     // 6.0 and later, a 32-bit process under WOW64
};

// Even codes from 6 up stand for a 32-bit system, odd ones for a 64-bit system.
inline int IsPlatform64(int nPlatformCode) {
    return (nPlatformCode & 1) != 0;
}

// The platform code of a system that reports version ulMajor.ulMinor with the service-pack text
// pszCsdVersion (null counts as empty); bWow64 is the WOW64 answer, read for 6.0 and later only.
// The old releases are told apart by the letter after the leading blank of the service-pack
// text, compared in upper case exactly.
int DecidePlatformCode(unsigned long ulMajor, unsigned long ulMinor, const char* pszCsdVersion,
                       int bWow64);
