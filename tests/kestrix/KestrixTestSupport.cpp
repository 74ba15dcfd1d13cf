#include "kestrix/KestrixTestSupport.h"

#include <sddl.h>

#include <algorithm>
#include <cstring>

namespace ktest {

namespace {

template <typename T> T ProcAs(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

CKestrix::CKestrix() : m_module(LoadLibraryA("Kestrix.dll")) {
    if (!m_module)
        return;
    pfnRegCopyEx = ProcAs<PFN_REGCOPYEX>(m_module, "RegCopyEx");
    pfnRegDelAllUserKeyEx = ProcAs<PFN_REGDELALLUSERKEYEX>(m_module, "RegDelAllUserKeyEx");
    pfnRegDelKeyEX = ProcAs<PFN_REGDELKEYEX>(m_module, "RegDelKeyEX");
    pfnRegGetKeyValueEx = ProcAs<PFN_REGGETKEYVALUEEX>(m_module, "RegGetKeyValueEx");
}

CKestrix::~CKestrix() {
    if (m_module)
        FreeLibrary(m_module);
}

} // namespace ktest

#ifdef _WIN64
// (fn, args, result): passes args[0..3] in RCX, RDX, R8, R9 and args[4..7] on the stack above the
// 32-byte home area, as any x64 caller does, calls fn, stores its EAX in *result and returns RSP
// after the call minus RSP before it. RBX holds the pre-call RSP across the call (callee-saved).
extern "C" DWORD KestrixTestCallMeasuringPop(const void* fn, const UINT_PTR* args, DWORD* result);
asm(R"(
    .text
    .globl KestrixTestCallMeasuringPop
KestrixTestCallMeasuringPop:
    pushq %rbp
    movq  %rsp, %rbp
    pushq %rbx
    pushq %rsi
    pushq %rdi
    subq  $72, %rsp
    movq  %rcx, %r11
    movq  %rdx, %rsi
    movq  %r8, %rdi
    movq  32(%rsi), %rax
    movq  %rax, 32(%rsp)
    movq  40(%rsi), %rax
    movq  %rax, 40(%rsp)
    movq  48(%rsi), %rax
    movq  %rax, 48(%rsp)
    movq  56(%rsi), %rax
    movq  %rax, 56(%rsp)
    movq  (%rsi), %rcx
    movq  8(%rsi), %rdx
    movq  16(%rsi), %r8
    movq  24(%rsi), %r9
    movq  %rsp, %rbx
    call  *%r11
    movl  %eax, (%rdi)
    movq  %rsp, %rax
    subq  %rbx, %rax
    leaq  -24(%rbp), %rsp
    popq  %rdi
    popq  %rsi
    popq  %rbx
    popq  %rbp
    ret

    .globl KestrixTestAddRemoving16
KestrixTestAddRemoving16:
    leal  (%rcx,%rdx), %eax
    ret   $16
)");
#else
// cdecl (fn, args, count, result): pushes args[count-1] .. args[0], calls fn, stores its EAX in
// *result and returns ESP after the call minus ESP before it. EDI holds the pre-call ESP across
// the call: every x86 calling convention preserves it.
extern "C" DWORD __cdecl KestrixTestCallMeasuringPop(const void* fn, const UINT_PTR* args,
                                                     DWORD count, DWORD* result);
asm(R"(
    .text
    .globl _KestrixTestCallMeasuringPop
_KestrixTestCallMeasuringPop:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  12(%ebp), %esi
    movl  16(%ebp), %ecx
1:  testl %ecx, %ecx
    jz    2f
    decl  %ecx
    pushl (%esi,%ecx,4)
    jmp   1b
2:  movl  %esp, %edi
    call  *8(%ebp)
    movl  20(%ebp), %ecx
    movl  %eax, (%ecx)
    movl  %esp, %eax
    subl  %edi, %eax
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");
#endif

namespace ktest {

DWORD CallMeasuringPop(const void* fn, const std::vector<UINT_PTR>& args, DWORD* result) {
#ifdef _WIN64
    // Eight slots, unused ones zero: arguments a callee does not take are harmless on x64, where
    // the caller removes them.
    UINT_PTR slots[8] = {};
    if (args.size() > 8)
        return ~0u;
    std::copy(args.begin(), args.end(), slots);
    return KestrixTestCallMeasuringPop(fn, slots, result);
#else
    return KestrixTestCallMeasuringPop(fn, args.data(), static_cast<DWORD>(args.size()), result);
#endif
}

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

bool SetValueW(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
               const std::string& bytes, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    // A non-NUL guard behind the data: the platform would otherwise add a terminator to string
    // data stored without one.
    std::string data = bytes + "\xFF\xFF";
    LONG status =
        RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool SetValueA(HKEY root, const std::string& path, const std::string& name, DWORD type,
               const std::string& bytes, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    std::string data = bytes + "\xFF\xFF";
    LONG status =
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool GetValueW(HKEY root, const std::wstring& path, const std::wstring& name, DWORD* type,
               std::string* bytes, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + 2);
        status = RegQueryValueExW(key, name.c_str(), nullptr, type, data.data(), &size);
        if (status == ERROR_SUCCESS)
            bytes->assign(reinterpret_cast<const char*>(data.data()), size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool CreateKeyW(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool KeyExistsW(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

namespace {

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[16];
            wsprintfA(escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    WCHAR name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = 512;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void DumpKey(HKEY key, const std::wstring& relative, std::string* out) {
    *out += "key [" + Narrow(relative) + "]\n";
    std::vector<WCHAR> name(32768);
    std::vector<std::string> lines;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size + 2);
        DWORD dataSize = size;
        DWORD nameLength2 = static_cast<DWORD>(name.size());
        RegEnumValueW(key, i, name.data(), &nameLength2, nullptr, &type, data.data(), &dataSize);
        lines.push_back("  value [" + Narrow(std::wstring(name.data(), nameLength2)) + "] type " +
                        std::to_string(type) + " size " + std::to_string(dataSize) + " data " +
                        Hex(std::string(reinterpret_cast<const char*>(data.data()), dataSize)) +
                        "\n");
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines)
        *out += line;
    for (const std::wstring& child : SubkeyNames(key)) {
        HKEY childKey = nullptr;
        std::wstring childRelative = relative.empty() ? child : relative + L"\\" + child;
        if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &childKey) != ERROR_SUCCESS) {
            *out += "key [" + Narrow(childRelative) + "] <unreadable>\n";
            continue;
        }
        DumpKey(childKey, childRelative, out);
        RegCloseKey(childKey);
    }
}

bool UnlockKey(HKEY parent, const std::wstring& name, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, name.c_str(), 0, WRITE_DAC | view, &key) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool ok = false;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KA;;;WD)", SDDL_REVISION_1, &sd,
                                                             nullptr)) {
        ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
        LocalFree(sd);
    }
    RegCloseKey(key);
    return ok;
}

void RemoveKey(HKEY parent, const std::wstring& name, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) {
        if (!UnlockKey(parent, name, view) ||
            RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
            return;
    }
    for (const std::wstring& child : SubkeyNames(key))
        RemoveKey(key, child, 0);
    RegCloseKey(key);
    RegDeleteKeyExW(parent, name.c_str(), view, 0);
}

} // namespace

std::string DumpTree(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "<missing>";
    std::string out;
    DumpKey(key, L"", &out);
    RegCloseKey(key);
    return out;
}

bool SetKeyDacl(HKEY root, const std::wstring& path, const char* sddl, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC | view, &key) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool ok = false;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
        ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
        LocalFree(sd);
    }
    RegCloseKey(key);
    return ok;
}

