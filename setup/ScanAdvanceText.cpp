#include "setup/ScanAdvanceText.h"

#include <string.h>

#include "common/FileText.h"

namespace {

const char g_szPlaceholder[] = "[WINDIR]";

// Translates one placeholder line (its value begins with "["); writes the value when it is
// "[WINDIR]" and the result fits. Returns 1 when a value was written, 0 when the line is not
// translated, -1 when the write failed. pValue is the value's start, after the run of "=" that
// begins at pEquals.
int TranslateLine(char* pszLine, char* pEquals, char* pValue, const char* pszSection,
                  const tagScanAdvancePlatform& platform) {
    if (pEquals == pszLine)
        return 0; // no key to write to
    char* pLastBracket = strrchr(pValue, ']');
    if (pLastBracket == nullptr)
        return 0; // a placeholder without its end is no "[WINDIR]"
    const char* pTail = pLastBracket + 1;
    const char chAfter = pLastBracket[1];
    pLastBracket[1] = '\0';
    const int bWindir = platform.pfnCompareNoCase(platform.pContext, pValue, g_szPlaceholder) == 0;
    pLastBracket[1] = chAfter;
    if (!bWindir)
        return 0;

    char szFolder[SCAN_VALUE_MAX + 1] = {};
    char szValue[SCAN_VALUE_MAX + 1] = {};
    size_t cchValue = 0;
    if (!platform.pfnWindowsFolder(platform.pContext, szFolder, sizeof(szFolder)) ||
        !JoinWindowsFolder(szFolder, sizeof(szFolder), pTail, strlen(pTail), SCAN_TAIL_MAX,
                           SCAN_VALUE_MAX, szValue, &cchValue))
        return 0;

    *pEquals = '\0'; // the key is the text before the first "="
    return platform.pfnWriteValue(platform.pContext, pszSection, pszLine, szValue) ? 1 : -1;
}

} // namespace

int TranslateScanAdvanceText(char* pText, size_t cbText, const tagScanAdvancePlatform& platform) {
    // A byte-order mark is refused too: the profile writer takes the values as ANSI text.
    size_t cbMark = 0;
    if (ClassifyText(pText, cbText, &cbMark) != TEXT_EIGHT_BIT || !TrimStrayBytes(pText, &cbText))
        return SCAN_TEXT_REFUSED;
    cbText = ToTextMode(pText, cbText);

    char szSection[SCAN_SECTION_MAX + 1] = {};
    int bSectionFits = 1; // values below a section name too long to hold are not written
    int nWritten = 0;
    char* p = pText;
    char* const pEnd = pText + cbText;
    while (p < pEnd) {
        // Lines of any length are taken whole; the LF (or the spare byte after the last line)
        // takes the terminating NUL.
        char* pLf = static_cast<char*>(memchr(p, '\n', static_cast<size_t>(pEnd - p)));
        char* pszLine = p;
        const size_t cch = static_cast<size_t>((pLf != nullptr ? pLf : pEnd) - p);
        p = pLf != nullptr ? pLf + 1 : pEnd;
        pszLine[cch] = '\0';

        // A run of "=" separates key and value; the value is all the text after it, a later
        // "=" included.
        char* pEquals = static_cast<char*>(memchr(pszLine, '=', cch));
        char* pValue = pEquals;
        while (pValue != nullptr && *pValue == '=')
            ++pValue;
        if (pEquals != nullptr && *pValue == '[') {
            const int nResult =
                bSectionFits ? TranslateLine(pszLine, pEquals, pValue, szSection, platform) : 0;
            if (nResult < 0)
                return SCAN_WRITE_FAILED;
            nWritten += nResult;
            continue;
        }
        if (pszLine[0] != '[')
            continue;
        // A section line: its name is the text up to the first "=" (the whole line with its
        // LF when there is none) without the first byte and the last two.
        size_t cchText = pEquals != nullptr ? static_cast<size_t>(pEquals - pszLine)
                                            : cch + (pLf != nullptr ? 1 : 0);
        const size_t cchName = cchText < 4 ? 0 : cchText - 3;
        if (cchName > SCAN_SECTION_MAX) {
            szSection[0] = '\0';
            bSectionFits = 0;
            continue;
        }
        memcpy(szSection, pszLine + 1, cchName);
        szSection[cchName] = '\0';
        bSectionFits = 1;
    }
    return nWritten;
}
