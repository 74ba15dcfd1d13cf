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
    tables.timeDateStamp = nt.FileHeader.TimeDateStamp;
    tables.characteristics = nt.FileHeader.Characteristics;
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
