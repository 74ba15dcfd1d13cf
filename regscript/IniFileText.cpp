// The registry-script text logic of CIniFile: the line reader and joiner, the "[WINDIR]"
// translation, the key-path lookup and the writer's text form. Pure code over bytes: no Win32
// header; the platform's services come in through tagTextPlatform and tagTextSink.
#include "regscript/IniFile.h"

#include <string.h>

#include "regscript/TextLines.h"

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

// A byte buffer that grows; the writer builds key paths of any length in it.
class CGrowBuffer {
public:
    CGrowBuffer() : m_p(nullptr), m_cb(0), m_cbCapacity(0) {}
    ~CGrowBuffer() { delete[] m_p; }
    CGrowBuffer(const CGrowBuffer&) = delete;
    CGrowBuffer& operator=(const CGrowBuffer&) = delete;

    const char* Data() const { return m_p; }
    size_t Size() const { return m_cb; }
    void Truncate(size_t cb) { m_cb = cb; }

    int Append(const char* p, size_t cb) {
        if (cb > m_cbCapacity - m_cb) {
            size_t cbCapacity = m_cbCapacity > 0 ? m_cbCapacity : 256;
            while (cbCapacity - m_cb < cb) {
                if (cbCapacity > static_cast<size_t>(-1) / 4)
                    return 0;
                cbCapacity *= 2;
            }
            char* pNew = new (std::nothrow) char[cbCapacity];
            if (pNew == nullptr)
                return 0;
            if (m_cb > 0)
                memcpy(pNew, m_p, m_cb);
            delete[] m_p;
            m_p = pNew;
            m_cbCapacity = cbCapacity;
        }
        if (cb > 0)
            memcpy(m_p + m_cb, p, cb);
        m_cb += cb;
        return 1;
    }

private:
    char* m_p;
    size_t m_cb;
    size_t m_cbCapacity;
};

// One level of the writer's walk: the next sub-key to visit and the length of the path of the
// key whose sub-keys these are.
struct tagWalkFrame {
    const tagPubListNode<CIniKey*>* pNext;
    size_t cchPath;
};

// A stack of walk frames on the heap: the depth of a tree has no limit of its own.
class CWalkStack {
public:
    CWalkStack() : m_p(nullptr), m_n(0), m_nCapacity(0) {}
    ~CWalkStack() { delete[] m_p; }
    CWalkStack(const CWalkStack&) = delete;
    CWalkStack& operator=(const CWalkStack&) = delete;

    int IsEmpty() const { return m_n == 0; }
    tagWalkFrame& Top() { return m_p[m_n - 1]; }
    void Pop() { --m_n; }
    int Push(const tagPubListNode<CIniKey*>* pNext, size_t cchPath) {
        if (m_n == m_nCapacity) {
            size_t nCapacity = m_nCapacity > 0 ? m_nCapacity * 2 : 32;
            if (nCapacity > static_cast<size_t>(-1) / (2 * sizeof(tagWalkFrame)))
                return 0;
            tagWalkFrame* pNew = new (std::nothrow) tagWalkFrame[nCapacity];
            if (pNew == nullptr)
                return 0;
            if (m_n > 0)
                memcpy(pNew, m_p, m_n * sizeof(tagWalkFrame));
            delete[] m_p;
            m_p = pNew;
            m_nCapacity = nCapacity;
        }
        m_p[m_n].pNext = pNext;
        m_p[m_n].cchPath = cchPath;
        ++m_n;
        return 1;
    }

private:
    tagWalkFrame* m_p;
    size_t m_n;
    size_t m_nCapacity;
};

int Write(const tagTextSink& sink, const char* p, size_t cb) {
    return cb == 0 || sink.pfnWrite(sink.pContext, p, cb);
}

// A key's own section: nothing for a key without values.
int WriteSection(const CIniKey* pKey, const char* pPath, size_t cchPath, const tagTextSink& sink) {
    if (pKey->GetCount(0) == 0)
        return 1;
    if (!Write(sink, "\r\n[", 3) || !Write(sink, pPath, cchPath) || !Write(sink, "]\r\n", 3))
        return 0;
    for (const tagPubListNode<CIniValue*>* pNode = pKey->Values().GetHead(); pNode != nullptr;
         pNode = pNode->pNext) {
        const CIniValue* pValue = pNode->item;
        if (pValue == nullptr)
            continue;
        if (!Write(sink, pValue->GetName(), pValue->GetNameLength()) || !Write(sink, "=", 1) ||
            !Write(sink, pValue->GetData(), pValue->GetDataLength()) || !Write(sink, "\r\n", 2))
            return 0;
    }
    return 1;
}

} // namespace

CIniFile::CIniFile(const tagTextPlatform* pPlatform)
    : m_Root("My Computer"), m_pPlatform(pPlatform), m_nValuesTaken(0), m_bLoadFailed(0) {
    memset(m_szPath, 0, sizeof(m_szPath));
    AddRootKeys();
}

