// Platform probe and child processes of the device controller.
#pragma once

#include <windows.h>

enum {
    // How long removal waits for each child before it goes on without it.
    RUN_HIDDEN_WAIT_MS = 60000
};

// Nonzero when this 32-bit process runs under WOW64 on 64-bit Windows. IsWow64Process is looked
// up at run time (Windows XP before SP2 lacks it); where it is missing or fails, 0.
int IsWow64();

// The folder of the program file pszModulePath, in short (8.3) form, into pszFolder (cbFolder
// bytes), without trailing backslash. Where no short form can be had (8.3 names disabled on the
// volume, or GetShortPathNameA failing) the long folder is used. ERROR_SUCCESS; else an error, with
// an empty folder: ERROR_BAD_PATHNAME when the path has no backslash, ERROR_INSUFFICIENT_BUFFER
// when the folder does not fit.
DWORD ProgramFolderOf(const char* pszModulePath, char* pszFolder, DWORD cbFolder);

// Starts pszCommandLine (writable: CreateProcessA may change it) with no application name, so
// the program is the line's first token, and waits up to dwWaitMs (INFINITE allowed) for it.
// The child's current directory is pszFolder (the program folder), never the one Torvane was
// started in: a tool that opens files or loads libraries by bare name finds them there, not in
// whatever directory the installer happened to run from. bHidden starts it with its window
// hidden; otherwise the program shows its window as it chooses. A child still running after the
// wait is left running. ERROR_SUCCESS when it was started; else ERROR_INVALID_PARAMETER for a
// null line or a null or empty folder, ERROR_FILENAME_EXCED_RANGE for a folder over MAX_PATH - 2
// characters, or CreateProcessA's error.
DWORD RunChildAndWait(char* pszCommandLine, const char* pszFolder, int bHidden, DWORD dwWaitMs);

// Runs pszCommandLine hidden from pszFolder and waits for it up to ulWaitMs (the product always
// uses RUN_HIDDEN_WAIT_MS). 1 when it was started, also when the wait ran out; 0 when it was not
// (see RunChildAndWait).
int RunHiddenAndWait(char* pszCommandLine, const char* pszFolder,
                     unsigned long ulWaitMs = RUN_HIDDEN_WAIT_MS);
