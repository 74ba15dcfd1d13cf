// What a new file takes over from the old one it replaces: its security, its creation time and
// attributes, its alternate data streams and its compression. Each part is taken as far as the
// running Windows and the volume allow (common/FileReplace.cpp).
#pragma once

#include <windows.h>

// The classes FileBasicInfo and FileRenameInfo of SetFileInformationByHandle (Vista on), which
// the XP headers this builds with do not declare.
enum { FILE_BASIC_INFO_CLASS = 0, FILE_RENAME_INFO_CLASS = 3 };
typedef BOOL(WINAPI* PFN_SET_FILE_INFORMATION_BY_HANDLE)(HANDLE, int, LPVOID, DWORD);

// SetFileInformationByHandle; null on Windows XP, which lacks it.
PFN_SET_FILE_INFORMATION_BY_HANDLE SetInformationByHandle();

// Gives hTo the parts of hFrom's security descriptor named by info, as they are (no inherited
// entries are worked out again). 1 when done or when hFrom has none to give (a volume without
// security); 0 when it cannot be read or the new file could not take it.
int CopySecurity(HANDLE hFrom, HANDLE hTo, SECURITY_INFORMATION info);

// Gives the new file the old one's creation time and the attributes dwAttributes. Windows
// Installer tells a file changed since its installation (kept on repair and upgrade) by a
// modified time later than its creation time: a rewritten file with a fresh creation time would
// count as untouched and be overwritten with the original text, placeholder and all. Through
// the handle where Windows can (Vista on); on XP the attributes are set by name, which the held
// new file keeps naming.
int KeepTimeAndAttributes(HANDLE hNew, const char* pszNew, const char* pszOld,
                          const FILETIME& creation, DWORD dwAttributes);

// Gives the new file each alternate data stream of the old one (a download's zone mark, data
// other programs keep beside the text): replaced by the bare new file, they would be lost.
// Streams are listed with FindFirstStreamW, which Windows has from Vista on; on Windows XP they
// are not kept. They are named by the files' paths, which keep naming the two held files. 1 when
// every stream was copied or there is none.
int CopyStreams(const char* pszOld, const char* pszNew);

// Compresses the new file as the old one is compressed. Only the way the file is stored: where
// the volume cannot, the new file stays as it is.
void CopyCompression(DWORD dwOldAttributes, HANDLE hNew);
