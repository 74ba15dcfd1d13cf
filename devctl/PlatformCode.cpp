#include "devctl/PlatformCode.h"

namespace {

// The second character of the service-pack text, or 0 when the text is shorter than that.
char ReleaseLetter(const char* pszCsdVersion) {
    if (pszCsdVersion == nullptr || pszCsdVersion[0] == '\0')
        return '\0';
    return pszCsdVersion[1];
}

} // namespace

int DecidePlatformCode(unsigned long ulMajor, unsigned long ulMinor, const char* pszCsdVersion,
                       int bWow64) {
    const char chLetter = ReleaseLetter(pszCsdVersion);
    if (ulMajor == 4) {
        switch (ulMinor) {
        case 0:
            return (chLetter == 'B' || chLetter == 'C') ? PLATFORM_WIN95_OSR2 : PLATFORM_UNKNOWN;
        case 10:
            return chLetter == 'A' ? PLATFORM_WIN98_SE : PLATFORM_WIN98;
        case 90:
            return PLATFORM_WINME;
        default:
            return PLATFORM_UNKNOWN;
        }
    }
    if (ulMajor == 5) {
        switch (ulMinor) {
        case 0:
            return PLATFORM_WIN2000;
        case 1:
            return PLATFORM_WINXP;
        case 2:
            return PLATFORM_WIN2003;
        default:
            return PLATFORM_UNKNOWN;
        }
    }
    if (ulMajor >= 6)
        return bWow64 ? PLATFORM_NT6_64 : PLATFORM_NT6_32;
    return PLATFORM_UNKNOWN;
}
