// Replacing a file by a new one written beside it, in one step, the new file keeping what the
// old one had. Used by TRANSLATEPATH and TRANSLATESCANADVANCE.
//
// The old file and its folder are held open, without delete sharing, from the first read to the
// replacement, and so is the new file from its creation on: while they are held no other
// process can rename or delete them and put a link in their place, so every name this code uses
// keeps naming the file it checked. A file another process holds is waited for, a bounded time
// for the whole replacement (HELD_FILE_WAIT_MS).
#pragma once

#include <windows.h>

#include "common/Array.h"
#include "common/Handle.h"

enum {
    HELD_FILE_WAIT_MS = 30000, // the longest wait for files other processes hold, in all
    HELD_FILE_FIRST_PAUSE_MS = 50,
    HELD_FILE_LAST_PAUSE_MS = 1000 // pauses double from the first up to this one
};

// Waits out other processes' holds on a file: one deadline, from the first hold met, for every
// step that meets one.
class CHeldFileWait {
public:
    CHeldFileWait() : m_dwStart(0), m_dwPause(0) {}
    // Called after a step on pszPath failed. When the failure (GetLastError) comes from another
    // process's handle (a sharing or lock violation, or access refused to a file that is not
    // read-only, as for one that is being deleted) and the deadline has not passed, pauses and
    // returns 1: the step is to be tried again. Otherwise 0, the error kept.
    int PauseAfter(const char* pszPath);

private:
    DWORD m_dwStart; // tick count of the first hold met
    DWORD m_dwPause; // the next pause; 0 until a hold is met
};

class CFileReplacement {
public:
    CFileReplacement();
    // Deletes the new file (and the private copy) unless it has taken the old one's place.
    ~CFileReplacement();
    CFileReplacement(const CFileReplacement&) = delete;
    CFileReplacement& operator=(const CFileReplacement&) = delete;

    // Opens pszPath for reading, and its folder, and holds both. Refuses (0) a path that does not
    // fit, a file or folder that is a reparse point (a symbolic link or junction, which is not
    // followed), and a file that cannot be opened within the wait.
    int Open(const char* pszPath);
    HANDLE OldFile() const { return m_old.get(); }
    // Reads the opened file (cb bytes at most into pBuffer; or whole into *pText), a range
    // another process has locked waited for as a held file is. 0 on a read error.
    int ReadOld(char* pBuffer, size_t cb, size_t* pcbRead);
    int ReadWholeOld(CArray<char>* pText);
    // Checks that the opened file may be replaced: not read-only, no other hard link (a
    // replacement would cut that link off the new text). Then removes the new files that runs
    // ended before their end left in its folder, and creates the new file,
    // "~trv<process id>_<n>.tmp" in the same folder, held. 0 when refused.
    int Begin();
    HANDLE File() const { return m_file.get(); }
    // For a writer that works only by name (the profile writer): makes a private folder beside
    // the new file that only administrators and the system can enter, and in it a copy of the
    // cb bytes at pBytes, whose path CopyPath gives. Nobody else can put a link in its place.
    int BeginCopy(const void* pBytes, size_t cb);
    const char* CopyPath() const { return m_szCopy; }
    // Brings the new file to the disk (with the private copy's bytes, when there is one), gives
    // it the old file's attributes (hidden, system, archive, not indexed), creation time, DACL and
    // streams, and moves it over the old file. 0 when a step fails; the old file is then
    // unchanged.
    int Commit();

private:
    static int ReadAgain(void* pThis);
    int MakeUnique(char* pszName, int bFolder, DWORD dwAttributes);
    int TakeCopy();
    void RemoveCopy();
    int Rename();

    CHeldFileWait m_wait;
    CFileHandle m_folder;     // the old file's folder, held
    CFileHandle m_old;        // the old file, held until the rename
    CFileHandle m_file;       // the new file
    CFileHandle m_copyFolder; // the private copy's folder, held
    BY_HANDLE_FILE_INFORMATION m_oldInfo;
    char m_szPath[MAX_PATH];
    char m_szNew[MAX_PATH];
    char m_szCopyFolder[MAX_PATH];
    char m_szCopy[MAX_PATH];
    size_t m_cchFolder;
    int m_bPending; // a new file exists that has not replaced the old one
};
