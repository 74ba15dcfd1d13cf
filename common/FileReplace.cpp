#include "common/FileReplace.h"

#include <string.h>

#include <sddl.h>
#include <winioctl.h>

#include "common/Array.h"
#include "common/Diagnostics.h"
#include "common/PathText.h"
#include "common/ProcAddress.h"
#include "common/ReadWholeFile.h"

namespace {

const char NEW_FILE_PREFIX[] = "~trv";
// The pattern that finds the new files ended runs left behind.
const char NEW_FILE_PATTERN[] = "~trv*.tmp";
// New file names tried in turn ("~trv<pid>_<n>.tmp", n counting up), should earlier runs of a
// process of the same id have left some behind.
const unsigned NEW_FILE_NAMES_TRIED = 64;
// "~trv", a process id and a number, both in hex, ".tmp" and the NUL.
enum { NEW_FILE_NAME_SIZE = 4 + 8 + 1 + 8 + 4 + 1 };
// Alternate data streams are copied through a buffer of this size.
enum { STREAM_CHUNK_SIZE = 8192 };
// The private copy in its folder (a "~trv<pid>_<n>.tmp" folder beside the new file).
const char COPY_NAME[] = "\\copy.tmp";
// The private folder: the system and administrators only, nothing inherited from above.
const char COPY_FOLDER_SDDL[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Others may read a held file or folder, not write its data, rename or delete it.
const DWORD SHARE_HELD = FILE_SHARE_READ;
const DWORD SHARE_HELD_FOLDER = FILE_SHARE_READ | FILE_SHARE_WRITE;
// The new file: written, compressed, given security and times, renamed, all through one handle.
const DWORD NEW_FILE_ACCESS = GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC;

// FILE_BASIC_INFO and FILE_RENAME_INFO of SetFileInformationByHandle (Vista on), which the XP
// headers this builds with do not declare; the classes FileBasicInfo and FileRenameInfo.
struct tagBasicInfo {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime; // 0: left as it is
    DWORD dwFileAttributes;
};
struct tagRenameInfo {
    BOOLEAN bReplaceIfExists;
    HANDLE hRootDirectory;
    DWORD cbFileName;
    WCHAR szFileName[MAX_PATH];
};
enum { FILE_BASIC_INFO_CLASS = 0, FILE_RENAME_INFO_CLASS = 3 };
typedef BOOL(WINAPI* PFN_SET_FILE_INFORMATION_BY_HANDLE)(HANDLE, int, LPVOID, DWORD);

// SetFileInformationByHandle; null on Windows XP, which lacks it.
PFN_SET_FILE_INFORMATION_BY_HANDLE SetInformationByHandle() {
    return GetSystemProc<PFN_SET_FILE_INFORMATION_BY_HANDLE>("kernel32.dll",
                                                             "SetFileInformationByHandle");
}

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
    const size_t cchFolder = strlen(pszFolder);
    CFileHandle folder;
    if (cchFolder + sizeof(COPY_NAME) <= sizeof(szCopy) &&
        HoldFolder(pszFolder, &folder, nullptr)) {
        memcpy(szCopy, pszFolder, cchFolder);
        memcpy(szCopy + cchFolder, COPY_NAME, sizeof(COPY_NAME));
        DeleteFileA(szCopy);
    }
    folder.reset();
    RemoveDirectoryA(pszFolder);
}

// Deletes the "~trv<pid>_<n>.tmp" files (and private folders) of the folder whose process no
// longer runs: a run that was ended while it wrote leaves its new file behind. A file of a live
// process (one that OpenProcess still finds) is left to it.
void RemoveLeftNewFiles(const char* pszPath, size_t cchFolder) {
    char szPattern[MAX_PATH];
    if (cchFolder + sizeof(NEW_FILE_PATTERN) > sizeof(szPattern))
        return;
    memcpy(szPattern, pszPath, cchFolder);
    lstrcpyA(szPattern + cchFolder, NEW_FILE_PATTERN);
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
            cchFolder + strlen(data.cFileName) >= sizeof(szPattern))
            continue;
        CKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, dwPid));
        if (process || GetLastError() != ERROR_INVALID_PARAMETER)
            continue; // the process runs (or cannot be told apart from one that does)
        lstrcpyA(szPattern + cchFolder, data.cFileName);
        Diag("%s: left by an ended run, removed", szPattern);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveCopyFolder(szPattern);
        else
            DeleteFileA(szPattern);
    } while (FindNextFileA(find.get(), &data));
}

