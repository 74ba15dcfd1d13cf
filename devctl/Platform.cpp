#include "devctl/Platform.h"

#include <string.h>

#include "common/PathText.h"
#include "common/Diagnostics.h"
#include "common/Handle.h"
#include "common/ProcAddress.h"

int IsWow64() {
    typedef BOOL(WINAPI * PFN_IS_WOW64_PROCESS)(HANDLE, PBOOL);
    PFN_IS_WOW64_PROCESS pfnIsWow64Process =
        GetSystemProc<PFN_IS_WOW64_PROCESS>("kernel32.dll", "IsWow64Process");
    BOOL bWow64 = FALSE;
    if (pfnIsWow64Process == nullptr || !pfnIsWow64Process(GetCurrentProcess(), &bWow64))
        return 0;
    return bWow64 ? 1 : 0;
}

DWORD ProgramFolderOf(const char* pszModulePath, char* pszFolder, DWORD cbFolder) {
    if (pszFolder == nullptr || cbFolder == 0)
        return ERROR_INVALID_PARAMETER;
    pszFolder[0] = '\0';
    if (pszModulePath == nullptr)
        return ERROR_INVALID_PARAMETER;
    const DWORD cchShort = GetShortPathNameA(pszModulePath, pszFolder, cbFolder);
    if (cchShort == 0 || cchShort >= cbFolder) {
        // No short form: the long path serves, quoted where the tools' command lines need it.
        const size_t cchLong = strlen(pszModulePath);
        if (cchLong >= cbFolder) {
            pszFolder[0] = '\0';
            return ERROR_INSUFFICIENT_BUFFER;
        }
        memcpy(pszFolder, pszModulePath, cchLong + 1);
    }
    // The last backslash that is a character of its own: in a double-byte code page the second
    // byte of a character can be 0x5C.
    const size_t cchFolder = FolderPartLength(pszFolder, IsAnsiLeadByte);
    if (cchFolder == 0 || pszFolder[cchFolder - 1] != '\\') {
        pszFolder[0] = '\0';
        return ERROR_BAD_PATHNAME;
    }
    pszFolder[cchFolder - 1] = '\0';
    return ERROR_SUCCESS;
}

DWORD RunChildAndWait(char* pszCommandLine, const char* pszFolder, int bHidden, DWORD dwWaitMs) {
    if (pszCommandLine == nullptr || pszFolder == nullptr || pszFolder[0] == '\0')
        return ERROR_INVALID_PARAMETER;
    // The folder with a backslash: "C:" alone would name the drive's current directory.
    char szDirectory[MAX_PATH];
    const size_t cchFolder = strlen(pszFolder);
    if (cchFolder + 2 > sizeof(szDirectory))
        return ERROR_FILENAME_EXCED_RANGE;
    memcpy(szDirectory, pszFolder, cchFolder);
    szDirectory[cchFolder] = '\\';
    szDirectory[cchFolder + 1] = '\0';
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (bHidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    CProcessInfo process;
    Diag("starting %s: %s", bHidden ? "hidden" : "shown", pszCommandLine);
    if (!CreateProcessA(nullptr, pszCommandLine, nullptr, nullptr, FALSE, 0, nullptr, szDirectory,
                        &startup, process.put())) {
        const DWORD dwError = GetLastError();
        Diag("could not start (error %lu)", dwError);
        return dwError;
    }
    // A child that outlasts the wait is neither ended nor waited for further; its exit code is
    // of no interest.
    const DWORD dwWait = WaitForSingleObject(process.process(), dwWaitMs);
    DWORD dwExitCode = 0;
    if (dwWait == WAIT_OBJECT_0 && GetExitCodeProcess(process.process(), &dwExitCode))
        Diag("ended with exit code %lu", dwExitCode);
    else
        Diag("still running after %lu ms: left running", dwWaitMs);
    return ERROR_SUCCESS;
}

int RunHiddenAndWait(char* pszCommandLine, const char* pszFolder, unsigned long ulWaitMs) {
    return RunChildAndWait(pszCommandLine, pszFolder, 1, ulWaitMs) == ERROR_SUCCESS;
}
