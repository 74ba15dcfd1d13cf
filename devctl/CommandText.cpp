#include "devctl/CommandText.h"

#include <string.h>

#include "common/TextBuilder.h"

namespace {

int IsEmpty(const char* psz) {
    return psz == nullptr || psz[0] == '\0';
}

// Text that goes between double quotes must not hold one: it would end the quoted part early.
int FitsInQuotes(const char* psz) {
    return psz != nullptr && strchr(psz, '"') == nullptr;
}

int Refuse(char* pszOut, size_t cbOut) {
    if (pszOut != nullptr && cbOut > 0)
        pszOut[0] = '\0';
    return 0;
}

} // namespace

int BuildFilePath(char* pszOut, size_t cbOut, const char* pszFolder, const char* pszName) {
    if (IsEmpty(pszFolder) || IsEmpty(pszName))
        return Refuse(pszOut, cbOut);
    return CTextBuilder(pszOut, cbOut).Add(pszFolder).Add("\\").Add(pszName).Fits();
}

int BuildToolCommand(char* pszOut, size_t cbOut, const char* pszFolder, const char* pszTool,
                     const char* pszTail) {
    if (IsEmpty(pszFolder) || IsEmpty(pszTool))
        return Refuse(pszOut, cbOut);
    const char* pszQuote = (strchr(pszFolder, ' ') != nullptr) ? "\"" : "";
    return CTextBuilder(pszOut, cbOut)
        .Add(pszQuote)
        .Add(pszFolder)
        .Add("\\")
        .Add(pszTool)
        .Add(pszQuote)
        .Add(pszTail)
        .Fits();
}

int BuildUninstallCommand(char* pszOut, size_t cbOut, const char* pszFolder, const char* pszTool,
                          const char* pszInfName) {
    if (!BuildToolCommand(pszOut, cbOut, pszFolder, pszTool, nullptr) || IsEmpty(pszInfName) ||
        !FitsInQuotes(pszFolder) || !FitsInQuotes(pszInfName))
        return Refuse(pszOut, cbOut);
    const size_t cch = strlen(pszOut);
    return CTextBuilder(pszOut + cch, cbOut - cch)
               .Add(" /U \"")
               .Add(pszFolder)
               .Add("\\")
               .Add(pszInfName)
               .Add("\" /d /q")
               .Fits() ||
           Refuse(pszOut, cbOut);
}

int BuildRemoveCommand(char* pszOut, size_t cbOut, const char* pszFolder, const char* pszTool,
                       const char* pszHardwareId) {
    if (!BuildToolCommand(pszOut, cbOut, pszFolder, pszTool, nullptr) || IsEmpty(pszHardwareId) ||
        !FitsInQuotes(pszHardwareId))
        return Refuse(pszOut, cbOut);
    const size_t cch = strlen(pszOut);
    return CTextBuilder(pszOut + cch, cbOut - cch)
               .Add(" remove \"")
               .Add(pszHardwareId)
               .Add("\"")
               .Fits() ||
           Refuse(pszOut, cbOut);
}