CIniFile::~CIniFile() {}

void CIniFile::AddRootKeys() {
    for (const char* pszName : g_apszRootNames) {
        CIniKey* pKey = new (std::nothrow) CIniKey(pszName);
        if (pKey == nullptr || !pKey->IsValid() || !m_Root.AddSubKey(pKey, 0)) {
            delete pKey;
            m_bLoadFailed = 1; // a tree without its fixed roots would be written in another order
        }
    }
}

void CIniFile::Clear() {
    while (m_Root.GetCount(1) > 0) {
        delete m_Root.GetSubKey(0);
        m_Root.RemoveSubKey(0);
    }
}

int CIniFile::IsSectionLine(const char* pszLine) {
    const size_t cch = strlen(pszLine);
    return cch > 0 && pszLine[0] == '[' && pszLine[cch - 1] == ']';
}

void CIniFile::RemoveChar(char* pszLine, char c) {
    char* pOut = pszLine;
    for (const char* p = pszLine; *p != '\0'; ++p) {
        if (*p != c)
            *pOut++ = *p;
    }
    *pOut = '\0';
}

CIniKey* CIniFile::OpenKeyPath(char* pszLine) {
    if (m_Root.GetCount(1) == 0)
        AddRootKeys();
    CIniKey* pKey = nullptr;
    char* p = pszLine;
    for (;;) {
        while (*p != '\0' && IsKeyDelimiter(*p))
            ++p;
        if (*p == '\0')
            break;
        char* pszToken = p;
        while (*p != '\0' && !IsKeyDelimiter(*p))
            ++p;
        if (*p != '\0')
            *p++ = '\0';
        // A first component that is no root name gets a root key of its own, written back
        // like the five: dropping the section would lose its values.
        CIniKey* pParent = pKey != nullptr ? pKey : &m_Root;
        pKey = pParent->OpenSubKey(pszToken, *m_pPlatform);
        if (pKey == nullptr) {
            m_bLoadFailed = 1;
            return nullptr;
        }
    }
    return pKey;
}

// Returns 1 with a new heap text in *ppTranslated when the value is a placeholder value that
// could be translated, 0 when the text stays as it is, -1 when memory ran out.
int CIniFile::TranslateWindir(const char* pText, size_t cbText, char** ppTranslated,
                              size_t* pcbTranslated) const {
    *ppTranslated = nullptr;
    *pcbTranslated = 0;
    if (cbText < 2 || pText[1] != '[')
        return 0;
    size_t cbHead = cbText;
    while (cbHead > 0 && pText[cbHead - 1] != ']')
        --cbHead;
    if (cbHead == 0)
        return 0;

    // The head with a closing quote against the quoted placeholder, through the platform's
    // comparison itself (it may find texts of other lengths equal).
    char* pszHead = new (std::nothrow) char[cbHead + 2];
    if (pszHead == nullptr)
        return -1;
    memcpy(pszHead, pText, cbHead);
    pszHead[cbHead] = '"';
    pszHead[cbHead + 1] = '\0';
    const int bPlaceholder =
        m_pPlatform->pfnCompareNoCase(m_pPlatform->pContext, pszHead, g_szQuotedPlaceholder) == 0;
    delete[] pszHead;
    if (!bPlaceholder)
        return 0;

    // A translation that does not fit is not made: a cut path would name another file.
    const char* pTail = pText + cbHead;
    const size_t cbTail = cbText - cbHead;
    if (cbTail > INI_WINDIR_TAIL_MAX)
        return 0;
    char szFolder[INI_PATH_SIZE] = {};
    if (!m_pPlatform->pfnWindowsFolder(m_pPlatform->pContext, szFolder, sizeof(szFolder)))
        return 0;
    szFolder[sizeof(szFolder) - 1] = '\0';
    const size_t cchFolder = strlen(szFolder);
    if (cchFolder + 1 + cbTail > INI_TRANSLATED_MAX)
        return 0;

    const size_t cbOut = 1 + cchFolder + 1 + cbTail;
    char* pOut = new (std::nothrow) char[cbOut + 1];
    if (pOut == nullptr)
        return -1;
    pOut[0] = '"';
    memcpy(pOut + 1, szFolder, cchFolder);
    pOut[1 + cchFolder] = '\\';
    memcpy(pOut + 2 + cchFolder, pTail, cbTail);
    pOut[cbOut] = '\0';
    *ppTranslated = pOut;
    *pcbTranslated = cbOut;
    return 1;
}

