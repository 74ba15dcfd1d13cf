// Stands in for the product's library Ulmora.dll. Each call of its export appends one line to
// journal.txt in the library's own folder: fnDeviceCntrol("<text>", <code>).
//
// Built twice: Ulmora.dll exports fnDeviceCntrol (stdcall, plain name, see Ulmora.def);
// UlmoraNoExport.dll lacks it and exports only the correctly spelt fnDeviceControl, a name the
// product must not take for it (see UlmoraNoExport.def).
#include <windows.h>

#include <string>

#include "Journal.h"

namespace {

HMODULE g_hModule = nullptr;

void Record(const char* exportName, const char* text, int code) {
    std::string line = std::string(exportName) + "(\"" + (text != nullptr ? text : "(null)") +
                       "\", " + std::to_string(code) + ")";
    standin::AppendToJournal(standin::ModuleFolder(g_hModule), line);
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH)
        g_hModule = hInstance;
    return TRUE;
}

#ifdef ULMORA_WITHOUT_EXPORT
void WINAPI fnDeviceControl(char* text, int code) {
    Record("fnDeviceControl", text, code);
}
#else
void WINAPI fnDeviceCntrol(char* text, int code) {
    Record("fnDeviceCntrol", text, code);
}
#endif
}
