#include "setup/ScanAdvance.h"

#include <windows.h>

#include <string.h>

#include <new>

#include "common/Handle.h"
#include "common/Diagnostics.h"
#include "common/ReadWholeFile.h"
#include "common/FileReplace.h"
#include "common/FileText.h"
#include "common/WindowsText.h"
#include "setup/ScanAdvanceText.h"

namespace {

// The profile writer rewrites the whole file for each value it writes, so a translation costs
// the number of values times the file's size. One that would write more than this in all is
// refused before the first write: a large file of many "[WINDIR]" values would otherwise keep
// the run going for hours.
const unsigned long long SCAN_REWRITE_MAX = 256ull * 1024 * 1024;

// The values the line pass found, each as its section, key and value with their NULs, one after
// the other: they are written once the pass has told how many there are.
struct tagFoundValues {
    CArray<char> texts;
    int nValues;
};

int RecordValue(void* pContext, const char* pszSection, const char* pszKey, const char* pszValue) {
    tagFoundValues& found = *static_cast<tagFoundValues*>(pContext);
    const char* const apszTexts[] = {pszSection, pszKey, pszValue};
    for (const char* psz : apszTexts) {
        if (!found.texts.Append(psz, strlen(psz) + 1))
            return 0;
    }
    ++found.nValues;
    return 1;
}

struct tagScanAdvanceContext {
    const char* pOriginal; // the file's bytes as read, for the new file
    size_t cbOriginal;
    CFileReplacement* pReplacement;
    int bStarted; // the new file holds the original bytes
};

// The profile writer works by name on a private copy of the file (see CFileReplacement::
// BeginCopy), which becomes the new file once every value is written: a write that fails leaves
// the file as it was, and no name the profile writer uses can be pointed elsewhere by anyone who
// may write the program folder. The copy is made at the first value, after the checks of
// CFileReplacement::Begin (the read-only attribute among them: under Wine running as root the
// profile writer writes read-only files).
int WriteValue(void* pContext, const char* pszSection, const char* pszKey, const char* pszValue) {
    tagScanAdvanceContext& context = *static_cast<tagScanAdvanceContext*>(pContext);
    if (!context.bStarted) {
        CFileReplacement& replacement = *context.pReplacement;
        if (!replacement.Begin() || !replacement.BeginCopy(context.pOriginal, context.cbOriginal))
            return 0;
        context.bStarted = 1;
    }
    return WritePrivateProfileStringA(pszSection, pszKey, pszValue,
                                      context.pReplacement->CopyPath()) != FALSE;
}

// Writes the values found in their order; the number written, which is less than the number
// found when a write fails.
int WriteFoundValues(const tagFoundValues& found, tagScanAdvanceContext* pContext) {
    const char* p = found.texts.Data();
    for (int nWritten = 0; nWritten < found.nValues; ++nWritten) {
        const char* pszSection = p;
        const char* pszKey = pszSection + strlen(pszSection) + 1;
        const char* pszValue = pszKey + strlen(pszKey) + 1;
        p = pszValue + strlen(pszValue) + 1;
        if (!WriteValue(pContext, pszSection, pszKey, pszValue))
            return nWritten;
    }
    return found.nValues;
}

} // namespace

int TranslateScanAdvance(const char* pszPath) {
    if (pszPath == nullptr)
        return 0;
    // The lines are examined as the file stood when the command began: it is read whole, and
    // held until it is replaced, while the profile writer rewrites a copy key by key.
    CFileReplacement replacement;
    if (!replacement.Open(pszPath))
        return 0;
    CArray<char> text;
    CArray<char> original; // the bytes as read: the line pass changes the text in place
    // A file that cannot be read whole may hold values to translate: the run says so.
    if (!replacement.ReadWholeOld(&text) || !original.Append(text.Data(), text.Size())) {
        Diag("%s cannot be read whole: left as it was", pszPath);
        return 0;
    }
    const size_t cbText = text.Size() - 1;

    tagFoundValues found = {};
    const tagScanAdvancePlatform finding = {&found, CompareNoCaseAnsi, WindowsFolderLong,
                                            RecordValue};
    const int nFound = TranslateScanAdvanceText(text.Data(), cbText, finding);
    if (nFound == SCAN_TEXT_REFUSED) {
        // Left as it is; a failure when it holds something to translate.
        const int bDone = !HoldsWindirPlaceholder(original.Data(), cbText);
        Diag("%s: its text is refused, %s", pszPath,
             bDone ? "nothing to translate" : "left as it was");
        return bDone;
    }
    if (nFound == SCAN_WRITE_FAILED) {
        Diag("%s: out of memory: left as it was", pszPath);
        return 0;
    }
    if (nFound > 0 && static_cast<unsigned long long>(nFound) * cbText > SCAN_REWRITE_MAX) {
        Diag("%s: %d values to write into %lu bytes, each a rewrite of the file: left as it was",
             pszPath, nFound, static_cast<unsigned long>(cbText));
        return 0;
    }

    tagScanAdvanceContext context = {};
    context.pOriginal = original.Data();
    context.cbOriginal = cbText;
    context.pReplacement = &replacement;
    const int nWritten = WriteFoundValues(found, &context);
    int bDone = nWritten == found.nValues; // else the copy and the new file go with the replacement
    if (bDone && context.bStarted) {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, replacement.CopyPath()); // flush
        bDone = replacement.Commit();
    }
    Diag("%s: %d values written, %s", pszPath, nWritten, bDone ? "done" : "left as it was");
    return bDone;
}