void RemoveTree(HKEY root, const std::wstring& path, REGSAM view) {
    RemoveKey(root, path, view);
}

CTestKey::CTestKey(HKEY root, const std::string& path, REGSAM view)
    : m_root(root), m_path(path), m_view(view) {
    CreateKeyW(root, Wide(path), view);
}

CTestKey::~CTestKey() {
    RemoveTree(m_root, Wide(m_path), m_view);
}

namespace {

// Bounds-checked views into the file's bytes.
struct CPeFile {
    const std::string& bytes;
    std::vector<IMAGE_SECTION_HEADER> sections;

    template <typename T> bool Read(size_t offset, T* out) const {
        if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
            return false;
        std::memcpy(out, bytes.data() + offset, sizeof(T));
        return true;
    }
    bool Offset(DWORD rva, size_t* offset) const {
        for (const IMAGE_SECTION_HEADER& section : sections) {
            DWORD size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
                *offset = section.PointerToRawData + (rva - section.VirtualAddress);
                return *offset < bytes.size();
            }
        }
        return false;
    }
    bool String(DWORD rva, std::string* out) const {
        size_t offset = 0;
        if (!Offset(rva, &offset))
            return false;
        size_t end = bytes.find('\0', offset);
        if (end == std::string::npos)
            return false;
        out->assign(bytes, offset, end - offset);
        return true;
    }
};

} // namespace

