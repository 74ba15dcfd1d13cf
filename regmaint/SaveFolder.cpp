// SET_SAVE_FOLDER: the default save folder of each scan destination.
#include <shlobj.h>
#include <string.h>

#include "common/Handle.h"
#include "common/KeyPath.h"
#include "common/RegText.h"
#include "regmaint/RegMaint.h"

namespace {

const char PRODUCT_NAME_VALUE[] = "Varnel Name";
const char FOLDER_VALUE[] = "1";

// The destinations in the order they are written; each holds its folder in "Default\Folder".
const char* const DESTINATION_SUFFIXES[] = {
    "BCR\\Default\\Folder",    "OCR\\Default\\Folder",    "Copy\\Default\\Folder",
    "Custom\\Default\\Folder", "e-Mail\\Default\\Folder", "Filing\\Default\\Folder",
    "FTP\\Default\\Folder",    "PDF\\Default\\Folder",
};

enum { FOLDER_BUFFER_SIZE = 260, NAME_BUFFER_SIZE = 260 };

// One special folder with a backslash appended; 0 when the shell has none or the backslash
// does not fit.
int GetFolderWithBackslash(int nFolder, char* pszFolder) {
    memset(pszFolder, 0, FOLDER_BUFFER_SIZE);
    if (!SHGetSpecialFolderPathA(nullptr, pszFolder, nFolder, FALSE) || pszFolder[0] == '\0') {
        memset(pszFolder, 0, FOLDER_BUFFER_SIZE);
        return 0;
    }
    const char* pNul = static_cast<const char*>(memchr(pszFolder, '\0', FOLDER_BUFFER_SIZE));
    if (pNul == nullptr || static_cast<size_t>(pNul - pszFolder) + 2 > FOLDER_BUFFER_SIZE) {
        memset(pszFolder, 0, FOLDER_BUFFER_SIZE);
        return 0;
    }
    pszFolder[pNul - pszFolder] = '\\';
    return 1;
}

// The shared documents folder, else the user's own documents folder. Without either no folder
// is written: a bare backslash would send every scan to the root of some drive.
int GetSaveFolder(char* pszFolder) {
    return GetFolderWithBackslash(CSIDL_COMMON_DOCUMENTS, pszFolder) ||
           GetFolderWithBackslash(CSIDL_PERSONAL, pszFolder);
}

} // namespace

int SetSaveFolder(HKEY hRoot, const char* pszProductKey) {
    char szFolder[FOLDER_BUFFER_SIZE];
    const int bHaveFolder = GetSaveFolder(szFolder);

    if (pszProductKey == nullptr || pszProductKey[0] == '\0')
        return 0;

    char szName[NAME_BUFFER_SIZE];
    {
        CRegKey product;
        if (RegOpenKeyExA(hRoot, pszProductKey, 0, KEY_QUERY_VALUE, product.put()) != ERROR_SUCCESS)
            return 0;
        // A name that cannot be read as text counts as missing.
        QueryValueText(product.get(), PRODUCT_NAME_VALUE, szName, sizeof(szName));
    }
    if (szName[0] == '\0')
        return -1;
    if (!bHaveFolder)
        return 0;

    char szKeyPath[KEY_PATH_BUFFER_SIZE];
    for (const char* pszSuffix : DESTINATION_SUFFIXES) {
        // A path that does not fit is passed over; the destinations are only opened, never
        // created, so only those the product installed get a folder.
        const char* const parts[] = {pszProductKey, szName, pszSuffix};
        if (!JoinKeyPath(szKeyPath, sizeof(szKeyPath), parts, 3))
            continue;
        CRegKey destination;
        if (RegOpenKeyExA(hRoot, szKeyPath, 0, KEY_SET_VALUE, destination.put()) != ERROR_SUCCESS)
            continue;
        // The whole buffer is stored, zero padding included: readers get 260 bytes of REG_SZ.
        RegSetValueExA(destination.get(), FOLDER_VALUE, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(szFolder), sizeof(szFolder));
    }
    return 0;
}
