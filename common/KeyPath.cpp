#include "common/KeyPath.h"

#include <string.h>

int JoinKeyPath(char* pszOut, size_t cbOut, const char* const* ppszParts, size_t cParts) {
    if (pszOut == nullptr || cbOut == 0)
        return 0;
    memset(pszOut, 0, cbOut);

    size_t cchTotal = 0;
    for (size_t i = 0; i < cParts; ++i) {
        if (ppszParts[i] == nullptr)
            return 0;
        cchTotal += strlen(ppszParts[i]) + (i > 0 ? 1 : 0);
        if (cchTotal >= cbOut)
            return 0;
    }

    char* pEnd = pszOut;
    for (size_t i = 0; i < cParts; ++i) {
        if (i > 0)
            *pEnd++ = '\\';
        size_t cch = strlen(ppszParts[i]);
        memcpy(pEnd, ppszParts[i], cch);
        pEnd += cch;
    }
    return 1;
}
