// RegDelKeyEX and RegDelAllUserKeyEx: delete a key with its subtree, for one parent or below
// every user's hive, in the registry view the call selects.
#include "common/RegTree.h"
#include "kestrix/Kestrix.h"
#include "kestrix/KestrixInternal.h"

extern "C" LONG WINAPI RegDelKeyEX(HKEY hParent, LPCSTR pszKey, LPSTR pszViewFlag) {
    const REGSAM samView = ApplyViewFlag(pszViewFlag);
    return DeleteKeyTree(PredefinedRoot(hParent), pszKey, samView, NestedView(samView));
}

extern "C" LONG WINAPI RegDelAllUserKeyEx(LPCSTR pszKey) {
    return DeleteKeyFromUserHives(pszKey, DEFAULT_VIEW);
}
