// Helpers for the tests of Kestrix.dll: the library loaded as installers load it, exact
// (UTF-16) registry reads and writes, tree dumps for comparing copies, a probe of the calling
// convention, and a reader of the PE export and import tables.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "kestrix/Kestrix.h"

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

// The registry view the exports work in without the "X64" flag, in either build: the 32-bit
// view (on 32-bit Windows, which has one view, the flag is ignored).
const REGSAM kDefaultView = KEY_WOW64_32KEY;

std::wstring Wide(const std::string& ascii);

// Exact registry access in UTF-16 (view may add KEY_WOW64_64KEY). SetValueW stores exactly the
// given bytes, also for string types stored without a terminator.
bool SetValueW(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
               const std::string& bytes, REGSAM view = 0);
// The same through the narrow-text call, which stores text in the code page's conversion.
bool SetValueA(HKEY root, const std::string& path, const std::string& name, DWORD type,
               const std::string& bytes, REGSAM view = 0);
bool GetValueW(HKEY root, const std::wstring& path, const std::wstring& name, DWORD* type,
               std::string* bytes, REGSAM view = 0);
bool CreateKeyW(HKEY root, const std::wstring& path, REGSAM view = 0);
bool KeyExistsW(HKEY root, const std::wstring& path, REGSAM view = 0);

// Every key, value name, type and data byte below root\path, one line each, in a fixed order,
// with paths relative to path; "<missing>" when the key does not open.
std::string DumpTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// Sets a DACL (SDDL, e.g. "D:P(A;;KR;;;WD)") on an existing key.
bool SetKeyDacl(HKEY root, const std::wstring& path, const char* sddl, REGSAM view = 0);

// A key created (with its parents) under root on construction and removed with its subtree on
// destruction, first granting full access again so locked test keys go too.
class CTestKey {
public:
    CTestKey(HKEY root, const std::string& path, REGSAM view = 0);
    ~CTestKey();
    CTestKey(const CTestKey&) = delete;
    CTestKey& operator=(const CTestKey&) = delete;
    const std::string& Path() const { return m_path; }
    std::wstring PathW() const { return Wide(m_path); }
    std::string Sub(const std::string& relative) const { return m_path + "\\" + relative; }
    std::wstring SubW(const std::wstring& relative) const { return PathW() + L"\\" + relative; }

private:
    HKEY m_root;
    std::string m_path;
    REGSAM m_view;
};

// Removes root\path with its subtree, unlocking DACLs on the way (no error when missing).
void RemoveTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// Removes root\path with its subtree when it goes out of scope, for keys a test expects an
// export to create.
class CCleanup {
public:
    CCleanup(HKEY root, const std::string& path, REGSAM view = 0)
        : m_root(root), m_path(Wide(path)), m_view(view) {}
    ~CCleanup() { RemoveTree(m_root, m_path, m_view); }
    CCleanup(const CCleanup&) = delete;
    CCleanup& operator=(const CCleanup&) = delete;

private:
    HKEY m_root;
    std::wstring m_path;
    REGSAM m_view;
};

struct PeExport {
    std::string name;
    DWORD ordinal = 0; // biased: the ordinal callers pass to GetProcAddress
    DWORD rva = 0;
};

struct PeTables {
    bool valid = false;
    WORD machine = 0; // IMAGE_FILE_MACHINE_*
    std::string exportedModuleName;
    DWORD ordinalBase = 0;
    DWORD functionCount = 0;
    std::vector<PeExport> exports; // in the order of the name table
    std::vector<std::string> importedModules;
};

// Reads the export and import directories of a PE32 or PE32+ file's bytes.
PeTables ReadPeTables(const std::string& fileBytes);

} // namespace ktest
