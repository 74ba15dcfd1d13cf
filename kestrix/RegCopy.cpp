// RegCopyEx: copies a key with all its values and subkeys.
//
// The caller's two paths go to the platform unchanged (narrow text). Below them the walk reads
// names and data in UTF-16, the registry's own form, so that names and strings the code page
// cannot represent are copied exactly instead of coming out as '?', and every value keeps its
// exact bytes and length.
#include "kestrix/Kestrix.h"
#include "kestrix/KestrixInternal.h"
#include "kestrix/HeapBuffer.h"
#include "common/Handle.h"

#include <string.h>

namespace {

// The rights the copy uses and no more: the source is only queried and enumerated, the
// destination only gets values and subkeys.
const REGSAM SOURCE_ACCESS = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
const REGSAM DESTINATION_ACCESS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

// A key name has at most 255 characters.
const DWORD KEY_NAME_CHARS = 256;

// The registry holds at most 512 levels. The limit also ends a copy into the source's own subtree
// that the path comparison cannot see (the two ends named from different parent handles).
const int MAX_DEPTH = 512;

// Bytes kept free after a value's data; see CopyValue.
const DWORD DATA_SLACK = 2;

// Buffers for value names and data, shared by every level of one copy and grown to the largest
// value met, so that a copy makes few heap allocations however many values it meets.
struct tagCopyBuffers {
    CHeapBuffer name;
    CHeapBuffer data;
    REGSAM samNested; // the view flag of the keys below the top level (NestedView)
};

int ReserveFor(tagCopyBuffers& buffers, DWORD cchMaxValueName, DWORD cbMaxValueData) {
    return buffers.name.Reserve((cchMaxValueName + 1) * sizeof(WCHAR)) &&
           buffers.data.Reserve(cbMaxValueData + DATA_SLACK);
}

// Copies the value at dwIndex of hSource into hDestination. ERROR_NO_MORE_ITEMS when the index is
// past the last value.
LONG CopyValue(HKEY hSource, DWORD dwIndex, HKEY hDestination, tagCopyBuffers& buffers) {
    // A value may grow between measuring the key and reading it: measure again and retry.
    for (int nAttempt = 0; nAttempt < 4; ++nAttempt) {
        WCHAR* pszName = reinterpret_cast<WCHAR*>(buffers.name.Data());
        DWORD cchName = buffers.name.Size() / sizeof(WCHAR);
        DWORD cbData = buffers.data.Size() - DATA_SLACK;
        DWORD dwType = 0;
        LONG lStatus = RegEnumValueW(hSource, dwIndex, pszName, &cchName, nullptr, &dwType,
                                     buffers.data.Data(), &cbData);
        if (lStatus == ERROR_MORE_DATA) {
            DWORD cchMaxName = 0;
            DWORD cbMaxData = 0;
            lStatus = RegQueryInfoKeyW(hSource, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, &cchMaxName, &cbMaxData, nullptr, nullptr);
            if (lStatus != ERROR_SUCCESS)
                return lStatus;
            if (cbData > cbMaxData)
                cbMaxData = cbData;
            if (!ReserveFor(buffers, cchMaxName, cbMaxData))
                return ERROR_NOT_ENOUGH_MEMORY;
            continue;
        }
        if (lStatus != ERROR_SUCCESS)
            return lStatus;
        // The platform adds a terminator to string data whose next character in memory is NUL;
        // a non-NUL guard behind the data keeps a string stored without one at its exact length.
        buffers.data.Data()[cbData] = 0xFF;
        buffers.data.Data()[cbData + 1] = 0xFF;
        return RegSetValueExW(hDestination, pszName, 0, dwType, buffers.data.Data(), cbData);
    }
    return ERROR_MORE_DATA;
}

int CopySubkey(HKEY hSourceParent, const WCHAR* pszName, HKEY hDestinationParent, int nDepth,
               tagCopyBuffers& buffers);

// Copies the values and then the subkeys of hSource into hDestination. 1 when everything was
// copied, 0 otherwise; a value that cannot be copied is passed over, a subkey that cannot be
// copied ends the copy.
int CopyKeyContents(HKEY hSource, HKEY hDestination, int nDepth, tagCopyBuffers& buffers) {
    // The counts are taken before anything is copied, so that keys the copy itself creates
    // inside the source are not visited.
    DWORD cSubKeys = 0;
    DWORD cValues = 0;
    DWORD cchMaxValueName = 0;
    DWORD cbMaxValueData = 0;
    if (RegQueryInfoKeyW(hSource, nullptr, nullptr, nullptr, &cSubKeys, nullptr, nullptr, &cValues,
                         &cchMaxValueName, &cbMaxValueData, nullptr, nullptr) != ERROR_SUCCESS ||
        !ReserveFor(buffers, cchMaxValueName, cbMaxValueData))
        return 0;

    int nResult = 1;
    for (DWORD i = 0; i < cValues; ++i) {
        const LONG lStatus = CopyValue(hSource, i, hDestination, buffers);
        if (lStatus == ERROR_NO_MORE_ITEMS)
            break;
        if (lStatus != ERROR_SUCCESS)
            nResult = 0;
    }

    WCHAR szName[KEY_NAME_CHARS];
    for (DWORD i = 0; i < cSubKeys; ++i) {
        DWORD cchName = KEY_NAME_CHARS;
        const LONG lStatus =
            RegEnumKeyExW(hSource, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (lStatus == ERROR_NO_MORE_ITEMS)
            break;
        if (lStatus != ERROR_SUCCESS ||
            !CopySubkey(hSource, szName, hDestination, nDepth + 1, buffers))
            return 0;
    }
    return nResult;
}

int CopySubkey(HKEY hSourceParent, const WCHAR* pszName, HKEY hDestinationParent, int nDepth,
               tagCopyBuffers& buffers) {
    if (nDepth >= MAX_DEPTH)
        return 0;
    CRegKey source;
    if (RegOpenKeyExW(hSourceParent, pszName, 0, SOURCE_ACCESS | buffers.samNested, source.put()) !=
        ERROR_SUCCESS)
        return 0;
    CRegKey destination;
    if (RegCreateKeyExW(hDestinationParent, pszName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        DESTINATION_ACCESS | buffers.samNested, nullptr, destination.put(),
                        nullptr) != ERROR_SUCCESS)
        return 0;
    return CopyKeyContents(source.get(), destination.get(), nDepth, buffers);
}

// The path's components upper-cased as the registry compares key names, each followed by a
// backslash ("A\B" and "a\\b\" both give "A\B\"); false when memory runs out.
int FoldedComponents(LPCSTR pszPath, CHeapBuffer& folded, int* pcch) {
    *pcch = 0;
    const int cchPath = pszPath ? MultiByteToWideChar(CP_ACP, 0, pszPath, -1, nullptr, 0) : 1;
    CHeapBuffer wide;
    if (cchPath <= 0 || !wide.Reserve(cchPath * sizeof(WCHAR)) ||
        !folded.Reserve((cchPath + 1) * sizeof(WCHAR)))
        return 0;
    WCHAR* pWide = reinterpret_cast<WCHAR*>(wide.Data());
    pWide[0] = L'\0';
    if (pszPath)
        MultiByteToWideChar(CP_ACP, 0, pszPath, -1, pWide, cchPath);
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, pWide, cchPath, pWide, cchPath);
    WCHAR* pOut = reinterpret_cast<WCHAR*>(folded.Data());
    for (const WCHAR* p = pWide; *p;) {
        while (*p == L'\\')
            ++p;
        if (!*p)
            break;
        while (*p && *p != L'\\')
            pOut[(*pcch)++] = *p++;
        pOut[(*pcch)++] = L'\\';
    }
    return 1;
}

// A copy whose destination is its source, or lies below it, would keep finding the copies it has
// just made. Both ends below the same parent handle (and so in the same view) are compared name
// by name; true also when they cannot be compared, so that nothing is written then either.
int DestinationWithinSource(HKEY hSrcParent, LPCSTR pszSrcKey, HKEY hDstParent, LPCSTR pszDstKey) {
    if (hSrcParent != hDstParent)
        return 0;
    CHeapBuffer source, destination;
    int cchSource = 0, cchDestination = 0;
    if (!FoldedComponents(pszSrcKey, source, &cchSource) ||
        !FoldedComponents(pszDstKey, destination, &cchDestination))
        return 1;
    return cchSource <= cchDestination &&
           memcmp(source.Data(), destination.Data(), cchSource * sizeof(WCHAR)) == 0;
}

} // namespace

extern "C" int WINAPI RegCopyEx(HKEY hSrcParent, LPCSTR pszSrcKey, HKEY hDstParent,
                                LPCSTR pszDstKey, LPSTR pszViewFlag) {
    const REGSAM samView = ApplyViewFlag(pszViewFlag);
    hSrcParent = PredefinedRoot(hSrcParent);
    hDstParent = PredefinedRoot(hDstParent);
    if (DestinationWithinSource(hSrcParent, pszSrcKey, hDstParent, pszDstKey))
        return 0;
    CRegKey source;
    if (RegOpenKeyExA(hSrcParent, pszSrcKey, 0, SOURCE_ACCESS | samView, source.put()) !=
        ERROR_SUCCESS)
        return 0;
    CRegKey destination;
    if (RegCreateKeyExA(hDstParent, pszDstKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        DESTINATION_ACCESS | samView, nullptr, destination.put(),
                        nullptr) != ERROR_SUCCESS)
        return 0;
    tagCopyBuffers buffers;
    buffers.samNested = NestedView(samView);
    return CopyKeyContents(source.get(), destination.get(), 0, buffers);
}
