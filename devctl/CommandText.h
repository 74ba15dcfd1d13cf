// Paths and command lines of the driver tools, built into fixed buffers.
//
// Pure text logic, no Win32 call. Every builder refuses (returns 0, leaves an empty string)
// rather than cut: a shortened path or command line could name another file or program.
#pragma once

#include <stddef.h>

// "<folder>\<name>" into pszOut (cbOut bytes). 0 when the folder or the name is empty, or the
// result does not fit.
int BuildFilePath(char* pszOut, size_t cbOut, const char* pszFolder, const char* pszName);

// "<folder>\<tool><tail>" into pszOut: the command line of a tool in the program folder. The
// program folder is normally in short form and has no blank; where it has one (no short form
// exists), the tool's path is put in double quotes so that it cannot be split at the blank.
// pszTail (may be null) follows as given, e.g. " /Q". 0 when the folder or the tool is empty,
// or the command line does not fit.
int BuildToolCommand(char* pszOut, size_t cbOut, const char* pszFolder, const char* pszTool,
                     const char* pszTail);

// The package installer's uninstall line: <tool> /U "<folder>\<inf>" /d /q
// Refused (0) also when the INF path holds a double quote, which no file name can hold.
int BuildUninstallCommand(char* pszOut, size_t cbOut, const char* pszFolder, const char* pszTool,
                          const char* pszInfName);

// The device console's remove line for one hardware id: <tool> remove "<id>"
// Refused (0) also when the id holds a double quote.
int BuildRemoveCommand(char* pszOut, size_t cbOut, const char* pszFolder, const char* pszTool,
                       const char* pszHardwareId);
