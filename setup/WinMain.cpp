// Torvane's entry point. The program never opens a window: it runs the one command named on
// its command line and exits with the status that command gives.
#include <windows.h>

#include "common/ProcAddress.h"
#include "setup/Dispatch.h"

namespace {

// Libraries loaded from now on by name (a system library's own later loads included) come from
// the system folder alone: not from the current directory, PATH or the program folder, where
// anyone who can write could have put a file of a system library's name. SetDefaultDllDirectories
// (Windows 8, and Vista or 7 with KB2533623) does that; elsewhere SetDllDirectoryA("") (XP SP1
// and later) at least takes the current directory out of the search. The product's own library
// is loaded by its full path (devctl/DevCtr.cpp), which no search setting affects.
void RestrictLibrarySearch() {
    typedef BOOL(WINAPI * PFN_SET_DEFAULT_DLL_DIRECTORIES)(DWORD);
    typedef BOOL(WINAPI * PFN_SET_DLL_DIRECTORY_A)(LPCSTR);
    HMODULE hKernel = GetModuleHandleA("kernel32");
    if (hKernel == nullptr)
        return;
    PFN_SET_DEFAULT_DLL_DIRECTORIES pfnSetDefaultDllDirectories =
        GetProcAs<PFN_SET_DEFAULT_DLL_DIRECTORIES>(hKernel, "SetDefaultDllDirectories");
    if (pfnSetDefaultDllDirectories != nullptr &&
        pfnSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    PFN_SET_DLL_DIRECTORY_A pfnSetDllDirectoryA =
        GetProcAs<PFN_SET_DLL_DIRECTORY_A>(hKernel, "SetDllDirectoryA");
    if (pfnSetDllDirectoryA != nullptr)
        pfnSetDllDirectoryA("");
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    RestrictLibrarySearch();
    return RunTorvane(hInstance, lpCmdLine);
}
