#include "setup/ScanAdvance.h"

#include <windows.h>

#include <string.h>

#include <new>

#include "common/Handle.h"
#include "common/Diagnostics.h"
#include "common/ReadWholeFile.h"
#include "regscript/FileReplace.h"
#include "regscript/TextLines.h"
#include "regscript/WindowsText.h"
#include "setup/ScanAdvanceText.h"

namespace {

// The profile writer rewrites the whole file for each value it writes, so a translation costs
// the number of values times the file's size. One that would write more than this in all is
// refused before the first write: a large file of many "[WINDIR]" values would otherwise keep
// the run going for hours.
const unsigned long long SCAN_REWRITE_MAX = 256ull * 1024 * 1024;

int CountValue(void* pContext, const char*, const char*, const char*) {
    ++*static_cast<int*>(pContext);
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
    CArray<char> original;
    const int bRead = replacement.ReadWholeOld(&text);
    // A file that cannot be read whole may hold values to translate: the run says so.
    if (!bRead || !original.Reserve(text.Size() + 1) ||
        !original.Append(text.Data(), text.Size())) {
        Diag("%s cannot be read whole: left as it was", pszPath);
        return 0;
    }
    char* const pText = text.Data();
    const char* const pOriginal = original.Data();
    const size_t cbText = text.Size();

    // A first pass counts the values to write (the text, changed by it, is then restored).
    int nValues = 0;
    const tagScanAdvancePlatform counting = {&nValues, CompareNoCaseAnsi, WindowsFolderLong,
                                             CountValue};
    const int nCounted = TranslateScanAdvanceText(pText, cbText, counting);
    memcpy(pText, pOriginal, cbText);
    if (nCounted > 0 && static_cast<unsigned long long>(nCounted) * cbText > SCAN_REWRITE_MAX) {
        Diag("%s: %d values to write into %lu bytes, each a rewrite of the file: left as it was",
             pszPath, nCounted, static_cast<unsigned long>(cbText));
        return 0;
    }

    tagScanAdvanceContext context = {};
    context.pOriginal = pOriginal;
    context.cbOriginal = cbText;
    context.pReplacement = &replacement;
    const tagScanAdvancePlatform platform = {&context, CompareNoCaseAnsi, WindowsFolderLong,
                                             WriteValue};
    const int nWritten = TranslateScanAdvanceText(pText, cbText, platform);
    int bDone = 1;
    if (nWritten == SCAN_TEXT_REFUSED) {
        // Left as it is; a failure when it holds something to translate.
        bDone = !HoldsWindirPlaceholder(pOriginal, cbText);
    } else if (nWritten == SCAN_WRITE_FAILED) {
        bDone = 0; // the copy and the new file are deleted with the replacement
    } else if (context.bStarted) {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, replacement.CopyPath()); // flush
        bDone = replacement.Commit();
    }
    Diag("%s: %d values written, %s", pszPath, nWritten, bDone ? "done" : "left as it was");
    return bDone;
}