int CIniFile::ParseValueLine(CIniKey* pKey, char* pszLine) {
    // The name is everything before the first "=", the text everything after it, further "="
    // included. A line without a name or without text is no value line.
    char* pEquals = strchr(pszLine, '=');
    if (pEquals == nullptr || pEquals == pszLine || pEquals[1] == '\0')
        return 0;
    *pEquals = '\0';
    const char* pText = pEquals + 1;
    size_t cbText = strlen(pText);

    char* pTranslated = nullptr;
    size_t cbTranslated = 0;
    const int nTranslated = TranslateWindir(pText, cbText, &pTranslated, &cbTranslated);
    if (nTranslated < 0) {
        m_bLoadFailed = 1;
        return 0;
    }
    if (nTranslated > 0) {
        pText = pTranslated;
        cbText = cbTranslated;
    }
    CIniValue* pValue = new (std::nothrow) CIniValue(pszLine, pText, cbText);
    delete[] pTranslated;
    if (pValue == nullptr || !pValue->IsValid() || !pKey->AddValue(pValue, 0)) {
        delete pValue;
        m_bLoadFailed = 1;
        return 0;
    }
    return 1;
}

long CIniFile::LoadText(char* pText, size_t cbText) {
    if (!IsEightBitText(pText, cbText))
        return 0;
    cbText = ToTextMode(pText, cbText);

    // Lines are cut out of the text in place: a line's LF (or, for the last line, the spare
    // byte after the text) takes its terminating NUL, and a continued line is joined by moving
    // the following lines' bytes up behind it. Lines have no length limit.
    char* p = pText;
    char* const pEnd = pText + cbText;
    CIniKey* pKey = nullptr;
    long nTaken = 0;
    while (p < pEnd) {
        char* pLf = static_cast<char*>(memchr(p, '\n', static_cast<size_t>(pEnd - p)));
        char* pszLine = p;
        p = pLf != nullptr ? pLf + 1 : pEnd;
        const size_t cbLine = static_cast<size_t>(p - pszLine); // its LF counted
        if (cbLine < SHORT_LINE)
            continue;
        size_t cch = pLf != nullptr ? cbLine - 1 : cbLine;
        pszLine[cch] = '\0';

        if (IsSectionLine(pszLine)) {
            pKey = OpenKeyPath(pszLine);
            continue;
        }
        if (pKey == nullptr)
            continue; // the preamble, or a section that names no key

        // A trailing backslash continues the value on the next physical line, whatever that
        // holds; the appended text loses its spaces. At the end of the text nothing is
        // appended and each turn removes one more trailing backslash.
        while (cch > 0 && pszLine[cch - 1] == '\\') {
            --cch;
            if (p < pEnd) {
                char* pNextLf = static_cast<char*>(memchr(p, '\n', static_cast<size_t>(pEnd - p)));
                char* pStop = pNextLf != nullptr ? pNextLf : pEnd;
                for (const char* q = p; q < pStop; ++q) {
                    if (*q != ' ')
                        pszLine[cch++] = *q;
                }
                p = pNextLf != nullptr ? pNextLf + 1 : pEnd;
            }
            pszLine[cch] = '\0';
        }
        if (ParseValueLine(pKey, pszLine))
            ++nTaken;
    }
    m_nValuesTaken += nTaken;
    return nTaken;
}

int CIniFile::WriteKey(const CIniKey* pKey, const char* pszPath, const tagTextSink& sink) const {
    CGrowBuffer path;
    CWalkStack stack;
    if (!path.Append(pszPath, strlen(pszPath)) ||
        !WriteSection(pKey, path.Data(), path.Size(), sink) ||
        !stack.Push(pKey->SubKeys().GetHead(), path.Size()))
        return 0;
    // Depth first, a key's own section before those of its sub-keys, sub-keys in position
    // order; an explicit stack instead of recursion, as the depth has no limit.
    while (!stack.IsEmpty()) {
        tagWalkFrame& top = stack.Top();
        if (top.pNext == nullptr) {
            stack.Pop();
            continue;
        }
        const CIniKey* pSubKey = top.pNext->item;
        top.pNext = top.pNext->pNext;
        if (pSubKey == nullptr)
            continue;
        path.Truncate(top.cchPath);
        const char* pszName = pSubKey->GetName();
        if (!path.Append("\\", 1) || !path.Append(pszName, strlen(pszName)) ||
            !WriteSection(pSubKey, path.Data(), path.Size(), sink) ||
            !stack.Push(pSubKey->SubKeys().GetHead(), path.Size()))
            return 0;
    }
    return 1;
}

int CIniFile::WriteTree(const tagTextSink& sink) const {
    for (const tagPubListNode<CIniKey*>* pNode = m_Root.SubKeys().GetHead(); pNode != nullptr;
         pNode = pNode->pNext) {
        const CIniKey* pRootKey = pNode->item;
        if (pRootKey == nullptr || (pRootKey->GetCount(1) == 0 && pRootKey->GetCount(0) == 0))
            continue;
        if (!WriteKey(pRootKey, pRootKey->GetName(), sink))
            return 0;
    }
    return 1;
}
