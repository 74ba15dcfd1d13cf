#include "setup/UserIniPath.h"

#include <string.h>

#include "common/TextBuilder.h"

namespace {

const char INI_EXTENSION[] = ".ini";

int IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

} // namespace

int IsUsableAppDataFolder(const char* pszAppData) {
    if (pszAppData == nullptr)
        return 0;
    const char ch = pszAppData[0];
    const int bDrive = ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) &&
                       pszAppData[1] == ':' && pszAppData[2] == '\\';
    const int bUnc = pszAppData[0] == '\\' && pszAppData[1] == '\\' && pszAppData[2] != '\0';
    return bDrive || bUnc;
}

int IsConfinedArgument(const char* pszArgument, PFN_ISLEADBYTE pfnIsLeadByte) {
    if (pszArgument == nullptr || pszArgument[0] == '\0' || IsSeparator(pszArgument[0]))
        return 0;
    const char* p = pszArgument;
    while (*p != '\0') {
        // One component, up to the next separator or the end.
        int bOnlyDotsAndBlanks = 1;
        size_t cchComponent = 0;
        while (*p != '\0' && !IsSeparator(*p)) {
            const size_t cch = CharLength(p, pfnIsLeadByte);
            if (cch == 1) {
                if (*p == ':')
                    return 0;
                if (*p != '.' && *p != ' ')
                    bOnlyDotsAndBlanks = 0;
            } else {
                bOnlyDotsAndBlanks = 0;
            }
            p += cch;
            cchComponent += cch;
        }
        if (cchComponent > 0 && bOnlyDotsAndBlanks)
            return 0;
        if (*p != '\0')
            ++p; // the separator
    }
    return 1;
}

int FormUserIniPaths(const char* pszAppData, const char* pszArgument, PFN_ISLEADBYTE pfnIsLeadByte,
                     tagUserIniPaths* pOut) {
    memset(pOut, 0, sizeof(*pOut));
    if (!IsUsableAppDataFolder(pszAppData) || !IsConfinedArgument(pszArgument, pfnIsLeadByte))
        return 0;

    // The name part follows the first backslash that is a character of its own.
    const char* pszName = nullptr;
    for (const char* p = pszArgument; *p != '\0'; p += CharLength(p, pfnIsLeadByte)) {
        if (*p == '\\') {
            pszName = p + 1;
            break;
        }
    }
    // A name part that ends in a separator ends in an empty file name: no file is named.
    size_t cchName = pszName != nullptr ? strlen(pszName) : 0;
    const char* pLastChar = nullptr;
    for (const char* p = pszName; p != nullptr && *p != '\0'; p += CharLength(p, pfnIsLeadByte))
        pLastChar = p;
    const int bHasFile = cchName > 0 && !(pLastChar != nullptr && IsSeparator(*pLastChar) &&
                                          CharLength(pLastChar, pfnIsLeadByte) == 1);

    if (!CTextBuilder(pOut->szFolder, sizeof(pOut->szFolder))
             .Add(pszAppData)
             .Add("\\")
             .Add(pszArgument)
             .Fits() ||
        (bHasFile && !CTextBuilder(pOut->szFile, sizeof(pOut->szFile))
                          .Add(pOut->szFolder)
                          .Add("\\")
                          .Add(pszName)
                          .Add(INI_EXTENSION)
                          .Fits())) {
        memset(pOut, 0, sizeof(*pOut));
        return 0;
    }
    pOut->bHasFile = bHasFile;
    return 1;
}
