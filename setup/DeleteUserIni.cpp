// Deleteuserini: the user's settings file, then the folder that held it.
#include <string.h>

#include "common/Diagnostics.h"
#include "common/Handle.h"
#include "common/RegText.h"
#include "devctl/DevCtr.h"
#include "setup/UserIniPath.h"

namespace {

const char SHELL_FOLDERS_KEY[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char APPDATA_VALUE[] = "APPDATA";

// The current user's application-data folder as text, whatever the value's type.
LONG ReadAppDataFolder(char* pszFolder, DWORD cbFolder) {
    pszFolder[0] = '\0';
    CRegKey shellFolders;
    const LONG lStatus =
        RegOpenKeyExA(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0, KEY_QUERY_VALUE, shellFolders.put());
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    return QueryValueText(shellFolders.get(), APPDATA_VALUE, pszFolder, cbFolder);
}

} // namespace

// A member of the device controller (declared in devctl/DevCtr.h), defined here beside the path
// rules it uses. 0 when nothing could be deleted: the application-data folder cannot be read or is
// no full path, or the argument would reach outside it or form a path that does not fit. Else 1,
// with the file deleted and the folder removed where the file system allowed it.
int CDevCtr::DeleteUserIni(const char* pszArgument) {
    char szAppData[USER_INI_PATH_SIZE];
    const LONG lStatus = ReadAppDataFolder(szAppData, sizeof(szAppData));
    if (lStatus != ERROR_SUCCESS) {
        Diag("the application-data folder cannot be read (error %ld): nothing deleted", lStatus);
        return 0;
    }

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
