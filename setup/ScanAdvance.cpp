#include "setup/ScanAdvance.h"

#include <windows.h>

#include <shlobj.h>
#include <string.h>

#include <new>

#include "common/Handle.h"
#include "common/ReadWholeFile.h"
#include "setup/ScanAdvanceText.h"

namespace {

struct tagScanAdvanceContext {
    const char* pszPath;
    char szWindowsFolder[MAX_PATH];
    int bFolderKnown;
};

int CompareNoCase(void*, const char* pszA, const char* pszB) {
    return lstrcmpiA(pszA, pszB);
}

// The Windows folder as the platform reports it (no short form); asked for once per run.
int WindowsFolder(void* pContext, char* pszFolder, size_t cbFolder) {
    tagScanAdvanceContext& context = *static_cast<tagScanAdvanceContext*>(pContext);
    if (!context.bFolderKnown) {
        if (!SHGetSpecialFolderPathA(nullptr, context.szWindowsFolder, CSIDL_WINDOWS, FALSE))
            return 0;
        context.bFolderKnown = 1;
    }
    const size_t cch = strlen(context.szWindowsFolder);
    if (cch >= cbFolder)
        return 0;
    memcpy(pszFolder, context.szWindowsFolder, cch + 1);
    return 1;
}

void WriteValue(void* pContext, const char* pszSection, const char* pszKey, const char* pszValue) {
    const tagScanAdvanceContext& context = *static_cast<tagScanAdvanceContext*>(pContext);
    WritePrivateProfileStringA(pszSection, pszKey, pszValue, context.pszPath);
}

} // namespace

int TranslateScanAdvance(const char* pszPath) {
    if (pszPath == nullptr)
        return 0;
    CFileHandle file(CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return 0;
    // The lines are examined as the file stood when the command began: it is read whole and
    // closed before the profile writer rewrites it key by key.
    char* pText = nullptr;
    size_t cbText = 0;
    const int bRead = ReadWholeFile(file.get(), &pText, &cbText);
    file.reset();
    if (!bRead)
        return 1;

    tagScanAdvanceContext context = {};
    context.pszPath = pszPath;
    const tagScanAdvancePlatform platform = {&context, CompareNoCase, WindowsFolder, WriteValue};
    TranslateScanAdvanceText(pText, cbText, platform);
    delete[] pText;
    return 1;
}
