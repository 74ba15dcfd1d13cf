// The writer of CIniFile: the whole tree in the registry-script form, through a sink. Pure code
// over bytes: no Win32 header.
#include "regscript/IniFile.h"

#include <string.h>

#include "common/Array.h"
#include "regscript/BufferedSink.h"

namespace {

// The UTF-16 a UTF-16 script's writer hands on at a time.
const size_t UTF16_BLOCK = 1 << 16;

// One level of the writer's walk: the next sub-key to visit and the length of the path of the
// key whose sub-keys these are. The walk keeps them in a CArray: a tree's depth has no limit.
struct tagWalkFrame {
    const tagPubListNode<CIniKey*>* pNext;
    size_t cchPath;
};

int Write(const tagTextSink& sink, const char* p, size_t cb) {
    return cb == 0 || sink.pfnWrite(sink.pContext, p, cb);
}

// A key's own section: nothing for a key without values.
int WriteSection(const CIniKey* pKey, const char* pPath, size_t cchPath, const tagTextSink& sink) {
    if (pKey->GetCount(CIniKey::VALUES) == 0)
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

int CIniFile::WriteKey(const CIniKey* pKey, const char* pszPath, const tagTextSink& sink) const {
    CArray<char> path;
    CArray<tagWalkFrame> stack;
    if (!path.Append(pszPath, strlen(pszPath)) ||
        !WriteSection(pKey, path.Data(), path.Size(), sink) ||
        !stack.Push({pKey->SubKeys().GetHead(), path.Size()}))
        return 0;
    // Depth first, a key's own section before those of its sub-keys, sub-keys in position
    // order; an explicit stack instead of recursion, as the depth has no limit.
    while (!stack.IsEmpty()) {
        tagWalkFrame& top = stack.Back();
        if (top.pNext == nullptr) {
            stack.Truncate(stack.Size() - 1);
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
            !stack.Push({pSubKey->SubKeys().GetHead(), path.Size()}))
            return 0;
    }
    return 1;
}

int CIniFile::WriteTree(const tagTextSink& sink) const {
    if (m_nEncoding == TEXT_UTF8_MARKED)
        return Write(sink, "\xEF\xBB\xBF", 3) && WriteKeys(sink);
    if (m_nEncoding == TEXT_UTF16LE) {
        CBufferedSink wide(sink, UTF16_BLOCK, CBufferedSink::UTF8_TO_UTF16LE);
        return Write(sink, "\xFF\xFE", 2) && WriteKeys(wide.Sink()) && wide.Flush();
    }
    return WriteKeys(sink);
}

int CIniFile::WriteKeys(const tagTextSink& sink) const {
    for (const tagPubListNode<CIniKey*>* pNode = m_Root.SubKeys().GetHead(); pNode != nullptr;
         pNode = pNode->pNext) {
        const CIniKey* pRootKey = pNode->item;
        if (pRootKey == nullptr || (pRootKey->GetCount(CIniKey::SUB_KEYS) == 0 &&
                                    pRootKey->GetCount(CIniKey::VALUES) == 0))
            continue;
        if (!WriteKey(pRootKey, pRootKey->GetName(), sink))
            return 0;
    }
    return 1;
}
