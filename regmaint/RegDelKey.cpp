// DELETE_LOCAL_MACHINE_PRODUCTKEY and DELETE_ALLUSER_PRODUCTKEY: a key tree deleted bottom-up.
// Torvane works in its own default registry view only, so it names no view at any level.
#include "common/RegTree.h"
#include "regmaint/RegMaint.h"

LONG RegDelKey(HKEY hParent, const char* pszSubKey) {
    return DeleteKeyTree(hParent, pszSubKey, 0, 0);
}

LONG RegDelAllUserKey(const char* pszSubKey) {
    return DeleteKeyFromUserHives(pszSubKey, 0);
}
