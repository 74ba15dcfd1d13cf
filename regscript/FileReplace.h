// Replacing a file by a new one written beside it, in one step, the new file keeping what the
// old one had. Used by TRANSLATEPATH and TRANSLATESCANADVANCE.
#pragma once

#include <windows.h>

#include "common/Handle.h"

class CFileReplacement {
public:
    CFileReplacement();
    // Deletes the new file unless it has taken the old one's place.
    ~CFileReplacement();
    CFileReplacement(const CFileReplacement&) = delete;
    CFileReplacement& operator=(const CFileReplacement&) = delete;

    // Checks that pszPath may be replaced: when it exists, it must be a file that is not
    // read-only and has no other hard link (a replacement would cut that link off the new
    // text). Then removes the new files that runs ended before their end left in its folder,
    // and creates the new file, "~trv<process id>_<n>.tmp" in the same folder. 0 when refused.
    int Begin(const char* pszPath);
    HANDLE File() const { return m_file.get(); }
    const char* NewPath() const { return m_szNew; }
    // Closes the new file, for writers that open it by name.
    void CloseFile() { m_file.reset(); }
    // Brings the new file to the disk, gives it the old file's attributes (hidden, system,
    // archive, not indexed) and DACL, and moves it over the old file. 0 when a step fails; the
    // old file is then unchanged.
    int Commit();

private:
    CFileHandle m_file;
    char m_szPath[MAX_PATH];
    char m_szNew[MAX_PATH];
    int m_bPending; // a new file exists that has not replaced the old one
};
