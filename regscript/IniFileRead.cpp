// The reader of CIniFile: the text's encoding, the lines and their joining, the "[WINDIR]"
// translation and the key-path lookup. Pure code over bytes: no Win32 header; the platform's
// services come in through tagTextPlatform.
#include "regscript/IniFile.h"

#include <string.h>

#include "common/Array.h"
#include "common/FileText.h"
#include "common/Hash.h"
#include "regscript/KeyPathCache.h"
#include "regscript/TextUtf16.h"

namespace {

// In the order in which they are created; each goes to the front, so the tree (and the
// written file) holds them in the reverse order.
const char* const g_apszRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                       "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

// A value is a placeholder value when its text up to its last "]", followed by one double
// quote, equals this under the name comparison.
const char g_szQuotedPlaceholder[] = "\"[WINDIR]\"";

// A line of fewer bytes than this, its LF counted, is skipped.
const size_t SHORT_LINE = 6;

int IsKeyDelimiter(char c) {
    return c == '\\' || c == '[' || c == ']';
}

// The services for UTF-16 text held as UTF-8: names compare unit by unit, each unit in upper
// case as the registry compares key names. pContext is the platform they are built on.
int CompareUtf8NoCase(void* pContext, const char* pszA, const char* pszB) {
    const tagTextPlatform& base = *static_cast<const tagTextPlatform*>(pContext);
    CUtf16Units a(pszA);
    CUtf16Units b(pszB);
    for (;;) {
        unsigned x = a.Next();
        unsigned y = b.Next();
        if (x != y) {
            x = x != 0 ? base.pfnUpcaseUtf16(base.pContext, x) : 0;
            y = y != 0 ? base.pfnUpcaseUtf16(base.pContext, y) : 0;
            if (x != y)
                return x < y ? -1 : 1;
        }
        if (x == 0)
            return 0;
    }
}

int HashUtf8NoCase(void* pContext, const char* pszName, unsigned* pnHash) {
    const tagTextPlatform& base = *static_cast<const tagTextPlatform*>(pContext);
    CHash hash;
    CUtf16Units units(pszName);
    for (unsigned u; (u = units.Next()) != 0;)
        hash.Add(base.pfnUpcaseUtf16(base.pContext, u));
    *pnHash = hash.Value();
    return 1;
}

int WindowsFolderUtf8(void* pContext, char* pszFolder, size_t cbFolder) {
    const tagTextPlatform& base = *static_cast<const tagTextPlatform*>(pContext);
    return base.pfnWindowsFolderUtf8(base.pContext, pszFolder, cbFolder);
}

} // namespace

CIniFile::CIniFile(const tagTextPlatform* pPlatform)
    : m_Root("My Computer", &m_Store), m_pPlatform(pPlatform), m_pText(pPlatform),
      m_nValuesTaken(0), m_nLoad(LOAD_WHOLE), m_nEncoding(TEXT_EIGHT_BIT), m_bTextKept(0),
      m_nNextHeadSeen(0) {
    memset(m_szPath, 0, sizeof(m_szPath));
    memset(m_aHeadsSeen, 0, sizeof(m_aHeadsSeen));
    m_Utf8Platform.pContext = const_cast<tagTextPlatform*>(pPlatform);
    m_Utf8Platform.pfnCompareNoCase = CompareUtf8NoCase;
    m_Utf8Platform.pfnNameHash = HashUtf8NoCase;
    m_Utf8Platform.pfnWindowsFolder = WindowsFolderUtf8;
    m_Utf8Platform.pfnUpcaseUtf16 = nullptr;
    m_Utf8Platform.pfnWindowsFolderUtf8 = nullptr;
    AddRootKeys();
}

CIniFile::~CIniFile() {}

void CIniFile::AddRootKeys() {
    for (const char* pszName : g_apszRootNames) {
        CIniKey* pKey = CIniKey::Create(pszName, &m_Store);
        if (pKey == nullptr || !m_Root.AddSubKey(pKey, 0))
            LoadIncomplete(); // a tree without its fixed roots would be written in another order
    }
}

void CIniFile::Clear() {
    while (m_Root.RemoveSubKey(0)) {
    }
    m_Store.Release(); // every key, value and node of the tree at once
}

