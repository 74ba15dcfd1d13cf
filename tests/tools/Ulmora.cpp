// Stands in for the product's library Ulmora.dll. Each call of its export appends one line to
// journal.txt in the library's own folder: fnDeviceCntrol("<text>", <code>).
//
// On the install call (code 2) Ulmora.dll also loads UlmoraCompanion.dll by bare name, as a
// product library may load a companion of its own, and calls the companion's fnDeviceCntrol:
// a copy of the stand-in planted under that name journals in its own folder where it was found.
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
    HMODULE companion = code == 2 ? LoadLibraryA("UlmoraCompanion.dll") : nullptr;
    typedef void(WINAPI * PFN)(char*, int);
    PFN call = companion != nullptr ? reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(
                                          GetProcAddress(companion, "fnDeviceCntrol")))
                                    : nullptr;
    if (call != nullptr && companion != g_hModule) // not itself, when it is the companion
        call(text, code);
    if (companion != nullptr)
        FreeLibrary(companion);
}
#endif
}
