#include "common/WindowsText.h"

#include <windows.h>

#include <shlobj.h>
#include <string.h>

namespace {

// The Windows folder does not change during a run: each form is asked for once.
struct tagWindowsFolderCache {
    char szLong[MAX_PATH];
    char szShort[MAX_PATH];
    int bLongKnown;
    int bShortKnown;
};

tagWindowsFolderCache g_WindowsFolder;

const char* LongFolder() {
    tagWindowsFolderCache& cache = g_WindowsFolder;
    if (!cache.bLongKnown) {
        if (!SHGetSpecialFolderPathA(nullptr, cache.szLong, CSIDL_WINDOWS, FALSE))
            return nullptr;
        cache.szLong[sizeof(cache.szLong) - 1] = '\0';
        cache.bLongKnown = 1;
    }
    return cache.szLong;
}

const char* ShortFolder() {
    tagWindowsFolderCache& cache = g_WindowsFolder;
    if (!cache.bShortKnown) {
        const char* pszLong = LongFolder();
        if (pszLong == nullptr)
            return nullptr;
        const DWORD cchShort = GetShortPathNameA(pszLong, cache.szShort, sizeof(cache.szShort));
        if (cchShort == 0 || cchShort >= sizeof(cache.szShort))
            lstrcpynA(cache.szShort, pszLong, sizeof(cache.szShort));
        cache.bShortKnown = 1;
    }
    return cache.szShort;
}

int CopyFolder(const char* pszCached, char* pszFolder, size_t cbFolder) {
    if (pszCached == nullptr)
        return 0;
    const size_t cch = strlen(pszCached);
    if (cch >= cbFolder)
        return 0;
    memcpy(pszFolder, pszCached, cch + 1);
    return 1;
}

} // namespace

int CompareNoCaseAnsi(void*, const char* pszA, const char* pszB) {
    return lstrcmpiA(pszA, pszB);
}

int WindowsFolderLong(void*, char* pszFolder, size_t cbFolder) {
    return CopyFolder(LongFolder(), pszFolder, cbFolder);
}

int WindowsFolderShort(void*, char* pszFolder, size_t cbFolder) {
    return CopyFolder(ShortFolder(), pszFolder, cbFolder);
}
