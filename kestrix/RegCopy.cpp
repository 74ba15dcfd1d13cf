// RegCopyEx: copies a key with all its values and subkeys.
//
// The caller's two paths go to the platform unchanged (narrow text). Below them the walk reads
// names and data in UTF-16, the registry's own form, so that names and strings the code page
// cannot represent are copied exactly instead of coming out as '?', and every value keeps its
// exact bytes and length.
#include "kestrix/Kestrix.h"
#include "kestrix/KestrixInternal.h"
#include "common/Array.h"
#include "common/Handle.h"
#include "common/RegTree.h"

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

// A value that another process keeps making longer while it is read is measured again this many
// times before it counts as not copied.
const int VALUE_READ_ATTEMPTS = 4;

// Buffers for value names and data, shared by every level of one copy and grown to the largest
// value met, so that a copy makes few heap allocations however many values it meets.
struct tagCopyBuffers {
    CArray<WCHAR> name;
    CArray<BYTE> data;
    REGSAM samNested;  // the view flag of the keys below the top level (NestedView)
    int bWriteNothing; // a copy onto itself: see RegCopyEx
};

// Makes the array at least n elements long.
template <typename T> int GrowTo(CArray<T>& buffer, size_t n) {
    return n <= buffer.Size() || buffer.Append(nullptr, n - buffer.Size());
}

int ReserveFor(tagCopyBuffers& buffers, DWORD cchMaxValueName, DWORD cbMaxValueData) {
    return GrowTo(buffers.name, static_cast<size_t>(cchMaxValueName) + 1) &&
           GrowTo(buffers.data, static_cast<size_t>(cbMaxValueData) + DATA_SLACK);
}