int CIniFile::IsSectionLine(const char* pszLine) {
    return IsSection(pszLine, strlen(pszLine));
}

int CIniFile::IsSection(const char* pLine, size_t cchLine) {
    return cchLine > 0 && pLine[0] == '[' && pLine[cchLine - 1] == ']';
}

CIniKey* CIniFile::OpenKeyPath(char* pszLine) {
    return OpenKeyPathCached(pszLine, nullptr);
}

CIniKey* CIniFile::OpenKeyPathCached(char* pszLine, CKeyPathCache* pCache) {
    if (m_Root.GetCount(CIniKey::SUB_KEYS) == 0)
        AddRootKeys();
    CIniKey* pKey = nullptr;
    char* p = pszLine;
    for (size_t nStep = 0;; ++nStep) {
        while (*p != '\0' && IsKeyDelimiter(*p))
            ++p;
        if (*p == '\0')
            break;
        char* pszToken = p;
        while (*p != '\0' && !IsKeyDelimiter(*p))
            ++p;
        const size_t cchToken = static_cast<size_t>(p - pszToken);
        if (*p != '\0')
            *p++ = '\0';
        // A first component that is no root name gets a root key of its own, written back
        // like the five: dropping the section would lose its values.
        CIniKey* pParent = pKey != nullptr ? pKey : &m_Root;
        int bKept = 0;
        pKey = pCache != nullptr
                   ? pCache->Find(nStep, pParent, pszToken, cchToken, *m_pText, &bKept)
                   : nullptr;
        if (pKey == nullptr)
            pKey = pParent->OpenSubKey(pszToken, *m_pText);
        if (pKey == nullptr) {
            LoadIncomplete();
            return nullptr;
        }
        if (pCache != nullptr && !bKept)
            pCache->Record(nStep, pParent, pszToken, cchToken, pKey);
    }
    return pKey;
}

// 1 when the head of a value text (up to its last "]"), followed by one double quote, equals
// the quoted placeholder under the name comparison itself (it may find texts of other lengths
// equal); -1 when memory ran out.
int CIniFile::IsPlaceholderHead(const char* pHead, size_t cbHead) {
    for (const tagHeadSeen& seen : m_aHeadsSeen) {
        if (seen.cb == cbHead && memcmp(seen.ab, pHead, cbHead) == 0)
            return seen.bPlaceholder;
    }
    char szShort[HEAD_SEEN_SIZE + 2];
    CArray<char> longHead;
    if (cbHead >= HEAD_SEEN_SIZE && !longHead.SetSize(cbHead + 2))
        return -1;
    char* pszHead = cbHead < HEAD_SEEN_SIZE ? szShort : longHead.Data();
    memcpy(pszHead, pHead, cbHead);
    pszHead[cbHead] = '"';
    pszHead[cbHead + 1] = '\0';
    const int bPlaceholder =
        m_pText->pfnCompareNoCase(m_pText->pContext, pszHead, g_szQuotedPlaceholder) == 0;
    if (pszHead == szShort) {
        tagHeadSeen& seen = m_aHeadsSeen[m_nNextHeadSeen];
        m_nNextHeadSeen = (m_nNextHeadSeen + 1) % HEADS_SEEN;
        memcpy(seen.ab, pHead, cbHead);
        seen.cb = cbHead;
        seen.bPlaceholder = bPlaceholder;
    }
    return bPlaceholder;
}

// Returns 1 with the translated text in pOut (at most INI_TRANSLATED_MAX + 1 bytes and a NUL)
// when the value is a placeholder value that could be translated, 0 when the text stays as it
// is, -1 when memory ran out.
int CIniFile::TranslateWindir(const char* pText, size_t cbText, char* pOut, size_t* pcbOut) {
    *pcbOut = 0;
    if (cbText < 2 || pText[1] != '[')
        return 0;
    size_t cbHead = cbText;
    while (cbHead > 0 && pText[cbHead - 1] != ']')
        --cbHead;
    if (cbHead == 0)
        return 0;
    const int nPlaceholder = IsPlaceholderHead(pText, cbHead);
    if (nPlaceholder <= 0)
        return nPlaceholder;

    // A translation that does not fit is not made: a cut path would name another file.
    // Nor one without a tail: it would end in the folder's backslash, which a reader of the
    // written file takes for a continued line, joining the next line into this value.
    const char* pTail = pText + cbHead;
    const size_t cbTail = cbText - cbHead;
    char szFolder[INI_PATH_SIZE] = {};
    size_t cchPath = 0;
    if (cbTail == 0 || !m_pText->pfnWindowsFolder(m_pText->pContext, szFolder, sizeof(szFolder)) ||
        !JoinWindowsFolder(szFolder, sizeof(szFolder), pTail, cbTail, INI_WINDIR_TAIL_MAX,
                           INI_TRANSLATED_MAX, pOut + 1, &cchPath))
        return 0;
    pOut[0] = '"';
    *pcbOut = 1 + cchPath;
    return 1;
}

