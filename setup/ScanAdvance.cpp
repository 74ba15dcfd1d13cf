#include "setup/ScanAdvance.h"

// The scan-settings translation is not part of this build yet: the file is left alone.

int TranslateScanAdvance(const char*) {
    return 1;
}
