#include "regscript/FileReplace.h"

#include <string.h>

#include <new>

#include "common/Diagnostics.h"

namespace {

const char NEW_FILE_PREFIX[] = "~trv";

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
    if (cchFolder + 10 >= sizeof(szPattern))
        return;
    memcpy(szPattern, pszPath, cchFolder);
    lstrcpyA(szPattern + cchFolder, "~trv*.tmp");
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

// Gives pszNew the DACL of pszOld. 1 when done or when pszOld has none to give (a volume
// without security); 0 when it cannot be read or the new file could not take it.
int CopyDacl(const char* pszOld, const char* pszNew) {
    DWORD cbNeeded = 0;
    if (!GetFileSecurityA(pszOld, DACL_SECURITY_INFORMATION, nullptr, 0, &cbNeeded)) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_NOT_SUPPORTED || dwError == ERROR_INVALID_FUNCTION ||
            dwError == ERROR_CALL_NOT_IMPLEMENTED)
            return 1;
        if (dwError != ERROR_INSUFFICIENT_BUFFER)
            return 0;
    }
    BYTE* pDescriptor = new (std::nothrow) BYTE[cbNeeded];
    if (pDescriptor == nullptr)
        return 0;
    const int bDone =
        GetFileSecurityA(pszOld, DACL_SECURITY_INFORMATION, pDescriptor, cbNeeded, &cbNeeded) &&
        SetFileSecurityA(pszNew, DACL_SECURITY_INFORMATION, pDescriptor);
    delete[] pDescriptor;
    return bDone;
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

    const size_t cchFolder = FolderLength(pszPath);
    RemoveLeftNewFiles(pszPath, cchFolder);
    for (unsigned nTry = 0; nTry < 64; ++nTry) {
        char szName[40];
        const int cchName =
            wsprintfA(szName, "%s%lx_%x.tmp", NEW_FILE_PREFIX, GetCurrentProcessId(), nTry);
        if (cchFolder + static_cast<size_t>(cchName) >= sizeof(m_szNew))
            return 0; // the name would not fit: nothing is cut
        memcpy(m_szNew, pszPath, cchFolder);
        memcpy(m_szNew + cchFolder, szName, static_cast<size_t>(cchName) + 1);
        m_file.reset(CreateFileA(m_szNew, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_file) {
            m_bPending = 1;
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

    // The new file takes the old one's place only with what the old one had.
    const DWORD dwOld = GetFileAttributesA(m_szPath);
    if (dwOld != INVALID_FILE_ATTRIBUTES) {
        const DWORD dwKept = dwOld & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (!CopyDacl(m_szPath, m_szNew) ||
            !SetFileAttributesA(m_szNew, dwKept != 0 ? dwKept : FILE_ATTRIBUTE_NORMAL)) {
            Diag("%s: its attributes or DACL cannot be given to the new file", m_szPath);
            return 0;
        }
    }
    // (ReplaceFile is not used: some implementations delete the old file before the new one is
    // moved in.)
    if (!MoveFileExA(m_szNew, m_szPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    m_bPending = 0;
    return 1;
}