// Gives hTo the parts of hFrom's security descriptor named by info, as they are (no inherited
// entries are worked out again). 1 when done or when hFrom has none to give (a volume without
// security); 0 when it cannot be read or the new file could not take it.
int CopySecurity(HANDLE hFrom, HANDLE hTo, SECURITY_INFORMATION info) {
    DWORD cbNeeded = 0;
    if (!GetKernelObjectSecurity(hFrom, info, nullptr, 0, &cbNeeded)) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_NOT_SUPPORTED || dwError == ERROR_INVALID_FUNCTION ||
            dwError == ERROR_CALL_NOT_IMPLEMENTED)
            return 1;
        if (dwError != ERROR_INSUFFICIENT_BUFFER)
            return 0;
    }
    CArray<BYTE> descriptor;
    return descriptor.SetSize(cbNeeded + 1) &&
           GetKernelObjectSecurity(hFrom, info, descriptor.Data(), cbNeeded, &cbNeeded) &&
           SetKernelObjectSecurity(hTo, info, descriptor.Data());
}

// Gives the new file the old one's creation time and the attributes dwAttributes. Windows
// Installer tells a file changed since its installation (kept on repair and upgrade) by a
// modified time later than its creation time: a rewritten file with a fresh creation time would
// count as untouched and be overwritten with the original text, placeholder and all. Through
// the handle where Windows can (Vista on); on XP the attributes are set by name, which the held
// new file keeps naming.
int KeepTimeAndAttributes(HANDLE hNew, const char* pszNew, const char* pszOld,
                          const FILETIME& creation, DWORD dwAttributes) {
    tagBasicInfo basic = {};
    basic.creationTime.LowPart = creation.dwLowDateTime;
    basic.creationTime.HighPart = static_cast<LONG>(creation.dwHighDateTime);
    basic.dwFileAttributes = dwAttributes;
    Diag("%s: the new file takes its creation time %08lx%08lx", pszOld,
         static_cast<unsigned long>(basic.creationTime.HighPart),
         static_cast<unsigned long>(basic.creationTime.LowPart));
    const PFN_SET_FILE_INFORMATION_BY_HANDLE pfnSet = SetInformationByHandle();
    if (pfnSet != nullptr)
        return pfnSet(hNew, FILE_BASIC_INFO_CLASS, &basic, sizeof(basic));
    const FILETIME time = {basic.creationTime.LowPart,
                           static_cast<DWORD>(basic.creationTime.HighPart)};
    return SetFileTime(hNew, &time, nullptr, nullptr) && SetFileAttributesA(pszNew, dwAttributes);
}

