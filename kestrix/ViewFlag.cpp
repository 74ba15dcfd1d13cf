#include "kestrix/KestrixInternal.h"

namespace {

// True when the byte at p lies in committed memory the caller may write. A flag passed as a
// string constant sits in a read-only section; writing there would end the caller's process.
int IsWritable(const void* p) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(p, &info, sizeof(info)) != sizeof(info) || info.State != MEM_COMMIT)
        return 0;
    if (info.Protect & (PAGE_GUARD | PAGE_NOACCESS))
        return 0;
    return (info.Protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                            PAGE_EXECUTE_WRITECOPY)) != 0;
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

REGSAM ApplyViewFlag(char* pszViewFlag) {
    if (!pszViewFlag)
        return DEFAULT_VIEW;
    for (char* p = pszViewFlag; *p; ++p) {
        const char chUpper = UpperAscii(*p);
        if (chUpper != *p && IsWritable(p))
            *p = chUpper;
    }
    // Compared without regard to case: a read-only flag may still hold lower-case letters.
    static const char X64_FLAG[] = "X64";
    for (int i = 0; i < 4; ++i) {
        if (UpperAscii(pszViewFlag[i]) != X64_FLAG[i])
            return DEFAULT_VIEW;
        if (X64_FLAG[i] == '\0')
            break;
    }
    return KEY_WOW64_64KEY;
}
