// CIniFile's effects: the Windows services the text logic uses, reading the file whole, and
// writing it back so that a run ended at any moment leaves the old file or the new one.
#include "regscript/IniFile.h"

#include <windows.h>

#include <string.h>

#include "common/Array.h"
#include "common/Diagnostics.h"
#include "common/Handle.h"
#include "common/Hash.h"
#include "common/ProcAddress.h"
#include "common/ReadWholeFile.h"
#include "regscript/FileReplace.h"
#include "regscript/WindowsText.h"

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
        if (cbNeeded <= 0 || !heapKey.Reserve(static_cast<size_t>(cbNeeded)))
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

// A sink that collects the writer's bytes and writes them to a file in large blocks.
class CFileSink {
public:
    explicit CFileSink(HANDLE hFile)
        : m_hFile(hFile), m_cbUsed(0), m_bFailed(!m_buffer.Reserve(BUFFER_SIZE)) {}
    CFileSink(const CFileSink&) = delete;
    CFileSink& operator=(const CFileSink&) = delete;

    tagTextSink Sink() {
        tagTextSink sink = {this, Write};
        return sink;
    }

    // Writes what is still buffered; 1 when everything reached the file.
    int Flush() {
        if (!m_bFailed && m_cbUsed > 0)
            m_bFailed = !WriteAll(m_buffer.Data(), m_cbUsed);
        m_cbUsed = 0;
        return !m_bFailed;
    }

private:
    enum { BUFFER_SIZE = 1 << 20 };

    static int Write(void* pContext, const char* pBytes, size_t cbBytes) {
        CFileSink& self = *static_cast<CFileSink*>(pContext);
        if (self.m_bFailed)
            return 0;
        if (cbBytes > BUFFER_SIZE - self.m_cbUsed) {
            if (!self.Flush())
                return 0;
            if (cbBytes >= BUFFER_SIZE) {
                self.m_bFailed = !self.WriteAll(pBytes, cbBytes);
                return !self.m_bFailed;
            }
        }
        memcpy(self.m_buffer.Data() + self.m_cbUsed, pBytes, cbBytes);
        self.m_cbUsed += cbBytes;
        return 1;
    }

    int WriteAll(const char* p, size_t cb) {
        while (cb > 0) {
            const DWORD cbChunk = cb > (1u << 30) ? (1u << 30) : static_cast<DWORD>(cb);
            DWORD cbWritten = 0;
            if (!WriteFile(m_hFile, p, cbChunk, &cbWritten, nullptr) || cbWritten == 0)
                return 0;
            p += cbWritten;
            cb -= cbWritten;
        }
        return 1;
    }

    HANDLE m_hFile;
    CArray<char> m_buffer; // BUFFER_SIZE bytes reserved, m_cbUsed of them used
    size_t m_cbUsed;
    int m_bFailed;
};

} // namespace

const tagTextPlatform& GetWindowsTextPlatform() {
    return g_WindowsPlatform;
}

CIniFile::CIniFile() : CIniFile(&g_WindowsPlatform) {}

int CIniFile::Load(const char* pszPath, CFileReplacement* pFile) {
    if (pszPath == nullptr || pFile == nullptr)
        return 0;
    const size_t cchPath = strlen(pszPath);
    if (cchPath >= sizeof(m_szPath))
        return 0; // a cut path would name another file
    if (!pFile->Open(pszPath))
        return 0;
    memcpy(m_szPath, pszPath, cchPath + 1);

    // The text goes to the tree's store, where it stays as long as the tree: the values keep
    // their names and texts in it. A tree that misses part of the file is never written back.
    size_t cbFile = 0;
    if (!WholeFileSize(pFile->OldFile(), &cbFile) || cbFile > INI_FILE_MAX) {
        Diag("%s: larger than %lu bytes, or its size cannot be told", pszPath,
             static_cast<unsigned long>(INI_FILE_MAX));
        m_bLoadFailed = 1;
        return 1;
    }
    char* pText = static_cast<char*>(m_Store.Allocate(cbFile + 1));
    size_t cbText = 0;
    if (pText == nullptr || !pFile->ReadOld(pText, cbFile, &cbText)) {
        m_bLoadFailed = 1;
        return 1;
    }
    m_bTextKept = 1;
    LoadText(pText, cbText);
    m_bTextKept = 0;
    return 1;
}

int CIniFile::SaveTo(CFileReplacement* pFile) {
    // The text goes to a new file in the same folder, reaches the disk, and then takes the old
    // file's place in one step: a run ended at any moment leaves the old file or the new one,
    // never a truncated one.
    if (!pFile->Begin())
        return 0;
    int bWritten = 0;
    {
        CFileSink sink(pFile->File());
        bWritten = WriteTree(sink.Sink()) && sink.Flush();
    }
    return bWritten && pFile->Commit();
}

int CIniFile::SaveAndClear(CFileReplacement* pFile) {
    if (m_Root.GetCount(CIniKey::SUB_KEYS) == 0)
        return 1;
    int nResult = 1;
    // A file from which nothing was taken (no section, or text that is not ours to rewrite)
    // keeps every byte; an incomplete tree is never written. A file left as it was that held
    // something to translate, or could not be read to tell, fails the run: the installer must
    // not take the untranslated file for a translated one.
    if (m_nValuesTaken > 0 && !m_bLoadFailed) {
        nResult = pFile != nullptr && SaveTo(pFile);
        Diag("%s %s", m_szPath, nResult ? "rewritten" : "cannot be written: left as it was");
    } else {
        nResult = !m_bLoadFailed && m_nRefused != REFUSED_HOLDING_WINDIR;
        Diag("%s left as it was: %s", m_szPath,
             m_bLoadFailed                          ? "it could not be read whole, or held"
             : m_nRefused == REFUSED_HOLDING_WINDIR ? "its text is refused, and it holds [WINDIR]"
             : m_nRefused != NOT_REFUSED            ? "its text is refused"
                                                    : "no value was taken from it");
    }
    Clear();
    m_nValuesTaken = 0;
    m_bLoadFailed = 0;
    m_nRefused = NOT_REFUSED;
    m_nEncoding = TEXT_EIGHT_BIT;
    return nResult;
}
