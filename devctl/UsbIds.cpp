#include "devctl/UsbIds.h"

#include <string.h>

#include <new>

#include "regscript/TextLines.h"

namespace {

const char USB_ID_PREFIX[] = "USB\\VID_";
const size_t USB_ID_PREFIX_LENGTH = sizeof(USB_ID_PREFIX) - 1;

// FNV-1a over a zero-terminated text.
unsigned int HashText(const char* psz) {
    unsigned int nHash = 2166136261u;
    for (; *psz != '\0'; ++psz) {
        nHash ^= static_cast<unsigned char>(*psz);
        nHash *= 16777619u;
    }
    return nHash;
}

// Like memmem: the first place at or after pText where the prefix starts, or null.
const char* FindPrefix(const char* pText, const char* pEnd) {
    for (const char* p = pText; static_cast<size_t>(pEnd - p) >= USB_ID_PREFIX_LENGTH; ++p) {
        p = static_cast<const char*>(memchr(p, USB_ID_PREFIX[0], pEnd - p));
        if (p == nullptr || static_cast<size_t>(pEnd - p) < USB_ID_PREFIX_LENGTH)
            return nullptr;
        if (memcmp(p, USB_ID_PREFIX, USB_ID_PREFIX_LENGTH) == 0)
            return p;
    }
    return nullptr;
}

} // namespace

CUsbIdTable::CUsbIdTable()
    : m_pSlots(nullptr), m_nCount(0), m_nCapacity(0), m_pBuckets(nullptr), m_nBuckets(0) {}

CUsbIdTable::~CUsbIdTable() {
    delete[] m_pSlots;
    delete[] m_pBuckets;
}

void CUsbIdTable::Clear() {
    m_nCount = 0;
    if (m_pBuckets != nullptr)
        memset(m_pBuckets, 0, m_nBuckets * sizeof(m_pBuckets[0]));
}

unsigned int CUsbIdTable::Find(const char* pszId) const {
    if (m_nBuckets == 0)
        return m_nCount;
    const unsigned int nMask = m_nBuckets - 1;
    for (unsigned int nBucket = HashText(pszId) & nMask;; nBucket = (nBucket + 1) & nMask) {
        const unsigned int nEntry = m_pBuckets[nBucket];
        if (nEntry == 0)
            return m_nCount;
        if (strcmp(Id(nEntry - 1), pszId) == 0)
            return nEntry - 1;
    }
}

int CUsbIdTable::Contains(const char* pszCandidate) const {
    const size_t cch = strlen(pszCandidate);
    if (cch > USB_ID_LENGTH)
        return 0;
    // No id is longer than USB_ID_LENGTH, so a candidate of that length is contained only in an
    // equal id: the hash finds it. Shorter ones (the text ended early) are searched for in each.
    if (cch == USB_ID_LENGTH)
        return Find(pszCandidate) != m_nCount;
    for (unsigned int n = 0; n < m_nCount; ++n) {
        if (strstr(Id(n), pszCandidate) != nullptr)
            return 1;
    }
    return 0;
}

void CUsbIdTable::IndexSlot(unsigned int n) {
    if (strlen(Id(n)) != USB_ID_LENGTH)
        return; // only full-length ids are looked up by hash
    const unsigned int nMask = m_nBuckets - 1;
    unsigned int nBucket = HashText(Id(n)) & nMask;
    while (m_pBuckets[nBucket] != 0)
        nBucket = (nBucket + 1) & nMask;
    m_pBuckets[nBucket] = n + 1;
}

int CUsbIdTable::Grow() {
    const unsigned int nLimit = 0x10000000u; // keeps every size computation below in range
    if (m_nCapacity >= nLimit)
        return 0;
    const unsigned int nCapacity = (m_nCapacity == 0) ? 16 : m_nCapacity * 2;
    const unsigned int nBuckets = nCapacity * 2;
    char* pSlots = new (std::nothrow) char[static_cast<size_t>(nCapacity) * USB_ID_SLOT_SIZE]();
    unsigned int* pBuckets = new (std::nothrow) unsigned int[nBuckets]();
    if (pSlots == nullptr || pBuckets == nullptr) {
        delete[] pSlots;
        delete[] pBuckets;
        return 0;
    }
    if (m_nCount > 0)
        memcpy(pSlots, m_pSlots, static_cast<size_t>(m_nCount) * USB_ID_SLOT_SIZE);
    delete[] m_pSlots;
    delete[] m_pBuckets;
    m_pSlots = pSlots;
    m_pBuckets = pBuckets;
    m_nCapacity = nCapacity;
    m_nBuckets = nBuckets;
    for (unsigned int n = 0; n < m_nCount; ++n)
        IndexSlot(n);
    return 1;
}

int CUsbIdTable::Add(const char* pszId) {
    const size_t cch = strlen(pszId);
    if (cch > USB_ID_LENGTH)
        return 0;
    if (m_nCount == m_nCapacity && !Grow())
        return 0;
    char* pSlot = Id(m_nCount);
    memset(pSlot, 0, USB_ID_SLOT_SIZE);
    memcpy(pSlot, pszId, cch);
    IndexSlot(m_nCount);
    ++m_nCount;
    return 1;
}

size_t ToTextModeCutAtZeroOrCtrlZ(char* pBytes, size_t cbBytes) {
    size_t cbText = 0;
    while (cbText < cbBytes && pBytes[cbText] != '\0' && pBytes[cbText] != '\x1A')
        ++cbText;
    return ToTextMode(pBytes, cbText);
}

int ScanUsbHardwareIds(const char* pText, size_t cchText, CUsbIdTable* pTable) {
    const char* pZero = static_cast<const char*>(memchr(pText, '\0', cchText));
    const char* const pEnd = (pZero != nullptr) ? pZero : pText + cchText;
    const char* p = pText;
    while (p < pEnd) {
        const char* pId = FindPrefix(p, pEnd);
        if (pId == nullptr)
            break;
        char szCandidate[USB_ID_SLOT_SIZE] = {};
        const size_t cchLeft = static_cast<size_t>(pEnd - pId);
        const size_t cchId = USB_ID_LENGTH;
        memcpy(szCandidate, pId, cchLeft < cchId ? cchLeft : cchId);
        if (!pTable->Contains(szCandidate) && !pTable->Add(szCandidate))
            return 0;
        if (cchLeft <= USB_ID_SLOT_SIZE)
            break;
        p = pId + USB_ID_SLOT_SIZE;
    }
    return 1;
}
