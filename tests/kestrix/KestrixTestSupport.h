// Helpers for the tests of Kestrix.dll: the library loaded as installers load it, exact
// (UTF-16) registry reads and writes, tree dumps for comparing copies, a probe of the calling
// convention, and a reader of the PE export and import tables.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "kestrix/Kestrix.h"
#include "support/TestSupport.h"

#ifdef _WIN64
// Adds its two arguments and removes 16 bytes of arguments from the stack on return, as no
// x64 compiler's code does: the x64 probe's proof that it sees a callee's pop.
extern "C" int KestrixTestAddRemoving16(int a, int b);
#endif

namespace ktest {

// Kestrix.dll loaded by its bare name, as a caller whose folder holds it does, with the four
// exports looked up by name.
class CKestrix {
public:
    CKestrix();
    ~CKestrix();
    CKestrix(const CKestrix&) = delete;
    CKestrix& operator=(const CKestrix&) = delete;

    HMODULE Module() const { return m_module; }
    bool Complete() const {
        return m_module && pfnRegCopyEx && pfnRegDelAllUserKeyEx && pfnRegDelKeyEX &&
               pfnRegGetKeyValueEx;
    }

    PFN_REGCOPYEX pfnRegCopyEx = nullptr;
    PFN_REGDELALLUSERKEYEX pfnRegDelAllUserKeyEx = nullptr;
    PFN_REGDELKEYEX pfnRegDelKeyEX = nullptr;
    PFN_REGGETKEYVALUEEX pfnRegGetKeyValueEx = nullptr;

private:
    HMODULE m_module = nullptr;
};

// Calls fn with the given arguments as any caller of this architecture passes them (x86: pushed
// right to left; x64: the first four in registers, at most eight) and returns how many bytes of
// arguments the callee removed from the stack: on x86 4 per argument for stdcall, 0 for cdecl; on
// x64, whose one convention leaves that to the caller, 0. The function's result goes to *result.
DWORD CallMeasuringPop(const void* fn, const std::vector<UINT_PTR>& args, DWORD* result);

// The forms in which a caller passes a predefined root key such as HKEY_CURRENT_USER: the handle
// itself and, in the 64-bit build, its 32-bit value zero-extended, as a caller passes it that
// keeps it in a 32-bit unsigned integer (an installer script's Cardinal). Windows takes only
// the first as the predefined key; Kestrix takes both. Wine takes the low 32 bits of any
// predefined handle itself, so only a comparison of the two forms (RegCopyEx's refusal to copy
// into its own source) shows Kestrix's part here.
inline std::vector<HKEY> RootForms(HKEY predefined) {
    std::vector<HKEY> forms{predefined};
#ifdef _WIN64
    forms.push_back(reinterpret_cast<HKEY>(
        static_cast<ULONG_PTR>(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(predefined)))));
#endif
    return forms;
}

// The registry view the exports work in without the "X64" flag, in either build: the 32-bit
// view (on 32-bit Windows, which has one view, the flag is ignored).
const REGSAM kDefaultView = KEY_WOW64_32KEY;

struct PeExport {
    std::string name;
    DWORD ordinal = 0; // biased: the ordinal callers pass to GetProcAddress
    DWORD rva = 0;
};

struct PeTables {
    bool valid = false;
    WORD machine = 0;         // IMAGE_FILE_MACHINE_*; set for any PE file, exports or none
    DWORD timeDateStamp = 0;  // the link time the header holds (0: none)
    WORD characteristics = 0; // IMAGE_FILE_* flags of the file header
    std::string exportedModuleName;
    DWORD ordinalBase = 0;
    DWORD functionCount = 0;
    std::vector<PeExport> exports; // in the order of the name table
    std::vector<std::string> importedModules;
};

// Reads the header and the export and import directories of a PE32 or PE32+ file's bytes; valid
// only for a file with exports.
PeTables ReadPeTables(const std::string& fileBytes);

} // namespace ktest
