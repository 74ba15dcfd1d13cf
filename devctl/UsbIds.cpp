#include "devctl/UsbIds.h"

#include <string.h>

#include <utility>

#include "common/Hash.h"
#include "common/FileText.h"

namespace {

const char USB_ID_PREFIX[] = "USB\\VID_";
const size_t USB_ID_PREFIX_LENGTH = sizeof(USB_ID_PREFIX) - 1;

unsigned int HashText(const char* psz) {
    CHash hash;
    hash.AddBytes(psz, strlen(psz));
    return hash.Value();
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

void CUsbIdTable::Clear() {
    m_slots.Clear();
    m_buckets.Clear();
}

unsigned int CUsbIdTable::Find(const char* pszId) const {
    if (m_buckets.IsEmpty())
        return Count();
    const unsigned int nMask = static_cast<unsigned int>(m_buckets.Size()) - 1;
    for (unsigned int nBucket = HashText(pszId) & nMask;; nBucket = (nBucket + 1) & nMask) {
        const unsigned int nEntry = m_buckets[nBucket];
        if (nEntry == 0)
            return Count();
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
        return Find(pszCandidate) != Count();
    for (unsigned int n = 0; n < Count(); ++n) {
        if (strstr(Id(n), pszCandidate) != nullptr)
            return 1;
    }
    return 0;
}

// Enters slot n into the buckets, first doubling them when they would be more than half full
// (every slot entered again then). 0 when memory runs out.
int CUsbIdTable::Index(unsigned int n) {
    if (2 * static_cast<size_t>(Count()) > m_buckets.Size()) {
        const size_t nBuckets = m_buckets.IsEmpty() ? 32 : 2 * m_buckets.Size();
        if (nBuckets > 0x20000000u)
            return 0; // keeps every bucket number below in range
        CArray<unsigned int> buckets;
        if (!buckets.Append(nullptr, nBuckets))
            return 0;
        m_buckets = std::move(buckets);
        for (unsigned int m = 0; m < n; ++m)
            Index(m);
    }
    if (strlen(Id(n)) != USB_ID_LENGTH)
        return 1; // only full-length ids are looked up by hash
    const unsigned int nMask = static_cast<unsigned int>(m_buckets.Size()) - 1;
    unsigned int nBucket = HashText(Id(n)) & nMask;
    while (m_buckets[nBucket] != 0)
        nBucket = (nBucket + 1) & nMask;
    m_buckets[nBucket] = n + 1;
    return 1;
}

int CUsbIdTable::Add(const char* pszId) {
    const size_t cch = strlen(pszId);
    tagUsbIdSlot slot = {};
    if (cch > USB_ID_LENGTH || !m_slots.Push(slot))
        return 0;
    memcpy(m_slots.Back().szId, pszId, cch);
    if (!Index(Count() - 1)) {
        m_slots.Truncate(Count() - 1);
        return 0;
    }
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
