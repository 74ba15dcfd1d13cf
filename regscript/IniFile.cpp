// CIniFile's effects: reading the file whole, and writing it back so that a run ended at any
// moment leaves the old file or the new one.
#include "regscript/IniFile.h"

#include <windows.h>

#include <string.h>

#include "common/Array.h"
#include "common/Diagnostics.h"
#include "common/Handle.h"
#include "common/ReadWholeFile.h"
#include "common/FileReplace.h"
#include "regscript/BufferedSink.h"

namespace {
// Where the writer's blocks go: the new file, written whole.
int WriteToFile(void* pContext, const char* p, size_t cb) {
    return WriteWholeBuffer(static_cast<HANDLE>(pContext), p, cb);
}

// The writer makes millions of small writes: the file sees them in blocks of this size.
const size_t FILE_BLOCK = 1 << 20;

} // namespace

CIniFile::CIniFile() : CIniFile(&GetWindowsTextPlatform()) {}

int CIniFile::Load(const char* pszPath, CFileReplacement* pFile) {
    if (pszPath == nullptr || pFile == nullptr)
        return LOAD_NOT_OPENED;
    const size_t cchPath = strlen(pszPath);
    if (cchPath >= sizeof(m_szPath))
        return LOAD_NOT_OPENED; // a cut path would name another file
    if (!pFile->Open(pszPath))
        return LOAD_NOT_OPENED;
    memcpy(m_szPath, pszPath, cchPath + 1);

    // The text goes to the tree's store, where it stays as long as the tree: the values keep
    // their names and texts in it. A tree that misses part of the file is never written back.
    size_t cbFile = 0;
    if (!WholeFileSize(pFile->OldFile(), &cbFile) || cbFile > INI_FILE_MAX) {
        Diag("%s: larger than %lu bytes, or its size cannot be told", pszPath,
             static_cast<unsigned long>(INI_FILE_MAX));
        LoadIncomplete();
        return m_nLoad;
    }
    char* pText = static_cast<char*>(m_Store.Allocate(cbFile + 1));
    size_t cbText = 0;
    if (pText == nullptr || !pFile->ReadOld(pText, cbFile, &cbText)) {
        LoadIncomplete();
        return m_nLoad;
    }
    m_bTextKept = 1;
    LoadText(pText, cbText);
    m_bTextKept = 0;
    return m_nLoad;
}

int CIniFile::SaveTo(CFileReplacement* pFile) {
    // The text goes to a new file in the same folder, reaches the disk, and then takes the old
    // file's place in one step: a run ended at any moment leaves the old file or the new one,
    // never a truncated one.
    if (!pFile->Begin())
        return 0;
    int bWritten = 0;
    {
        const tagTextSink file = {pFile->File(), WriteToFile};
        CBufferedSink buffered(file, FILE_BLOCK, CBufferedSink::AS_IS);
        bWritten = WriteTree(buffered.Sink()) && buffered.Flush();
    }
    return bWritten && pFile->Commit();
}

int CIniFile::SaveAndClear(CFileReplacement* pFile) {
    if (m_Root.GetCount(CIniKey::SUB_KEYS) == 0)
        return 1;
    int nResult = 1;
    // A file from which nothing was taken (no section, or text that is not ours to rewrite)
    // keeps every byte; an incomplete tree is never written. A file left as it was that held
    // something to translate, or could not be read to tell, fails the run: the installer must
    // not take the untranslated file for a translated one.
    if (m_nValuesTaken > 0 && m_nLoad != LOAD_INCOMPLETE) {
        nResult = pFile != nullptr && SaveTo(pFile);
        Diag("%s %s", m_szPath, nResult ? "rewritten" : "cannot be written: left as it was");
    } else {
        nResult = m_nLoad == LOAD_WHOLE || m_nLoad == LOAD_REFUSED;
        Diag("%s left as it was: %s", m_szPath,
             m_nLoad == LOAD_INCOMPLETE               ? "it could not be read whole, or held"
             : m_nLoad == LOAD_REFUSED_HOLDING_WINDIR ? "its text is refused, and it holds [WINDIR]"
             : m_nLoad == LOAD_REFUSED                ? "its text is refused"
                                                      : "no value was taken from it");
    }
    Clear();
    m_nValuesTaken = 0;
    m_nLoad = LOAD_WHOLE;
    m_nEncoding = TEXT_EIGHT_BIT;
    return nResult;
}
