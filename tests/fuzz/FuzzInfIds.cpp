// Fuzz target: the USB hardware-id scan of an INF file on any bytes. Checks what must hold for
// every file: ids of the fixed form and length, terminated in their slots, none held twice or
// contained in another, every id found in the text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "devctl/UsbIds.h"

namespace {

void Check(bool condition) {
    if (!condition)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> bytes(data, data + size);
    bytes.push_back('\0'); // a terminator after the bytes, never part of them
    const size_t cchText = ToTextModeCutAtZeroOrCtrlZ(bytes.data(), size);
    Check(cchText <= size);
    const std::string text(bytes.data(), strnlen(bytes.data(), cchText));

    CUsbIdTable table;
    Check(ScanUsbHardwareIds(bytes.data(), cchText, &table) == 1);
    for (unsigned int n = 0; n < table.Count(); ++n) {
        const char* pszId = table.Id(n);
        const size_t cchId = strnlen(pszId, USB_ID_SLOT_SIZE);
        Check(cchId <= USB_ID_LENGTH);
        Check(strncmp(pszId, "USB\\VID_", 8) == 0);
        Check(text.find(pszId) != std::string::npos);
        for (unsigned int m = 0; m < table.Count(); ++m) {
            if (m != n)
                Check(strstr(table.Id(m), pszId) == nullptr);
        }
    }
    // Every occurrence the search stops at is represented: an id held contains its candidate.
    // The search resumes a slot's length after each occurrence's start.
    for (size_t at = text.find("USB\\VID_"); at != std::string::npos;
         at = text.find("USB\\VID_", at + USB_ID_SLOT_SIZE)) {
        const std::string candidate = text.substr(at, USB_ID_LENGTH);
        bool found = false;
        for (unsigned int n = 0; n < table.Count() && !found; ++n)
            found = strstr(table.Id(n), candidate.c_str()) != nullptr;
        Check(found);
    }
    return 0;
}
