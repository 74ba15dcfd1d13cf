// USB hardware ids found in an INF file's text.
//
// Pure text logic, no Win32 call: the scan works on bytes already read, so that it can be built
// natively and fuzzed. Reading the file is ReadUsbHardwareIds (devctl/DevCtr.h).
#pragma once

#include <stddef.h>

#include "common/Array.h"

enum {
    USB_ID_LENGTH = 21,                  // USB\VID_vvvv&PID_pppp
    USB_ID_SLOT_SIZE = USB_ID_LENGTH + 1 // an id and its terminator
};

// One id and its terminator.
struct tagUsbIdSlot {
    char szId[USB_ID_SLOT_SIZE];
};

// The distinct ids of one INF file, in the order of their first appearance. Grows as needed:
// every id of the file is kept, however many there are.
class CUsbIdTable {
public:
    unsigned int Count() const { return static_cast<unsigned int>(m_slots.Size()); }
    // The n-th id (n below Count()), zero-terminated, in a writable slot of USB_ID_SLOT_SIZE
    // bytes: the product's library receives it as a plain char pointer.
    char* Id(unsigned int n) { return m_slots[n].szId; }
    const char* Id(unsigned int n) const { return m_slots[n].szId; }

    // 1 when an id already held contains pszCandidate as a substring.
    int Contains(const char* pszCandidate) const;
    // Appends pszId (at most USB_ID_LENGTH characters; longer text is refused). 1 when added,
    // 0 when it does not fit or memory runs out (the table is then unchanged).
    int Add(const char* pszId);
    void Clear();

private:
    int Index(unsigned int n);
    unsigned int Find(const char* pszId) const; // index of an equal id, or Count()

    CArray<tagUsbIdSlot> m_slots;
    // Open addressing over the full-length ids: slot number + 1, 0 for an empty bucket; a power
    // of two, at least twice the number of slots.
    CArray<unsigned int> m_buckets;
};

// Turns raw file bytes into the text that a C runtime read in text mode ("rt") yields: the
// text ends at the first zero byte (where the id search would end anyway) or at a Ctrl-Z, which
// a text-mode read takes for the end of the file, and before that each CR LF pair becomes LF
// (ToTextMode, common/FileText.h). Works in place; returns the length of the text.
size_t ToTextModeCutAtZeroOrCtrlZ(char* pBytes, size_t cbBytes);

// Searches pText (cchText characters; a zero byte ends it sooner) for "USB\VID_", exact case.
// Each occurrence yields the USB_ID_LENGTH characters that begin there (fewer where the text
// ends sooner); the search goes on USB_ID_SLOT_SIZE characters after the occurrence's start.
// A candidate joins pTable unless an id already there contains it, so an id with an interface
// suffix (&MI_00) merges with the plain id of the same device. Returns 1, or 0 when memory ran
// out (pTable then holds the ids found up to that point).
int ScanUsbHardwareIds(const char* pText, size_t cchText, CUsbIdTable* pTable);
