// Deleteuserini: the user's settings file, then the folder that held it.
#include <string.h>

#include "common/Handle.h"
#include "devctl/DevCtr.h"
#include "setup/UserIniPath.h"

namespace {

const char SHELL_FOLDERS_KEY[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char APPDATA_VALUE[] = "APPDATA";

int IsAnsiLeadByte(unsigned char ch) {
    return IsDBCSLeadByte(ch) ? 1 : 0;
}

// The current user's application-data folder as text, whatever the value's type. 0 when it
// cannot be read, does not fit the buffer, or fills it without its terminating NUL.
int ReadAppDataFolder(char* pszFolder, DWORD cbFolder) {
    memset(pszFolder, 0, cbFolder);
    CRegKey shellFolders;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0, KEY_QUERY_VALUE,
                      shellFolders.put()) != ERROR_SUCCESS)
        return 0;
    DWORD cbData = cbFolder;
    if (RegQueryValueExA(shellFolders.get(), APPDATA_VALUE, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(pszFolder), &cbData) != ERROR_SUCCESS ||
        memchr(pszFolder, '\0', cbFolder) == nullptr) {
        memset(pszFolder, 0, cbFolder);
        return 0;
    }
    return 1;
}

} // namespace

// 0 when nothing could be deleted: the application-data folder cannot be read or is no full
// path, or the argument would reach outside it or form a path that does not fit. Else 1, with
// the file deleted and the folder removed where the file system allowed it.
int CDevCtr::DeleteUserIni(const char* pszArgument) {
    char szAppData[USER_INI_PATH_SIZE];
    if (!ReadAppDataFolder(szAppData, sizeof(szAppData)))
        return 0;

    tagUserIniPaths paths;
    if (!FormUserIniPaths(szAppData, pszArgument, IsAnsiLeadByte, &paths))
        return 0;

    // The file first, so that a folder that held only the file becomes empty and goes too.
    // The platform removes only an empty folder; anything else in it keeps it.
    if (paths.bHasFile)
        DeleteFileA(paths.szFile);
    RemoveDirectoryA(paths.szFolder);
    return 1;
}
