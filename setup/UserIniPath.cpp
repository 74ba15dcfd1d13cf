#include "setup/UserIniPath.h"

#include <string.h>

namespace {

const char INI_EXTENSION[] = ".ini";

int IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

// Appends cch bytes of pSource at *pcchUsed in pszOut (cbOut bytes); 0 when it does not fit
// with the terminating NUL.
int Append(char* pszOut, size_t cbOut, size_t* pcchUsed, const char* pSource, size_t cch) {
    if (*pcchUsed + cch >= cbOut)
        return 0;
    memcpy(pszOut + *pcchUsed, pSource, cch);
    *pcchUsed += cch;
    pszOut[*pcchUsed] = '\0';
    return 1;
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

    size_t cchFolder = 0;
    if (!Append(pOut->szFolder, sizeof(pOut->szFolder), &cchFolder, pszAppData,
                strlen(pszAppData)) ||
        !Append(pOut->szFolder, sizeof(pOut->szFolder), &cchFolder, "\\", 1) ||
        !Append(pOut->szFolder, sizeof(pOut->szFolder), &cchFolder, pszArgument,
                strlen(pszArgument))) {
        memset(pOut, 0, sizeof(*pOut));
        return 0;
    }

    if (bHasFile) {
        size_t cchFile = 0;
        if (!Append(pOut->szFile, sizeof(pOut->szFile), &cchFile, pOut->szFolder, cchFolder) ||
            !Append(pOut->szFile, sizeof(pOut->szFile), &cchFile, "\\", 1) ||
            !Append(pOut->szFile, sizeof(pOut->szFile), &cchFile, pszName, cchName) ||
            !Append(pOut->szFile, sizeof(pOut->szFile), &cchFile, INI_EXTENSION,
                    sizeof(INI_EXTENSION) - 1)) {
            memset(pOut, 0, sizeof(*pOut));
            return 0;
        }
        pOut->bHasFile = 1;
    }
    return 1;
}
