#include "setup/CommandLine.h"

#include <string.h>

namespace {

// Finds the next token at or after pszFrom; stores its start and length. Returns 0 when only
// blanks (or nothing) remain.
int NextToken(const char* pszFrom, const char** ppStart, size_t* pcch) {
    while (*pszFrom == ' ')
        ++pszFrom;
    if (*pszFrom == '\0')
        return 0;
    const char* pEnd = pszFrom;
    while (*pEnd != '\0' && *pEnd != ' ')
        ++pEnd;
    *ppStart = pszFrom;
    *pcch = static_cast<size_t>(pEnd - pszFrom);
    return 1;
}

// Copies and upper-cases a token when it fits the buffer; a token that does not fit is
// refused whole (the buffer stays empty) so that no shortened name is ever used.
int CopyToken(const char* pStart, size_t cch, char* pszBuffer, size_t cbBuffer,
              PFN_UPPERCASE pfnUpper) {
    if (cch >= cbBuffer)
        return 0;
    memcpy(pszBuffer, pStart, cch);
    pszBuffer[cch] = '\0';
    if (pfnUpper != nullptr && cch > 0)
        pfnUpper(pszBuffer, static_cast<unsigned int>(cch));
    return 1;
}

} // namespace

int SplitCommandLine(const char* pszLine, PFN_UPPERCASE pfnUpper, tagCommandLine* pOut) {
    memset(pOut, 0, sizeof(*pOut));
    if (pszLine == nullptr)
        pszLine = "";
    if (strlen(pszLine) > COMMAND_LINE_MAX)
        pOut->bTooLong = 1;

    const char* pStart = nullptr;
    size_t cch = 0;
    if (!NextToken(pszLine, &pStart, &cch))
        return pOut->bTooLong ? 0 : 1;
    if (!CopyToken(pStart, cch, pOut->szCommand, sizeof(pOut->szCommand), pfnUpper))
        pOut->bTooLong = 1;

    if (!NextToken(pStart + cch, &pStart, &cch))
        return pOut->bTooLong ? 0 : 1;
    if (!CopyToken(pStart, cch, pOut->szArgument, sizeof(pOut->szArgument), pfnUpper))
        pOut->bTooLong = 1;

    if (!NextToken(pStart + cch, &pStart, &cch))
        return pOut->bTooLong ? 0 : 1;
    if (CopyToken(pStart, cch, pOut->szExtra, sizeof(pOut->szExtra), pfnUpper)) {
        pOut->bHasExtra = 1;
        if (strcmp(pOut->szExtra, "/Q") == 0)
            pOut->nQuiet = 1;
        else if (strcmp(pOut->szExtra, "STOPWIA") == 0)
            pOut->nStopWia = 1;
    } else {
        pOut->bTooLong = 1;
    }
    return pOut->bTooLong ? 0 : 1;
}
