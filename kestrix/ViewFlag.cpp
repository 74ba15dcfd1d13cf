#include "kestrix/KestrixInternal.h"

namespace {

// True when the byte at p lies in committed memory the caller may write. A flag passed as a
// string constant sits in a read-only section; writing there would end the caller's process.
bool IsWritable(const void* p) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(p, &info, sizeof(info)) != sizeof(info) || info.State != MEM_COMMIT)
        return false;
    if (info.Protect & (PAGE_GUARD | PAGE_NOACCESS))
        return false;
    return (info.Protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                            PAGE_EXECUTE_WRITECOPY)) != 0;
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

REGSAM ApplyViewFlag(char* pszViewFlag) {
    if (!pszViewFlag)
        return kDefaultView;
    for (char* p = pszViewFlag; *p; ++p) {
        const char upper = UpperAscii(*p);
        if (upper != *p && IsWritable(p))
            *p = upper;
    }
    // Compared without regard to case: a read-only flag may still hold lower-case letters.
    static const char kX64[] = "X64";
    for (int i = 0; i < 4; ++i) {
        if (UpperAscii(pszViewFlag[i]) != kX64[i])
            return kDefaultView;
        if (kX64[i] == '\0')
            break;
    }
    return KEY_WOW64_64KEY;
}
