// Torvane's entry point. The program never opens a window: it runs the one command named on
// its command line and exits with the status that command gives.
#include <windows.h>

#include "common/ProcAddress.h"
#include "setup/Dispatch.h"

namespace {

// Libraries loaded by bare name from now on (the product's library's own run-time loads, and a
// system library's later loads of others) come from the program folder and the system folder
// only: never from the current directory or PATH, where anyone could have put a file of such a
// name. The program folder stays searched, as the product's library was built to find its
// companions there, and it is trusted already: the tools started from it run elevated too.
// SetDefaultDllDirectories (Windows 8, and Vista or 7 with KB2533623) does that; elsewhere
// SetDllDirectoryA("") (XP SP1 and later) takes the current directory out of the search, and
// PATH stays in it. The product's library itself is loaded by its full path (devctl/DevCtr.cpp).
void RestrictLibrarySearch() {
    typedef BOOL(WINAPI * PFN_SET_DEFAULT_DLL_DIRECTORIES)(DWORD);
    typedef BOOL(WINAPI * PFN_SET_DLL_DIRECTORY_A)(LPCSTR);
    PFN_SET_DEFAULT_DLL_DIRECTORIES pfnSetDefaultDllDirectories =
        GetSystemProc<PFN_SET_DEFAULT_DLL_DIRECTORIES>("kernel32.dll", "SetDefaultDllDirectories");
    if (pfnSetDefaultDllDirectories != nullptr &&
        pfnSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                    LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    PFN_SET_DLL_DIRECTORY_A pfnSetDllDirectoryA =
        GetSystemProc<PFN_SET_DLL_DIRECTORY_A>("kernel32.dll", "SetDllDirectoryA");
    if (pfnSetDllDirectoryA != nullptr)
        pfnSetDllDirectoryA("");
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    RestrictLibrarySearch();
    return RunTorvane(hInstance, lpCmdLine);
}
