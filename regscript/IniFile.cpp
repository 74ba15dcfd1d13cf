#include "regscript/IniFile.h"

// The registry-script reader and writer are not part of this build yet: loading and saving do
// nothing.

CIniFile::CIniFile() {}
CIniFile::~CIniFile() {}
int CIniFile::Load(const char*) {
    return 1;
}
int CIniFile::SaveAndClear() {
    return 1;
}