// Copies one stream, named by full paths ("file:name:$DATA"), byte for byte, to the disk.
int CopyStream(const WCHAR* pszFrom, const WCHAR* pszTo) {
    CFileHandle from(CreateFileW(pszFrom, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    CFileHandle to(
        CreateFileW(pszTo, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!from || !to)
        return 0;
    char abChunk[STREAM_CHUNK_SIZE];
    for (;;) {
        DWORD cbRead = 0;
        if (!ReadFile(from.get(), abChunk, sizeof(abChunk), &cbRead, nullptr))
            return 0;
        if (cbRead == 0)
            return FlushFileBuffers(to.get());
        DWORD cbWritten = 0;
        if (!WriteFile(to.get(), abChunk, cbRead, &cbWritten, nullptr) || cbWritten != cbRead)
            return 0;
    }
}

// Gives the new file each alternate data stream of the old one (a download's zone mark, data
// other programs keep beside the text): replaced by the bare new file, they would be lost.
// Streams are listed with FindFirstStreamW, which Windows has from Vista on; on Windows XP they
// are not kept. They are named by the files' paths, which keep naming the two held files. 1 when
// every stream was copied or there is none.
int CopyStreams(const char* pszOld, const char* pszNew) {
    typedef HANDLE(WINAPI * PFN_FIND_FIRST_STREAM)(LPCWSTR, STREAM_INFO_LEVELS, LPVOID, DWORD);
    typedef BOOL(WINAPI * PFN_FIND_NEXT_STREAM)(HANDLE, LPVOID);
    const PFN_FIND_FIRST_STREAM pfnFirst =
        GetSystemProc<PFN_FIND_FIRST_STREAM>("kernel32.dll", "FindFirstStreamW");
    const PFN_FIND_NEXT_STREAM pfnNext =
        GetSystemProc<PFN_FIND_NEXT_STREAM>("kernel32.dll", "FindNextStreamW");
    if (pfnFirst == nullptr || pfnNext == nullptr)
        return 1;

    // Each stream is opened by the file's path followed by the stream's ":name:$DATA".
    WCHAR szFrom[MAX_PATH + MAX_PATH + 36];
    WCHAR szTo[MAX_PATH + MAX_PATH + 36];
    const int cchOld = MultiByteToWideChar(CP_ACP, 0, pszOld, -1, szFrom, MAX_PATH) - 1;
    const int cchNew = MultiByteToWideChar(CP_ACP, 0, pszNew, -1, szTo, MAX_PATH) - 1;
    if (cchOld < 0 || cchNew < 0)
        return 0;
    WIN32_FIND_STREAM_DATA data;
    CFindHandle find(pfnFirst(szFrom, FindStreamInfoStandard, &data, 0));
    if (!find) // ERROR_HANDLE_EOF: no stream at all; other errors: a volume without streams
        return GetLastError() == ERROR_HANDLE_EOF || GetLastError() == ERROR_INVALID_PARAMETER ||
               GetLastError() == ERROR_NOT_SUPPORTED || GetLastError() == ERROR_INVALID_FUNCTION;
    do {
        if (lstrcmpiW(data.cStreamName, L"::$DATA") == 0)
            continue; // the file's own text
        lstrcpyW(szFrom + cchOld, data.cStreamName);
        lstrcpyW(szTo + cchNew, data.cStreamName);
        if (!CopyStream(szFrom, szTo)) {
            Diag("%s: its stream %ls cannot be copied", pszOld, data.cStreamName);
            return 0;
        }
    } while (pfnNext(find.get(), &data));
    return GetLastError() == ERROR_HANDLE_EOF;
}

// Compresses the new file as the old one is compressed. Only the way the file is stored: where
// the volume cannot, the new file stays as it is.
void CopyCompression(DWORD dwOldAttributes, HANDLE hNew) {
    if ((dwOldAttributes & FILE_ATTRIBUTE_COMPRESSED) == 0)
        return;
    USHORT nFormat = COMPRESSION_FORMAT_DEFAULT;
    DWORD cbReturned = 0;
    DeviceIoControl(hNew, FSCTL_SET_COMPRESSION, &nFormat, sizeof(nFormat), nullptr, 0, &cbReturned,
                    nullptr);
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
        const int cchName =
            wsprintfA(szName, "%s%lx_%x.tmp", NEW_FILE_PREFIX, GetCurrentProcessId(), nTry);
        if (m_cchFolder + static_cast<size_t>(cchName) >= MAX_PATH)
            return 0; // the name would not fit: nothing is cut
        memcpy(pszName, m_szPath, m_cchFolder);
        memcpy(pszName + m_cchFolder, szName, static_cast<size_t>(cchName) + 1);
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
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
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
    const size_t cchFolder = strlen(m_szCopyFolder);
    if (!HoldFolder(m_szCopyFolder, &m_copyFolder, nullptr) ||
        cchFolder + sizeof(COPY_NAME) > sizeof(m_szCopy)) {
        RemoveDirectoryA(m_szCopyFolder);
        m_szCopyFolder[0] = '\0';
        return 0;
    }
    memcpy(m_szCopy, m_szCopyFolder, cchFolder);
    memcpy(m_szCopy + cchFolder, COPY_NAME, sizeof(COPY_NAME));
    // Encrypted as the new file is, for an encrypted file.
    const DWORD dwEncrypted = m_oldInfo.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED;
    CFileHandle copy(CreateFileA(m_szCopy, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 dwEncrypted != 0 ? dwEncrypted : FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    DWORD cbWritten = 0;
    return copy && GetFileInformationByHandle(copy.get(), &info) &&
           (info.dwFileAttributes & dwEncrypted) == dwEncrypted &&
           (cb == 0 ||
            (WriteFile(copy.get(), pBytes, static_cast<DWORD>(cb), &cbWritten, nullptr) &&
             cbWritten == cb));
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
    DWORD cbWritten = 0;
    const DWORD cbCopy = static_cast<DWORD>(bytes.Size() - 1); // without the reader's NUL
    return SetFilePointer(m_file.get(), 0, nullptr, FILE_BEGIN) == 0 &&
           (cbCopy == 0 || (WriteFile(m_file.get(), bytes.Data(), cbCopy, &cbWritten, nullptr) &&
                            cbWritten == cbCopy)) &&
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