// Copies the value at dwIndex of hSource into hDestination. ERROR_NO_MORE_ITEMS when the index is
// past the last value.
LONG CopyValue(HKEY hSource, DWORD dwIndex, HKEY hDestination, tagCopyBuffers& buffers) {
    // A value may grow between measuring the key and reading it: measure again and retry.
    for (int nAttempt = 0; nAttempt < VALUE_READ_ATTEMPTS; ++nAttempt) {
        WCHAR* pszName = buffers.name.Data();
        DWORD cchName = static_cast<DWORD>(buffers.name.Size());
        DWORD cbData = static_cast<DWORD>(buffers.data.Size()) - DATA_SLACK;
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

LONG CopySubkey(HKEY hSourceParent, const WCHAR* pszName, HKEY hDestinationParent, int nDepth,
                tagCopyBuffers& buffers);

// Copies the values and then the subkeys of hSource into hDestination. ERROR_SUCCESS when
// everything was copied; else the first error: a value that cannot be copied is passed over, a
// subkey that cannot be copied ends the copy.
LONG CopyKeyContents(HKEY hSource, HKEY hDestination, int nDepth, tagCopyBuffers& buffers) {
    // The counts are taken before anything is copied, so that keys the copy itself creates
    // inside the source are not visited.
    DWORD cSubKeys = 0;
    DWORD cValues = 0;
    DWORD cchMaxValueName = 0;
    DWORD cbMaxValueData = 0;
    LONG lResult = RegQueryInfoKeyW(hSource, nullptr, nullptr, nullptr, &cSubKeys, nullptr, nullptr,
                                    &cValues, &cchMaxValueName, &cbMaxValueData, nullptr, nullptr);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    if (!ReserveFor(buffers, cchMaxValueName, cbMaxValueData))
        return ERROR_NOT_ENOUGH_MEMORY;

    for (DWORD i = 0; i < cValues && !buffers.bWriteNothing; ++i) {
        const LONG lStatus = CopyValue(hSource, i, hDestination, buffers);
        if (lStatus == ERROR_NO_MORE_ITEMS)
            break;
        if (lStatus != ERROR_SUCCESS && lResult == ERROR_SUCCESS)
            lResult = lStatus;
    }

    WCHAR szName[KEY_NAME_CHARS];
    for (DWORD i = 0; i < cSubKeys; ++i) {
        DWORD cchName = KEY_NAME_CHARS;
        LONG lStatus =
            RegEnumKeyExW(hSource, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (lStatus == ERROR_NO_MORE_ITEMS)
            break;
        if (lStatus == ERROR_SUCCESS)
            lStatus = CopySubkey(hSource, szName, hDestination, nDepth + 1, buffers);
        if (lStatus != ERROR_SUCCESS)
            return lStatus;
    }
    return lResult;
}

LONG CreateKey(HKEY hParent, const char* pszKey, REGSAM sam, CRegKey* pKey) {
    return RegCreateKeyExA(hParent, pszKey, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr,
                           pKey->put(), nullptr);
}
LONG CreateKey(HKEY hParent, const WCHAR* pszKey, REGSAM sam, CRegKey* pKey) {
    return RegCreateKeyExW(hParent, pszKey, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr,
                           pKey->put(), nullptr);
}

// Opens a key of the destination, or creates it where it is missing (bCreate). A registry link
// there is refused (REG_LINK_REFUSED), never written through: its target may lie anywhere, also
// outside the destination. Only a key that is not there at all is created: one that cannot be
// opened as itself may be a link, which creating would resolve.
template <typename Char>
LONG OpenDestination(HKEY hParent, const Char* pszKey, REGSAM sam, int bCreate, CRegKey* pKey) {
    const LONG lStatus = OpenKeyUnlessLink(hParent, pszKey, sam, pKey);
    if (lStatus == ERROR_FILE_NOT_FOUND && bCreate)
        return CreateKey(hParent, pszKey, sam, pKey);
    return lStatus;
}

// A registry link in the source is not read through either (its target may lie outside the
// source, or above it, which would make the copy endless): like a key that cannot be read, it
// ends the copy.
LONG CopySubkey(HKEY hSourceParent, const WCHAR* pszName, HKEY hDestinationParent, int nDepth,
                tagCopyBuffers& buffers) {
    if (nDepth >= MAX_DEPTH)
        return ERROR_CANTOPEN; // the registry holds no deeper key
    CRegKey source;
    LONG lStatus =
        OpenKeyUnlessLink(hSourceParent, pszName, SOURCE_ACCESS | buffers.samNested, &source);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    CRegKey destination;
    lStatus = OpenDestination(hDestinationParent, pszName, DESTINATION_ACCESS | buffers.samNested,
                              !buffers.bWriteNothing, &destination);
    if (lStatus != ERROR_SUCCESS)
        return lStatus;
    return CopyKeyContents(source.get(), destination.get(), nDepth, buffers);
}

// The path's components upper-cased as the registry compares key names, each followed by a
// backslash ("A\B" and "a\\b\" both give "A\B\"); false when memory runs out.
int FoldedComponents(LPCSTR pszPath, CArray<WCHAR>& folded, int* pcch) {
    *pcch = 0;
    const int cchPath = pszPath ? MultiByteToWideChar(CP_ACP, 0, pszPath, -1, nullptr, 0) : 1;
    CArray<WCHAR> wide;
    if (cchPath <= 0 || !GrowTo(wide, cchPath) || !GrowTo(folded, cchPath + 1))
        return 0;
    WCHAR* pWide = wide.Data();
    pWide[0] = L'\0';
    if (pszPath)
        MultiByteToWideChar(CP_ACP, 0, pszPath, -1, pWide, cchPath);
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, pWide, cchPath, pWide, cchPath);
    WCHAR* pOut = folded.Data();
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

// Where the destination lies against the source.
enum { DESTINATION_ELSEWHERE, DESTINATION_IS_SOURCE, DESTINATION_BELOW_SOURCE };

// Both ends below the same parent handle (and so in the same view) are compared name by name,
// without regard to letter case or doubled and trailing backslashes. Ends that cannot be compared
// (memory ran out) count as nested, so that nothing is written then.
int PlaceOfDestination(HKEY hSrcParent, LPCSTR pszSrcKey, HKEY hDstParent, LPCSTR pszDstKey) {
    if (hSrcParent != hDstParent)
        return DESTINATION_ELSEWHERE;
    CArray<WCHAR> source, destination;
    int cchSource = 0, cchDestination = 0;
    if (!FoldedComponents(pszSrcKey, source, &cchSource) ||
        !FoldedComponents(pszDstKey, destination, &cchDestination))
        return DESTINATION_BELOW_SOURCE;
    if (cchSource > cchDestination ||
        memcmp(source.Data(), destination.Data(), cchSource * sizeof(WCHAR)) != 0)
        return DESTINATION_ELSEWHERE;
    return cchSource == cchDestination ? DESTINATION_IS_SOURCE : DESTINATION_BELOW_SOURCE;
}

} // namespace

extern "C" int WINAPI RegCopyEx(HKEY hSrcParent, LPCSTR pszSrcKey, HKEY hDstParent,
                                LPCSTR pszDstKey, LPSTR pszViewFlag) {
    const REGSAM samView = ApplyViewFlag(pszViewFlag);
    hSrcParent = PredefinedRoot(hSrcParent);
    hDstParent = PredefinedRoot(hDstParent);
    // A copy into the source's own subtree would keep finding the copies it has just made.
    const int nPlace = PlaceOfDestination(hSrcParent, pszSrcKey, hDstParent, pszDstKey);
    if (nPlace == DESTINATION_BELOW_SOURCE)
        return KESTRIX_NOT_DONE;
    CRegKey source;
    if (OpenKeyUnlessLink(hSrcParent, pszSrcKey, SOURCE_ACCESS | samView, &source) != ERROR_SUCCESS)
        return KESTRIX_NOT_DONE;
    // Onto itself the copy would write every value back as it is. It walks the tree as the copy
    // does, opening each key as the copy opens it, and writes nothing: what the copy would
    // give is given, 0 where a key may not be read or written.
    const int bWriteNothing = nPlace == DESTINATION_IS_SOURCE;
    CRegKey destination;
    if (OpenDestination(hDstParent, pszDstKey, DESTINATION_ACCESS | samView, !bWriteNothing,
                        &destination) != ERROR_SUCCESS)
        return KESTRIX_NOT_DONE;
    tagCopyBuffers buffers;
    buffers.samNested = NestedView(samView);
    buffers.bWriteNothing = bWriteNothing;
    return CopyKeyContents(source.get(), destination.get(), 0, buffers) == ERROR_SUCCESS
               ? KESTRIX_DONE
               : KESTRIX_NOT_DONE;
}
