#include "regmaint/RegMaint.h"

// Registry maintenance is not part of this build yet: nothing is deleted or written.

LONG RegDelKey(HKEY, const char*) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
LONG RegDelAllUserKey(const char*) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
int SetSaveFolder(HKEY, const char*) {
    return 0;
}