PeTables ReadPeTables(const std::string& fileBytes) {
    PeTables tables;
    CPeFile file{fileBytes, {}};
    IMAGE_DOS_HEADER dos;
    if (!file.Read(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return tables;
    // PE32 and PE32+ share the signature, the file header and the place of the optional header;
    // the data directories sit further on in PE32+.
    IMAGE_NT_HEADERS32 nt;
    IMAGE_NT_HEADERS64 nt64;
    if (!file.Read(dos.e_lfanew, &nt) || nt.Signature != IMAGE_NT_SIGNATURE)
        return tables;
    const IMAGE_DATA_DIRECTORY* directories = nt.OptionalHeader.DataDirectory;
    if (nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        if (!file.Read(dos.e_lfanew, &nt64))
            return tables;
        directories = nt64.OptionalHeader.DataDirectory;
    } else if (nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        return tables;
    }
    tables.machine = nt.FileHeader.Machine;
    size_t sectionOffset = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                           nt.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!file.Read(sectionOffset + i * sizeof(section), &section))
            return tables;
        file.sections.push_back(section);
    }

    const IMAGE_DATA_DIRECTORY& exportDir = directories[IMAGE_DIRECTORY_ENTRY_EXPORT];
    size_t offset = 0;
    IMAGE_EXPORT_DIRECTORY exports;
    if (!exportDir.VirtualAddress || !file.Offset(exportDir.VirtualAddress, &offset) ||
        !file.Read(offset, &exports) || !file.String(exports.Name, &tables.exportedModuleName))
        return tables;
    tables.ordinalBase = exports.Base;
    tables.functionCount = exports.NumberOfFunctions;
    for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
        size_t nameOffset = 0;
        size_t ordinalOffset = 0;
        DWORD nameRva = 0;
        WORD index = 0;
        PeExport entry;
        if (!file.Offset(exports.AddressOfNames + i * 4, &nameOffset) ||
            !file.Read(nameOffset, &nameRva) || !file.String(nameRva, &entry.name) ||
            !file.Offset(exports.AddressOfNameOrdinals + i * 2, &ordinalOffset) ||
            !file.Read(ordinalOffset, &index) || index >= exports.NumberOfFunctions)
            return tables;
        size_t functionOffset = 0;
        if (!file.Offset(exports.AddressOfFunctions + index * 4, &functionOffset) ||
            !file.Read(functionOffset, &entry.rva))
            return tables;
        entry.ordinal = exports.Base + index;
        tables.exports.push_back(entry);
    }

    const IMAGE_DATA_DIRECTORY& importDir = directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (importDir.VirtualAddress) {
        if (!file.Offset(importDir.VirtualAddress, &offset))
            return tables;
        for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            IMAGE_IMPORT_DESCRIPTOR descriptor;
            if (!file.Read(offset, &descriptor))
                return tables;
            if (!descriptor.Name)
                break;
            std::string name;
            if (!file.String(descriptor.Name, &name))
                return tables;
            tables.importedModules.push_back(name);
        }
    }
    tables.valid = true;
    return tables;
}

} // namespace ktest
