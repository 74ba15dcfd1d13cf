#include "common/FileReplace.h"

#include <string.h>

#include <sddl.h>

#include "common/Array.h"
#include "common/Diagnostics.h"
#include "common/FileTakeOver.h"
#include "common/PathText.h"
#include "common/ReadWholeFile.h"
#include "common/TextBuilder.h"

namespace {

const char NEW_FILE_PREFIX[] = "~trv";
// The pattern that finds the new files ended runs left behind.
const char NEW_FILE_PATTERN[] = "~trv*.tmp";
// New file names tried in turn ("~trv<pid>_<n>.tmp", n counting up), should earlier runs of a
// process of the same id have left some behind.
const unsigned NEW_FILE_NAMES_TRIED = 64;
// "~trv", a process id and a number, both in hex, ".tmp" and the NUL.
enum { NEW_FILE_NAME_SIZE = 4 + 8 + 1 + 8 + 4 + 1 };
// The private copy in its folder (a "~trv<pid>_<n>.tmp" folder beside the new file).
const char COPY_NAME[] = "\\copy.tmp";
// The private folder: the system and administrators only, nothing inherited from above.
const char COPY_FOLDER_SDDL[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Others may read a held file or folder, not write its data, rename or delete it.
const DWORD SHARE_HELD = FILE_SHARE_READ;
const DWORD SHARE_HELD_FOLDER = FILE_SHARE_READ | FILE_SHARE_WRITE;
// The new file: written, compressed, given security and times, renamed, all through one handle.
const DWORD NEW_FILE_ACCESS = GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC;

// FILE_RENAME_INFO, which the XP headers do not declare (common/FileTakeOver.h).
struct tagRenameInfo {
    BOOLEAN bReplaceIfExists;
    HANDLE hRootDirectory;
    DWORD cbFileName;
    WCHAR szFileName[MAX_PATH];
};

// Opens a folder and holds it: nobody may then rename or delete it (and put a link in its place)
// while the handle is open. A folder that is a reparse point (a junction or symbolic link) is
// opened as itself and refused, never followed. 0 when it cannot be opened or is refused.
int HoldFolder(const char* pszFolder, CFileHandle* pFolder, CHeldFileWait* pWait) {
    for (;;) {
        pFolder->reset(CreateFileA(
            pszFolder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, SHARE_HELD_FOLDER, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (*pFolder || pWait == nullptr || !pWait->PauseAfter(pszFolder))
            break;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (*pFolder && GetFileInformationByHandle(pFolder->get(), &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return 1;
    Diag("%s cannot be opened, or is a link (a reparse point): not used", pszFolder);
    pFolder->reset();
    return 0;
}

// Removes a private copy's folder that an ended run left, with the copy in it; a link put in its
// place is removed itself, nothing of what it points at.
void RemoveCopyFolder(const char* pszFolder) {
    char szCopy[MAX_PATH];
    CFileHandle folder;
    if (CTextBuilder(szCopy, sizeof(szCopy)).Add(pszFolder).Add(COPY_NAME).Fits() &&
        HoldFolder(pszFolder, &folder, nullptr))
        DeleteFileA(szCopy);
    folder.reset();
    RemoveDirectoryA(pszFolder);
}

// Deletes the "~trv<pid>_<n>.tmp" files (and private folders) of the folder whose process no
// longer runs: a run that was ended while it wrote leaves its new file behind. A file of a live
// process (one that OpenProcess still finds) is left to it.
void RemoveLeftNewFiles(const char* pszPath, size_t cchFolder) {
    char szPattern[MAX_PATH];
    if (!CTextBuilder(szPattern, sizeof(szPattern))
             .Add(pszPath, cchFolder)
             .Add(NEW_FILE_PATTERN)
             .Fits())
        return;
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA(szPattern, &data));
    if (!find)
        return;
    do {
        const char* p = data.cFileName + sizeof(NEW_FILE_PREFIX) - 1;
        DWORD dwPid = 0;
        int nDigits = 0;
        for (; nDigits < 8 && ((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f')); ++p) {
            dwPid = dwPid * 16 + static_cast<DWORD>(*p <= '9' ? *p - '0' : *p - 'a' + 10);
            ++nDigits;
        }
        if (nDigits == 0 || *p != '_' || dwPid == GetCurrentProcessId() ||
            !CTextBuilder(szPattern, sizeof(szPattern))
                 .Add(pszPath, cchFolder)
                 .Add(data.cFileName)
                 .Fits())
            continue;
        CKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, dwPid));
        if (process || GetLastError() != ERROR_INVALID_PARAMETER)
            continue; // the process runs (or cannot be told apart from one that does)
        Diag("%s: left by an ended run, removed", szPattern);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveCopyFolder(szPattern);
        else
            DeleteFileA(szPattern);
    } while (FindNextFileA(find.get(), &data));
}

} // namespace

int CHeldFileWait::PauseAfter(const char* pszPath) {
    const DWORD dwError = GetLastError();
    if (dwError == ERROR_ACCESS_DENIED) {
        // Refused for the file itself (read-only, a folder, gone), not for another handle.
        const DWORD dwAttributes = GetFileAttributesA(pszPath);
        if (dwAttributes == INVALID_FILE_ATTRIBUTES ||
            (dwAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            SetLastError(dwError);
            return 0;
        }
    } else if (dwError != ERROR_SHARING_VIOLATION && dwError != ERROR_LOCK_VIOLATION) {
        return 0;
    }
    const DWORD dwNow = GetTickCount();
    if (m_dwPause == 0) {
        m_dwStart = dwNow;
        m_dwPause = HELD_FILE_FIRST_PAUSE_MS;
    }
    const DWORD dwWaited = dwNow - m_dwStart;
    if (dwWaited >= HELD_FILE_WAIT_MS) {
        Diag("%s: still held by another process after %lu ms (error %lu): given up", pszPath,
             static_cast<unsigned long>(dwWaited), static_cast<unsigned long>(dwError));
        SetLastError(dwError);
        return 0;
    }
    const DWORD dwLeft = HELD_FILE_WAIT_MS - dwWaited;
    const DWORD dwPause = m_dwPause < dwLeft ? m_dwPause : dwLeft;
    Diag("%s is held by another process (error %lu): tried again in %lu ms", pszPath,
         static_cast<unsigned long>(dwError), static_cast<unsigned long>(dwPause));
    Sleep(dwPause);
    const DWORD dwLast = HELD_FILE_LAST_PAUSE_MS;
    m_dwPause = m_dwPause * 2 < dwLast ? m_dwPause * 2 : dwLast;
    return 1;
}

CFileReplacement::CFileReplacement() : m_oldInfo(), m_cchFolder(0), m_bPending(0) {
    m_szPath[0] = '\0';
    m_szNew[0] = '\0';
    m_szCopyFolder[0] = '\0';
    m_szCopy[0] = '\0';
}

CFileReplacement::~CFileReplacement() {
    RemoveCopy();
    m_file.reset();
    if (m_bPending)
        DeleteFileA(m_szNew);
}

int CFileReplacement::Open(const char* pszPath) {
    const size_t cchPath = pszPath != nullptr ? strlen(pszPath) : 0;
    if (cchPath == 0 || cchPath >= sizeof(m_szPath) || m_old || m_bPending)
        return 0;
    memcpy(m_szPath, pszPath, cchPath + 1);
    m_cchFolder = FolderPartLength(pszPath, IsAnsiLeadByte);
    // The folder by its name without the last separator (but for a drive's root), so that it is
    // the folder itself that is opened, a link included, not what a link points at; "." for no
    // folder, "C:." for the current one of a drive.
    char szFolder[MAX_PATH + 1];
    const char chLast = m_cchFolder > 0 ? pszPath[m_cchFolder - 1] : ':';
    const size_t cchFolder = chLast != ':' && m_cchFolder > 1 && pszPath[m_cchFolder - 2] != ':'
                                 ? m_cchFolder - 1
                                 : m_cchFolder;
    memcpy(szFolder, pszPath, cchFolder);
    lstrcpyA(szFolder + cchFolder, chLast == ':' ? "." : "");
    if (!HoldFolder(szFolder, &m_folder, &m_wait))
        return 0;

    // Opened as itself even when it is a link, so that a link is refused, not followed.
    for (;;) {
        m_old.reset(CreateFileA(pszPath, GENERIC_READ, SHARE_HELD, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (m_old || !m_wait.PauseAfter(pszPath))
            break;
    }
    if (!m_old || !GetFileInformationByHandle(m_old.get(), &m_oldInfo)) {
        m_old.reset();
        return 0;
    }
    if (m_oldInfo.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        Diag("%s is a link (a reparse point): not followed, not replaced", pszPath);
        m_old.reset();
        return 0;
    }
    return 1;
}

int CFileReplacement::ReadAgain(void* pThis) {
    CFileReplacement& replacement = *static_cast<CFileReplacement*>(pThis);
    return replacement.m_wait.PauseAfter(replacement.m_szPath);
}

int CFileReplacement::ReadOld(char* pBuffer, size_t cb, size_t* pcbRead) {
    return ReadFileInto(m_old.get(), pBuffer, cb, pcbRead, ReadAgain, this);
}

int CFileReplacement::ReadWholeOld(CArray<char>* pText) {
    return ReadWholeFile(m_old.get(), pText, WHOLE_FILE_MAX, ReadAgain, this);
}

// Makes "~trv<pid>_<n>.tmp" in the old file's folder, for n counting up from 0, as the new file
// (held in m_file) or, with bFolder, as a private folder; its path goes to pszName (MAX_PATH).
int CFileReplacement::MakeUnique(char* pszName, int bFolder, DWORD dwAttributes) {
    for (unsigned nTry = 0; nTry < NEW_FILE_NAMES_TRIED; ++nTry) {
        char szName[NEW_FILE_NAME_SIZE];
        wsprintfA(szName, "%s%lx_%x.tmp", NEW_FILE_PREFIX, GetCurrentProcessId(), nTry);
        if (!CTextBuilder(pszName, MAX_PATH).Add(m_szPath, m_cchFolder).Add(szName).Fits())
            return 0; // the name would not fit: nothing is cut
        if (bFolder) {
            SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, FALSE};
            PSECURITY_DESCRIPTOR pDescriptor = nullptr;
            if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
                    COPY_FOLDER_SDDL, SDDL_REVISION_1, &pDescriptor, nullptr))
                return 0;
            CLocalMemory descriptor(pDescriptor);
            security.lpSecurityDescriptor = pDescriptor;
            if (CreateDirectoryA(pszName, &security))
                return 1;
        } else {
            // The owner is given on where this account may give files owners.
            m_file.reset(CreateFileA(pszName, NEW_FILE_ACCESS | WRITE_OWNER, 0, nullptr, CREATE_NEW,
                                     dwAttributes, nullptr));
            if (!m_file && GetLastError() == ERROR_ACCESS_DENIED)
                m_file.reset(CreateFileA(pszName, NEW_FILE_ACCESS, 0, nullptr, CREATE_NEW,
                                         dwAttributes, nullptr));
            if (m_file)
                return 1;
        }
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS)
            return 0;
    }
    return 0;
}

int CFileReplacement::Begin() {
    if (!m_old || m_bPending)
        return 0;
    // A file that may not be written is refused as opening it for writing would be refused:
    // replacing it by a rename would otherwise succeed on some file systems (and under Wine
    // running as root, so would writing it in place).
    if (m_oldInfo.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
        Diag("%s is read-only or a folder: not replaced", m_szPath);
        return 0;
    }
    if (m_oldInfo.nNumberOfLinks > 1) {
        Diag("%s has other hard links: not replaced", m_szPath);
        return 0;
    }
    RemoveLeftNewFiles(m_szPath, m_cchFolder);
    const int bEncrypted = (m_oldInfo.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
    if (!MakeUnique(m_szNew, 0, bEncrypted ? FILE_ATTRIBUTE_ENCRYPTED : FILE_ATTRIBUTE_NORMAL))
        return 0;
    m_bPending = 1;
    // The text of an encrypted file is never written to a file that is not.
    BY_HANDLE_FILE_INFORMATION info;
    if (bEncrypted && (!GetFileInformationByHandle(m_file.get(), &info) ||
                       (info.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED) == 0)) {
        Diag("%s is encrypted and the new file cannot be: not replaced", m_szPath);
        return 0;
    }
    return 1;
}

int CFileReplacement::BeginCopy(const void* pBytes, size_t cb) {
    if (!m_bPending || m_szCopy[0] != '\0' || !MakeUnique(m_szCopyFolder, 1, 0))
        return 0;
    // Held, and checked: whoever may delete entries of the old file's folder could have put a
    // link in its place since it was made.
    if (!HoldFolder(m_szCopyFolder, &m_copyFolder, nullptr) ||
        !CTextBuilder(m_szCopy, sizeof(m_szCopy)).Add(m_szCopyFolder).Add(COPY_NAME).Fits()) {
        m_copyFolder.reset();
        RemoveDirectoryA(m_szCopyFolder);
        m_szCopyFolder[0] = '\0';
        return 0;
    }
    // Encrypted as the new file is, for an encrypted file.
    const DWORD dwEncrypted = m_oldInfo.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED;
    CFileHandle copy(CreateFileA(m_szCopy, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 dwEncrypted != 0 ? dwEncrypted : FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return copy && GetFileInformationByHandle(copy.get(), &info) &&
           (info.dwFileAttributes & dwEncrypted) == dwEncrypted &&
           WriteWholeBuffer(copy.get(), pBytes, cb);
}

// The private copy's bytes become the new file's.
int CFileReplacement::TakeCopy() {
    CArray<char> bytes;
    CFileHandle copy(CreateFileA(m_szCopy, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!copy || !ReadWholeFile(copy.get(), &bytes))
        return 0;
    copy.reset();
    RemoveCopy();
    return SetFilePointer(m_file.get(), 0, nullptr, FILE_BEGIN) == 0 &&
           WriteWholeBuffer(m_file.get(), bytes.Data(), bytes.Size() - 1) && // not the NUL
           SetEndOfFile(m_file.get());
}

void CFileReplacement::RemoveCopy() {
    if (m_szCopy[0] != '\0')
        DeleteFileA(m_szCopy);
    m_copyFolder.reset();
    if (m_szCopyFolder[0] != '\0')
        RemoveDirectoryA(m_szCopyFolder);
    m_szCopy[0] = '\0';
    m_szCopyFolder[0] = '\0';
}

// Moves the new file over the old one: through its handle where Windows can (Vista on); on XP
// by name, with the new file closed first, since the move opens it itself.
int CFileReplacement::Rename() {
    const PFN_SET_FILE_INFORMATION_BY_HANDLE pfnSet = SetInformationByHandle();
    if (pfnSet == nullptr) {
        m_file.reset();
        return MoveFileExA(m_szNew, m_szPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    tagRenameInfo rename = {};
    const int cch = MultiByteToWideChar(CP_ACP, 0, m_szPath, -1, rename.szFileName, MAX_PATH);
    if (cch <= 1)
        return 0;
    rename.bReplaceIfExists = TRUE;
    rename.cbFileName = static_cast<DWORD>(cch - 1) * sizeof(WCHAR);
    return pfnSet(m_file.get(), FILE_RENAME_INFO_CLASS, &rename, sizeof(rename)) &&
           FlushFileBuffers(m_file.get());
}

int CFileReplacement::Commit() {
    if (!m_bPending || !m_file || (m_szCopy[0] != '\0' && !TakeCopy()) ||
        !FlushFileBuffers(m_file.get()))
        return 0;

    // The new file takes the old one's place only with what the old one had, as the platform's
    // own replacement (ReplaceFile) keeps it. The owner is kept where this account may set it.
    // The short name is left to the file system, which gives a name taken over within seconds
    // the short name and creation time it had ("tunnelling").
    const DWORD dwOld = m_oldInfo.dwFileAttributes;
    const DWORD dwKept = dwOld & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    CopyCompression(dwOld, m_file.get());
    CopySecurity(m_old.get(), m_file.get(),
                 OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION);
    if (!CopySecurity(m_old.get(), m_file.get(), DACL_SECURITY_INFORMATION) ||
        !CopyStreams(m_szPath, m_szNew) ||
        !KeepTimeAndAttributes(m_file.get(), m_szNew, m_szPath, m_oldInfo.ftCreationTime,
                               dwKept != 0 ? dwKept : FILE_ATTRIBUTE_NORMAL)) {
        Diag("%s: its attributes, DACL, streams or creation time cannot be given to the new "
             "file",
             m_szPath);
        return 0;
    }
    // (ReplaceFile itself is not used: one of its documented failures leaves the old file under
    // another name and none under its own, and so would a run ended inside it.) The old file's
    // own hold would refuse the move: it ends here, and a hold of another process is waited for.
    m_old.reset();
    while (!Rename()) {
        if (!m_wait.PauseAfter(m_szPath))
            return 0;
    }
    m_bPending = 0;
    return 1;
}