int CIniFile::ParseValueLine(CIniKey* pKey, char* pszLine, size_t cchLine) {
    // The name is everything before the first "=", the text everything after it, further "="
    // included. A line without a name or without text is no value line.
    char* pEquals = static_cast<char*>(memchr(pszLine, '=', cchLine));
    if (pEquals == nullptr || pEquals == pszLine || pEquals + 1 == pszLine + cchLine)
        return 0;
    *pEquals = '\0';
    const char* pText = pEquals + 1;
    size_t cbText = static_cast<size_t>(pszLine + cchLine - pText);

    char szTranslated[INI_TRANSLATED_MAX + 2];
    size_t cbTranslated = 0;
    const int nTranslated = TranslateWindir(pText, cbText, szTranslated, &cbTranslated);
    if (nTranslated < 0) {
        LoadIncomplete();
        return 0;
    }
    if (nTranslated > 0) {
        pText = szTranslated;
        cbText = cbTranslated;
    }
    // A kept text holds the name and the text, each ending in a NUL, as long as the tree.
    CIniValue* pValue = m_bTextKept && nTranslated == 0 && pKey->GetStore() == &m_Store
                            ? CIniValue::Borrow(pszLine, static_cast<size_t>(pEquals - pszLine),
                                                pEquals + 1, cbText, &m_Store)
                            : CIniValue::Create(pszLine, pText, cbText, pKey->GetStore());
    if (pValue == nullptr || !pKey->AddValue(pValue, 0)) {
        LoadIncomplete();
        return 0;
    }
    return 1;
}

namespace {

// The end of the line that starts at p, as a text-mode stream delivers it: before its LF, or
// before the CR of a CR LF (which arrives as one LF). *ppNext is where the next line starts;
// *pbLf tells whether the line has a line end.
char* LineEnd(char* p, char* pEnd, char** ppNext, int* pbLf) {
    char* pLf = static_cast<char*>(memchr(p, '\n', static_cast<size_t>(pEnd - p)));
    if (pLf == nullptr) {
        *ppNext = pEnd;
        *pbLf = 0;
        return pEnd;
    }
    *ppNext = pLf + 1;
    *pbLf = 1;
    return (pLf > p && pLf[-1] == '\r') ? pLf - 1 : pLf;
}

// A trailing backslash continues the line (cch bytes at pszLine) on the next physical line,
// whatever that holds; the appended text loses its spaces. The next lines' bytes move up
// behind the line, and *pp passes over them. At the end of the text nothing is appended and
// each turn removes one more trailing backslash. Returns the joined line's length.
size_t JoinContinuedLines(char* pszLine, size_t cch, char** pp, char* pEnd) {
    while (cch > 0 && pszLine[cch - 1] == '\\') {
        --cch;
        if (*pp < pEnd) {
            char* pFrom = *pp;
            int bLf = 0;
            char* const pStop = LineEnd(pFrom, pEnd, pp, &bLf);
            while (pFrom < pStop && *pFrom == ' ') // the usual indent, without a call
                ++pFrom;
            while (pFrom < pStop) {
                char* pSpace =
                    static_cast<char*>(memchr(pFrom, ' ', static_cast<size_t>(pStop - pFrom)));
                char* pRunEnd = pSpace != nullptr ? pSpace : pStop;
                const size_t cbRun = static_cast<size_t>(pRunEnd - pFrom);
                memmove(pszLine + cch, pFrom, cbRun);
                cch += cbRun;
                pFrom = pSpace != nullptr ? pSpace + 1 : pStop;
            }
        }
        pszLine[cch] = '\0';
    }
    return cch;
}

} // namespace

