// The Windows services of the registry-script reader (tagTextPlatform): lstrcmpiA, a hash of a
// name's sort key that agrees with it, the registry's own upcase for UTF-16 names, and the short
// Windows folder in the code page and in UTF-8.
#include <windows.h>

#include <string.h>

#include "common/Array.h"
#include "common/Hash.h"
#include "common/ProcAddress.h"
#include "common/WindowsText.h"
#include "regscript/TextPlatform.h"

namespace {

const DWORD SORT_KEY_FLAGS = LCMAP_SORTKEY | NORM_IGNORECASE;
// The length of the primary (letter) weights at the start of a sort key: they end at the first
// separator byte (1) or the terminator (0).
int PrimaryLength(const BYTE* pKey, int cbKey) {
    int cb = 0;
    while (cb < cbKey && pKey[cb] > 1)
        ++cb;
    return cb;
}

// The primary weights of the cch characters at psz, in pOut; their length, or -1 when they
// cannot be had or do not fit.
int PrimaryWeights(LCID lcid, const char* psz, int cch, BYTE* pOut, int cbOut) {
    const int cbKey =
        LCMapStringA(lcid, SORT_KEY_FLAGS, psz, cch, reinterpret_cast<char*>(pOut), cbOut);
    return cbKey > 0 ? PrimaryLength(pOut, cbKey) : -1;
}

// The primary weights of each printable ASCII character alone. Where a locale sorts no two of
// them as one unit (a contraction, as "ch" in some locales), the primary weights of a text of
// such characters are those of its characters one after the other: checked for every pair
// before the table is used. The table then gives the hash of such a name without a call into
// the locale functions, which cost several microseconds each where Wine runs emulated.
class CAsciiWeights {
public:
    CAsciiWeights() : m_nState(UNTRIED), m_lcid(0), m_nHashesWithout(0) {}

    // 1 with the hash in *pnHash when the table gives it; 0 when the name must be hashed from
    // its own sort key.
    int Hash(LCID lcid, const char* pszName, unsigned* pnHash) {
        if (m_nState != USABLE || lcid != m_lcid) {
            // Building costs as many calls as that many hashes: it is built only once as many
            // names have been hashed without it, so it never costs more than it saves.
            if (lcid != m_lcid) {
                m_lcid = lcid;
                m_nState = UNTRIED;
                m_nHashesWithout = 0;
            }
            if (m_nState == UNTRIED && ++m_nHashesWithout > BUILD_CALLS)
                m_nState = Build() ? USABLE : UNUSABLE;
            if (m_nState != USABLE)
                return 0;
        }
        CHash hash;
        for (const char* p = pszName; *p != '\0'; ++p) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c < FIRST || c > LAST)
                return 0;
            const tagWeights& weights = m_aWeights[c - FIRST];
            hash.AddBytes(weights.ab, weights.cb);
        }
        *pnHash = hash.Value();
        return 1;
    }

private:
    enum { FIRST = 0x20, LAST = 0x7E, COUNT = LAST - FIRST + 1, MAX_WEIGHTS = 8 };
    enum { BUILD_CALLS = COUNT + COUNT * COUNT };
    enum { UNTRIED, USABLE, UNUSABLE };
    struct tagWeights {
        BYTE ab[MAX_WEIGHTS];
        int cb;
    };

    int Build() {
        BYTE abKey[64];
        for (int i = 0; i < COUNT; ++i) {
            const char c = static_cast<char>(FIRST + i);
            const int cb = PrimaryWeights(m_lcid, &c, 1, abKey, sizeof(abKey));
            if (cb < 0 || cb > MAX_WEIGHTS)
                return 0;
            memcpy(m_aWeights[i].ab, abKey, static_cast<size_t>(cb));
            m_aWeights[i].cb = cb;
        }
        for (int i = 0; i < COUNT; ++i) {
            for (int k = 0; k < COUNT; ++k) {
                const char ac[2] = {static_cast<char>(FIRST + i), static_cast<char>(FIRST + k)};
                const tagWeights& a = m_aWeights[i];
                const tagWeights& b = m_aWeights[k];
                if (PrimaryWeights(m_lcid, ac, 2, abKey, sizeof(abKey)) != a.cb + b.cb ||
                    memcmp(abKey, a.ab, static_cast<size_t>(a.cb)) != 0 ||
                    memcmp(abKey + a.cb, b.ab, static_cast<size_t>(b.cb)) != 0)
                    return 0;
            }
        }
        return 1;
    }

    int m_nState;
    LCID m_lcid;
    unsigned m_nHashesWithout;
    tagWeights m_aWeights[COUNT];
};

