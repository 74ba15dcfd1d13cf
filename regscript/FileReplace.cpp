#include "regscript/FileReplace.h"

#include <string.h>

#include <winioctl.h>

#include "common/Array.h"
#include "common/Diagnostics.h"
#include "common/ProcAddress.h"

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

// The length of the folder part of pszPath, its last separator included.
size_t FolderLength(const char* pszPath) {
    size_t cch = strlen(pszPath);
    while (cch > 0 && pszPath[cch - 1] != '\\' && pszPath[cch - 1] != '/' &&
           pszPath[cch - 1] != ':')
        --cch;
    return cch;
}

// Deletes the "~trv<pid>_<n>.tmp" files of the folder whose process no longer runs: a run that
// was ended while it wrote leaves its new file behind. A file of a live process (one that
// OpenProcess still finds) is left to it.
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
        DeleteFileA(szPattern);
    } while (FindNextFileA(find.get(), &data));
}

// Gives pszNew the parts of pszOld's security descriptor named by info. 1 when done or when
// pszOld has none to give (a volume without security); 0 when it cannot be read or the new file
// could not take it.
int CopySecurity(const char* pszOld, const char* pszNew, SECURITY_INFORMATION info) {
    DWORD cbNeeded = 0;
    if (!GetFileSecurityA(pszOld, info, nullptr, 0, &cbNeeded)) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_NOT_SUPPORTED || dwError == ERROR_INVALID_FUNCTION ||
            dwError == ERROR_CALL_NOT_IMPLEMENTED)
            return 1;
        if (dwError != ERROR_INSUFFICIENT_BUFFER)
            return 0;
    }
    CArray<BYTE> descriptor;
    return descriptor.Reserve(cbNeeded + 1) &&
           GetFileSecurityA(pszOld, info, descriptor.Data(), cbNeeded, &cbNeeded) &&
           SetFileSecurityA(pszNew, info, descriptor.Data());
}

