#include "common/FileTakeOver.h"

#include <winioctl.h>

#include "common/Array.h"
#include "common/Diagnostics.h"
#include "common/Handle.h"
#include "common/ProcAddress.h"
#include "common/ReadWholeFile.h"

namespace {

// Alternate data streams are copied through a buffer of this size.
enum { STREAM_CHUNK_SIZE = 8192 };

// FILE_BASIC_INFO and FILE_RENAME_INFO of SetFileInformationByHandle (Vista on), which the XP
// headers this builds with do not declare; the classes FileBasicInfo and FileRenameInfo.
struct tagBasicInfo {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime; // 0: left as it is
    DWORD dwFileAttributes;
};

} // namespace

// SetFileInformationByHandle; null on Windows XP, which lacks it.
PFN_SET_FILE_INFORMATION_BY_HANDLE SetInformationByHandle() {
    return GetSystemProc<PFN_SET_FILE_INFORMATION_BY_HANDLE>("kernel32.dll",
                                                             "SetFileInformationByHandle");
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

namespace {

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
        if (!WriteWholeBuffer(to.get(), abChunk, cbRead))
            return 0;
    }
}

} // namespace

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
    if (!find) { // ERROR_HANDLE_EOF: no stream at all; other errors: a volume without streams
        const DWORD dwError = GetLastError();
        return dwError == ERROR_HANDLE_EOF || dwError == ERROR_INVALID_PARAMETER ||
               dwError == ERROR_NOT_SUPPORTED || dwError == ERROR_INVALID_FUNCTION;
    }
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
