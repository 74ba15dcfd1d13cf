#include "devctl/DevCtr.h"

// The per-user settings clean-up is not part of this build yet: nothing is deleted.

int CDevCtr::DeleteUserIni(const char*) {
    return 0;
}