// Gives the new file the old one's creation time. Windows Installer tells a file changed since
// its installation (kept on repair and upgrade) by a modified time later than its creation
// time: a rewritten file with a fresh creation time would count as untouched and be overwritten
// with the original text, placeholder and all.
int CopyCreationTime(const char* pszOld, const char* pszNew) {
    const DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    CFileHandle old(
        CreateFileA(pszOld, FILE_READ_ATTRIBUTES, dwShare, nullptr, OPEN_EXISTING, 0, nullptr));
    CFileHandle created(
        CreateFileA(pszNew, FILE_WRITE_ATTRIBUTES, dwShare, nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME creation;
    if (!old || !created || !GetFileTime(old.get(), &creation, nullptr, nullptr) ||
        !SetFileTime(created.get(), &creation, nullptr, nullptr))
        return 0;
    Diag("%s: the new file takes its creation time %08lx%08lx", pszOld, creation.dwHighDateTime,
         creation.dwLowDateTime);
    return 1;
}

// Copies one stream, named by full paths ("file:name:$DATA"), byte for byte.
int CopyStream(const WCHAR* pszFrom, const WCHAR* pszTo) {
    CFileHandle from(CreateFileW(pszFrom, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    CFileHandle to(CreateFileW(pszTo, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!from || !to)
        return 0;
    char abChunk[STREAM_CHUNK_SIZE];
    for (;;) {
        DWORD cbRead = 0;
        if (!ReadFile(from.get(), abChunk, sizeof(abChunk), &cbRead, nullptr))
            return 0;
        if (cbRead == 0)
            return 1;
        DWORD cbWritten = 0;
        if (!WriteFile(to.get(), abChunk, cbRead, &cbWritten, nullptr) || cbWritten != cbRead)
            return 0;
    }
}

// Gives the new file each alternate data stream of the old one (a download's zone mark, data
// other programs keep beside the text): replaced by the bare new file, they would be lost.
// Streams are listed with FindFirstStreamW, which Windows has from Vista on; on Windows XP they
// are not kept. 1 when every stream was copied or there is none.
int CopyStreams(const char* pszOld, const char* pszNew) {
    typedef HANDLE(WINAPI * PFN_FIND_FIRST_STREAM)(LPCWSTR, STREAM_INFO_LEVELS, LPVOID, DWORD);
    typedef BOOL(WINAPI * PFN_FIND_NEXT_STREAM)(HANDLE, LPVOID);
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    const PFN_FIND_FIRST_STREAM pfnFirst =
        hKernel != nullptr ? GetProcAs<PFN_FIND_FIRST_STREAM>(hKernel, "FindFirstStreamW")
                           : nullptr;
    const PFN_FIND_NEXT_STREAM pfnNext =
        hKernel != nullptr ? GetProcAs<PFN_FIND_NEXT_STREAM>(hKernel, "FindNextStreamW") : nullptr;
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
void CopyCompression(DWORD dwOldAttributes, const char* pszNew) {
    if ((dwOldAttributes & FILE_ATTRIBUTE_COMPRESSED) == 0)
        return;
    CFileHandle file(
        CreateFileA(pszNew, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    USHORT nFormat = COMPRESSION_FORMAT_DEFAULT;
    DWORD cbReturned = 0;
    if (file)
        DeviceIoControl(file.get(), FSCTL_SET_COMPRESSION, &nFormat, sizeof(nFormat), nullptr, 0,
                        &cbReturned, nullptr);
}

} // namespace

CFileReplacement::CFileReplacement() : m_bPending(0) {
    m_szPath[0] = '\0';
    m_szNew[0] = '\0';
}

CFileReplacement::~CFileReplacement() {
    m_file.reset();
    if (m_bPending)
        DeleteFileA(m_szNew);
}

int CFileReplacement::Begin(const char* pszPath) {
    const size_t cchPath = pszPath != nullptr ? strlen(pszPath) : 0;
    if (cchPath == 0 || cchPath >= sizeof(m_szPath) || m_bPending)
        return 0;
    memcpy(m_szPath, pszPath, cchPath + 1);

    // A file that may not be written is refused as opening it for writing would be refused:
    // replacing it by a rename would otherwise succeed on some file systems (and under Wine
    // running as root, so would writing it in place).
    const DWORD dwAttributes = GetFileAttributesA(pszPath);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES) {
        if (dwAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
            Diag("%s is read-only or a folder: not replaced", pszPath);
            return 0;
        }
        CFileHandle old(CreateFileA(pszPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!old || !GetFileInformationByHandle(old.get(), &info) || info.nNumberOfLinks > 1) {
            Diag("%s has other hard links (or cannot be examined): not replaced", pszPath);
            return 0;
        }
    }

    const int bEncrypted =
        dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
    const size_t cchFolder = FolderLength(pszPath);
    RemoveLeftNewFiles(pszPath, cchFolder);
    for (unsigned nTry = 0; nTry < NEW_FILE_NAMES_TRIED; ++nTry) {
        char szName[NEW_FILE_NAME_SIZE];
        const int cchName =
            wsprintfA(szName, "%s%lx_%x.tmp", NEW_FILE_PREFIX, GetCurrentProcessId(), nTry);
        if (cchFolder + static_cast<size_t>(cchName) >= sizeof(m_szNew))
            return 0; // the name would not fit: nothing is cut
        memcpy(m_szNew, pszPath, cchFolder);
        memcpy(m_szNew + cchFolder, szName, static_cast<size_t>(cchName) + 1);
        m_file.reset(CreateFileA(m_szNew, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 bEncrypted ? FILE_ATTRIBUTE_ENCRYPTED : FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
        if (m_file) {
            m_bPending = 1;
            // The text of an encrypted file is never written to a file that is not.
            const DWORD dwNew = GetFileAttributesA(m_szNew);
            if (bEncrypted &&
                (dwNew == INVALID_FILE_ATTRIBUTES || (dwNew & FILE_ATTRIBUTE_ENCRYPTED) == 0)) {
                Diag("%s is encrypted and the new file cannot be: not replaced", pszPath);
                return 0;
            }
            return 1;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    return 0;
}

int CFileReplacement::Commit() {
    if (!m_bPending)
        return 0;
    if (!m_file)
        m_file.reset(CreateFileA(m_szNew, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    const int bFlushed = m_file && FlushFileBuffers(m_file.get());
    m_file.reset();
    if (!bFlushed)
        return 0;

    // The new file takes the old one's place only with what the old one had, as the platform's
    // own replacement (ReplaceFile) keeps it. The owner is kept where this account may set it.
    // The short name is left to the file system, which gives a name taken over within seconds
    // the short name and creation time it had ("tunnelling").
    const DWORD dwOld = GetFileAttributesA(m_szPath);
    if (dwOld != INVALID_FILE_ATTRIBUTES) {
        const DWORD dwKept = dwOld & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        CopyCompression(dwOld, m_szNew);
        CopySecurity(m_szPath, m_szNew, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION);
        if (!CopySecurity(m_szPath, m_szNew, DACL_SECURITY_INFORMATION) ||
            !CopyStreams(m_szPath, m_szNew) || !CopyCreationTime(m_szPath, m_szNew) ||
            !SetFileAttributesA(m_szNew, dwKept != 0 ? dwKept : FILE_ATTRIBUTE_NORMAL)) {
            Diag("%s: its attributes, DACL, streams or creation time cannot be given to the new "
                 "file",
                 m_szPath);
            return 0;
        }
    }
    // (ReplaceFile itself is not used: one of its documented failures leaves the old file under
    // another name and none under its own, and so would a run ended inside it.)
    if (!MoveFileExA(m_szNew, m_szPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    m_bPending = 0;
    return 1;
}