int CIniFile::IsRootKey(const CIniKey* pKey) const {
    for (int i = 0; i < m_Root.GetCount(CIniKey::SUB_KEYS); ++i) {
        if (m_Root.GetSubKey(i) == pKey)
            return 1;
    }
    return 0;
}

// The length of a line as the short-line rule counts it: bytes of 8-bit text, units of UTF-16
// text.
size_t CIniFile::Units(const char* pText, size_t cb) const {
    if (m_nEncoding != TEXT_UTF16LE || cb >= 4 * SHORT_LINE)
        return cb; // too long to be short in any encoding
    size_t nUnits = 0;
    for (size_t i = 0; i < cb; ++i) {
        const unsigned char b = static_cast<unsigned char>(pText[i]);
        nUnits += (b & 0xC0) != 0x80;
        nUnits += b >= 0xF0; // a surrogate pair
    }
    return nUnits;
}

long CIniFile::Refuse(const char* pRaw, size_t cbRaw) {
    if (m_nLoad != LOAD_INCOMPLETE)
        m_nLoad = HoldsWindirPlaceholder(pRaw, cbRaw) ? LOAD_REFUSED_HOLDING_WINDIR : LOAD_REFUSED;
    return 0;
}

long CIniFile::LoadText(char* pText, size_t cbText) {
    size_t cbMark = 0;
    const int nEncoding = ClassifyText(pText, cbText, &cbMark);
    // One tree holds the text of one encoding: its names are compared by that encoding's rules.
    if (nEncoding == TEXT_REFUSED || (m_nValuesTaken > 0 && nEncoding != m_nEncoding))
        return Refuse(pText, cbText);
    if (nEncoding != TEXT_UTF16LE) {
        size_t cbLines = cbText - cbMark;
        if (!TrimStrayBytes(pText + cbMark, &cbLines))
            return Refuse(pText, cbText);
        return LoadLines(pText + cbMark, cbLines, nEncoding);
    }

    // UTF-16 is read as UTF-8 (regscript/TextUtf16.h); an odd last byte is padding only when 0.
    // The stray units are told while the text still stands as read (a refusal looks for the
    // placeholder in it).
    size_t cbUnits = cbText - cbMark;
    if (cbUnits % 2 != 0 && pText[cbText - 1] == '\0')
        --cbUnits;
    size_t cUnits = cbUnits / 2;
    const unsigned char* pUnits = reinterpret_cast<const unsigned char*>(pText + cbMark);
    if (cbUnits % 2 != 0 || m_pPlatform->pfnUpcaseUtf16 == nullptr ||
        m_pPlatform->pfnWindowsFolderUtf8 == nullptr || !TrimStrayUnits(pUnits, &cUnits))
        return Refuse(pText, cbText);
    // 8-bit text that happens to start with the bytes FF FE (the two characters "\xFF\xFE") reads
    // as UTF-16 without a single value. Holding "[WINDIR]" as 8-bit text, which UTF-16 text of
    // ours cannot, it is refused text, not a file without values: left untouched, it fails. Told
    // while the text still stands as read.
    const int bEightBitWindir =
        HoldsWindirPlaceholder(pText + cbMark, cbText - cbMark, WINDIR_AS_8_BIT);
    const long nTaken = LoadUtf16Units(pText, pUnits, cUnits);
    if (nTaken == 0 && m_nLoad == LOAD_WHOLE && bEightBitWindir)
        m_nLoad = LOAD_REFUSED_HOLDING_WINDIR;
    return nTaken;
}

