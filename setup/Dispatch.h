// Torvane's entry logic: split the command line, pick the command, run it, give the exit status.
#pragma once

#include <windows.h>

#include "setup/CommandLine.h"

class CDevCtr;
class CIniFile;

enum {
    EXIT_DONE = 0,
    EXIT_FILE_NOT_OPENED = -1 // a file the command must read or write cannot be opened
};

// Everything a command may use during the one run.
struct tagRunContext {
    HINSTANCE hInstance; // the program's module, to find its own folder
    const tagCommandLine* pLine;
    CDevCtr* pDevCtr;
    CIniFile* pIniFile;
    SERVICE_STATUS* pServiceStatus;
};

// Runs one command line (the text after the program's name) and returns the exit status.
int RunTorvane(HINSTANCE hInstance, const char* pszCommandLine);

// Upper-cases text in the system's ANSI code page.
void UpperCaseAnsi(char* pszText, unsigned int cch);

// Forms the path of the file a file command works on: the program's folder, the argument and,
// when there is an extra token, a blank and that token. Returns 0 when the path does not fit
// cbPath bytes (nothing is cut), else 1.
int FormFilePath(HINSTANCE hInstance, const tagCommandLine& line, char* pszPath, size_t cbPath);
