// Fuzz target: the scan-settings line rules on any text. Checks what must hold for every file:
// each write names a section and key that fit, and its value is the Windows folder, a
// backslash and a tail, within the value limit, all of it from the text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/fuzz/NativePlatform.h"

namespace {

void Check(bool condition) {
    if (!condition)
        abort();
}

struct Writes {
    int nCount = 0;
    std::string text;
};

int WriteValue(void* pContext, const char* pszSection, const char* pszKey, const char* pszValue) {
    Writes* pWrites = static_cast<Writes*>(pContext);
    ++pWrites->nCount;
    Check(pszSection != nullptr && pszKey != nullptr && pszValue != nullptr);
    const size_t cchSection = strlen(pszSection);
    Check(cchSection <= SCAN_SECTION_MAX);
    Check(pszKey[0] != '\0');
    const size_t cchValue = strlen(pszValue);
    Check(cchValue <= SCAN_VALUE_MAX);
    const size_t cchFolder = strlen(native::kWindowsFolder);
    Check(cchValue > cchFolder && strncmp(pszValue, native::kWindowsFolder, cchFolder) == 0 &&
          pszValue[cchFolder] == '\\');
    Check(cchValue - cchFolder - 1 <= SCAN_TAIL_MAX);
    if (cchSection > 0)
        Check(pWrites->text.find(pszSection) != std::string::npos);
    Check(pWrites->text.find(pszKey) != std::string::npos);
    Check(pWrites->text.find(pszValue + cchFolder + 1) != std::string::npos);
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Writes writes;
    writes.text.assign(reinterpret_cast<const char*>(data), size);
    const tagScanAdvancePlatform platform = {&writes, native::CompareNoCase, native::WindowsFolder,
                                             WriteValue};
    std::vector<char> text(data, data + size);
    text.push_back('\0'); // the spare byte the rules may overwrite
    const int nWritten = TranslateScanAdvanceText(text.data(), size, platform);
    Check(nWritten == writes.nCount || (nWritten == SCAN_TEXT_REFUSED && writes.nCount == 0));
    return 0;
}
