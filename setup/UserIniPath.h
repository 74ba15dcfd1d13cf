// The two paths of Deleteuserini: the settings folder below the user's application-data folder
// and the settings file in it.
//
// Pure text logic: no Win32 call is made here. The caller passes in the lead-byte test of the
// system's ANSI code page, so that a backslash inside a double-byte character is never taken
// for a separator; the code can also be built and fuzzed natively.
#pragma once

#include <stddef.h>

#include "common/PathText.h"

enum { USER_INI_PATH_SIZE = 260 };

struct tagUserIniPaths {
    char szFolder[USER_INI_PATH_SIZE]; // application-data folder, "\", the whole argument
    char szFile[USER_INI_PATH_SIZE];   // the folder, "\", the name part, ".ini"
    int bHasFile;                      // 0: the argument has no name part, no file is named
};

// Nonzero when pszAppData can be the base of the paths: a full path, drive-qualified ("C:\")
// or UNC ("\\server"). Anything else would resolve against the current drive or folder.
int IsUsableAppDataFolder(const char* pszAppData);

// Nonzero when pszArgument keeps both paths inside the application-data folder: not empty,
// not rooted, no ":" (drive or stream), and no component made only of dots and blanks ("." and
// ".." above all). Both "\" and "/" separate components, as they do for the file system.
int IsConfinedArgument(const char* pszArgument, PFN_ISLEADBYTE pfnIsLeadByte);

// Forms both paths. The name part is what follows the argument's first backslash; a name part
// that is empty or ends in a separator names no file (bHasFile 0). Returns 1 when the paths are
// formed; 0, with *pOut emptied, when the folder or argument is refused or a path would not fit
// its buffer: nothing may then be deleted.
int FormUserIniPaths(const char* pszAppData, const char* pszArgument, PFN_ISLEADBYTE pfnIsLeadByte,
                     tagUserIniPaths* pOut);