long CIniFile::LoadUtf16Units(char* pText, const unsigned char* pUnits, size_t cUnits) {
    // The UTF-8 takes the place of the UTF-16 text from the start of the buffer, as far as it
    // stays behind the units still to be read, which is all of a script's ASCII markup: no
    // second copy of the text. What does not fit (a long run of characters from U+0800 up)
    // goes with the UTF-8 before it to a new buffer.
    size_t nDone = 0;
    size_t cbUtf8 = Utf16LeToUtf8(pUnits, cUnits, pText, &nDone);
    if (nDone == cUnits)
        return LoadLines(pText, cbUtf8, TEXT_UTF16LE);
    const unsigned char* pRest = pUnits + 2 * nDone;
    const size_t cbRest = Utf8Length(pRest, cUnits - nDone);
    const size_t cbNew = cbRest < static_cast<size_t>(-1) / 2 - cbUtf8 ? cbUtf8 + cbRest + 1 : 0;
    CArray<char> passing; // a text that is not kept is gone with the loading
    char* pUtf8 = nullptr;
    if (cbNew > 0) // the values of a kept text keep their texts where it is
        pUtf8 = m_bTextKept ? static_cast<char*>(m_Store.Allocate(cbNew))
                            : (passing.SetSize(cbNew) ? passing.Data() : nullptr);
    if (pUtf8 == nullptr) {
        LoadIncomplete();
        return 0;
    }
    memcpy(pUtf8, pText, cbUtf8);
    cbUtf8 += Utf16LeToUtf8(pRest, cUnits - nDone, pUtf8 + cbUtf8);
    return LoadLines(pUtf8, cbUtf8, TEXT_UTF16LE);
}

void CIniFile::UseServicesFor(int nEncoding) {
    m_nEncoding = nEncoding;
    const tagTextPlatform* pServices = nEncoding == TEXT_UTF16LE ? &m_Utf8Platform : m_pPlatform;
    if (pServices != m_pText)
        memset(m_aHeadsSeen, 0, sizeof(m_aHeadsSeen)); // other services, other answers
    m_pText = pServices;
}

long CIniFile::LoadLines(char* pText, size_t cbText, int nEncoding) {
    UseServicesFor(nEncoding);
    // Lines are cut out of the text in place: a line's end (or, for the last line, the spare
    // byte after the text) takes its terminating NUL, and a continued line is joined by moving
    // the following lines' bytes up behind it. Lines have no length limit.
    char* p = pText;
    char* const pEnd = pText + cbText;
    CIniKey* pKey = nullptr; // the key of the last section line; none in the preamble
    CKeyPathCache cache;
    long nTaken = 0;
    // The first allocation that fails ends the reading: the tree is then never written, and
    // every allocation after it would only fail again (where the address space is used up,
    // each such failure costs the heap a search for space it cannot find).
    while (p < pEnd && m_nLoad != LOAD_INCOMPLETE) {
        char* pszLine = p;
        int bLf = 0;
        const size_t cch = static_cast<size_t>(LineEnd(p, pEnd, &p, &bLf) - pszLine);
        if (Units(pszLine, cch) + bLf < SHORT_LINE) // the LF counted
            continue;
        pszLine[cch] = '\0';
        if (IsSection(pszLine, cch))
            pKey = OpenSectionKey(pszLine, &cache);
        else if (pKey != nullptr && TakeValueLine(pKey, pszLine, cch, &p, pEnd))
            ++nTaken;
    }
    m_nValuesTaken += nTaken;
    return nTaken;
}

CIniKey* CIniFile::OpenSectionKey(char* pszLine, CKeyPathCache* pCache) {
    CIniKey* pKey = OpenKeyPathCached(pszLine, pCache);
    // A root of a name of one or two characters is written as a short line, which a reader of
    // the written file passes over, giving the values to the key before.
    const char* pszName = pKey != nullptr ? pKey->GetName() : "";
    if (pKey != nullptr && Units(pszName, strlen(pszName)) + 3 < SHORT_LINE && IsRootKey(pKey))
        return nullptr;
    return pKey;
}

int CIniFile::TakeValueLine(CIniKey* pKey, char* pszLine, size_t cch, char** pp, char* pEnd) {
    const int bContinued = cch > 0 && pszLine[cch - 1] == '\\';
    if (bContinued)
        cch = JoinContinuedLines(pszLine, cch, pp, pEnd);
    // A joined line is written back as one line; one that would then read as a section line,
    // or as a short line, is no value: taken, it would move the values after it to another
    // key, or vanish, when the written file is read.
    if (bContinued && (Units(pszLine, cch) + 1 < SHORT_LINE || IsSection(pszLine, cch)))
        return 0;
    return ParseValueLine(pKey, pszLine, cch);
}
