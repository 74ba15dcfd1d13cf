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
    // The rule needs at most four characters ("X64" and its end). None past them is read or
    // written: a caller's buffer need hold no more than that, terminated or not. Those read are
    // upper-cased, and compared without regard to case, as a read-only flag keeps its letters.
    static const char X64_FLAG[] = "X64";
    REGSAM samView = KEY_WOW64_64KEY;
    for (int i = 0; i < 4; ++i) {
        char* p = pszViewFlag + i;
        const char chUpper = UpperAscii(*p);
        if (chUpper != *p && IsWritable(p))
            *p = chUpper;
        if (chUpper != X64_FLAG[i])
            samView = DEFAULT_VIEW;
        if (chUpper == '\0')
            break;
    }
    return samView;
}