CAsciiWeights g_AsciiWeights;

// A hash of the primary (letter) weights of the name's sort key, made with the locale and
// flags lstrcmpiA compares with (the thread locale, case ignored). A sort key compares as
// CompareString with the same flags does, so names lstrcmpiA finds equal have equal keys and,
// all the more, equal primary weights: letter case, ignorable characters and expansions such
// as the sharp s against "ss" hash alike. Hashing only the primary weights keeps the filter
// sound even if a later weight level were to differ between the two functions. A name of
// printable ASCII gets the same hash from the table of CAsciiWeights, once it holds.
int NameHash(void*, const char* pszName, unsigned* pnHash) {
    const LCID lcid = GetThreadLocale();
    if (g_AsciiWeights.Hash(lcid, pszName, pnHash))
        return 1;
    BYTE abKey[512];
    const BYTE* pKey = abKey;
    int cbPrimary = PrimaryWeights(lcid, pszName, -1, abKey, sizeof(abKey));
    CArray<BYTE> heapKey;
    if (cbPrimary < 0) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return 0;
        const int cbNeeded = LCMapStringA(lcid, SORT_KEY_FLAGS, pszName, -1, nullptr, 0);
        if (cbNeeded <= 0 || !heapKey.SetSize(static_cast<size_t>(cbNeeded)))
            return 0;
        pKey = heapKey.Data();
        cbPrimary = PrimaryWeights(lcid, pszName, -1, heapKey.Data(), cbNeeded);
        if (cbPrimary < 0)
            return 0;
    }
    CHash hash;
    hash.AddBytes(pKey, static_cast<size_t>(cbPrimary));
    *pnHash = hash.Value();
    return 1;
}

// One UTF-16 unit in upper case by the system's own table, the one the registry compares key
// names with (RtlUpcaseUnicodeChar, looked up once); CharUpperW where it cannot be found.
unsigned UpcaseUtf16(void*, unsigned nUnit) {
    typedef WCHAR(WINAPI * PFN_UPCASE)(WCHAR);
    static PFN_UPCASE s_pfnUpcase = nullptr;
    static int s_bLookedUp = 0;
    if (!s_bLookedUp) {
        s_pfnUpcase = GetSystemProc<PFN_UPCASE>("ntdll.dll", "RtlUpcaseUnicodeChar");
        s_bLookedUp = 1;
    }
    if (s_pfnUpcase != nullptr)
        return s_pfnUpcase(static_cast<WCHAR>(nUnit));
    return static_cast<WCHAR>(reinterpret_cast<ULONG_PTR>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(nUnit & 0xFFFF)))));
}

// The short Windows folder in UTF-8, for UTF-16 scripts.
int ShortWindowsFolderUtf8(void* pContext, char* pszFolder, size_t cbFolder) {
    char szAnsi[MAX_PATH];
    WCHAR szWide[MAX_PATH];
    if (!WindowsFolderShort(pContext, szAnsi, sizeof(szAnsi)))
        return 0;
    if (MultiByteToWideChar(CP_ACP, 0, szAnsi, -1, szWide, MAX_PATH) == 0 || cbFolder > 0x7FFF)
        return 0;
    return WideCharToMultiByte(CP_UTF8, 0, szWide, -1, pszFolder, static_cast<int>(cbFolder),
                               nullptr, nullptr) != 0;
}

const tagTextPlatform g_WindowsPlatform = {
    nullptr, CompareNoCaseAnsi, NameHash, WindowsFolderShort, UpcaseUtf16, ShortWindowsFolderUtf8};

} // namespace

const tagTextPlatform& GetWindowsTextPlatform() {
    return g_WindowsPlatform;
}
