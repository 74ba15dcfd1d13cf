// A registry-script file held as a key tree: loaded with "[WINDIR]" translated, written back.
//
// The reading and writing of the text (IniFileRead.cpp, IniFileWrite.cpp) is pure code over bytes;
// only Load, SaveTo, SaveAndClear and the default constructor (IniFile.cpp) touch files and the
// platform. This header includes no Win32 header.
#pragma once

#include <stddef.h>

#include "regscript/IniKey.h"
#include "common/FileText.h"
#include "regscript/TextPlatform.h"

enum {
    // The largest registry script TRANSLATEPATH reads: any shape of it can be held in a 32-bit
    // process (see docs/commands.md). A larger file is left untouched and the run fails.
    INI_FILE_MAX = 256 * 1024 * 1024,
    INI_PATH_SIZE = 260,      // the file path, NUL included
    INI_TRANSLATED_MAX = 259, // bytes of a translated path: folder, backslash, tail
    INI_WINDIR_TAIL_MAX = 259 // bytes after the placeholder that a translation keeps
};

class CFileReplacement;
class CKeyPathCache;

// What a load made of its file: one state, on which SaveAndClear acts.
enum tagLoadState {
    LOAD_NOT_OPENED = 0, // the file could not be opened: nothing was read
    LOAD_WHOLE,          // every value of the text read was taken (or no text was read yet)
    LOAD_INCOMPLETE,     // memory ran out, or the file could not be read whole or held: the tree
                         // misses part of it and is never written
    LOAD_REFUSED,        // a text in a form not read: nothing of it was taken
    LOAD_REFUSED_HOLDING_WINDIR // the same, and it holds "[WINDIR]"
};

class CIniFile {
public:
    // A tree with the five root keys, using the Windows services (lstrcmpiA, the short Windows
    // folder).
    CIniFile();
    // The same with other services (native builds of the text logic).
    explicit CIniFile(const tagTextPlatform* pPlatform);
    virtual ~CIniFile();

    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // Reads the file into the tree through pFile, which opens it and holds it until
    // SaveAndClear replaces it (common/FileReplace.h). LOAD_NOT_OPENED (0) when the file cannot
    // be opened (or is refused there), else the load's state. 8-bit text, UTF-8 with its
    // byte-order mark and UTF-16LE with its mark are read; a file of another
    // form, with a stray NUL or Ctrl-Z, over INI_FILE_MAX bytes, or that cannot be read whole
    // or held contributes nothing. The text is read into the tree's store and the values keep
    // their names and texts where the file's text holds them.
    int Load(const char* pszPath, CFileReplacement* pFile);
    // Writes the tree through pFile's new file in the same folder, which then replaces the old
    // one in one step. 1 when written, 0 when not (the old file is then unchanged).
    int SaveTo(CFileReplacement* pFile);
    // Writes the tree back to the file pFile loaded, in the encoding it was read in, and empties
    // it. A file from which the load took no value is left exactly as it was. 0 when the file
    // cannot be written, or when it is left untouched because its text was refused or not
    // read whole while it holds (or may hold) "[WINDIR]"; else 1.
    int SaveAndClear(CFileReplacement* pFile);

    // --- The text logic (pure) ---

    // Reads registry-script text, as a file holds it, into the tree; the text (cbText bytes,
    // followed by one spare byte that may be overwritten) is changed in place. Returns the
    // number of values taken. Text in a form it does not read is refused: nothing is taken.
    long LoadText(char* pText, size_t cbText);
    // The key a section line names, created with any missing keys on its path; the line is
    // split in place. Null when the line names no key (or memory runs out).
    CIniKey* OpenKeyPath(char* pszLine);
    // Splits a value line (cchLine bytes) at its first "=", translates the text and adds the
    // value to the key at position 0. Returns 1 when a value was added, 0 when the line is no
    // value line (or memory runs out).
    int ParseValueLine(CIniKey* pKey, char* pszLine, size_t cchLine);
    // 1 when the line's first byte is "[" and its last byte is "]".
    static int IsSectionLine(const char* pszLine);

    // Writes the whole tree in the registry-script form: for each key with values, an empty
    // line, the section line and the value lines, every line ending in CR LF; in the encoding
    // the text was read in, with its byte-order mark. 1 when the sink took everything.
    int WriteTree(const tagTextSink& sink) const;
    // Writes one key's section and those of its whole subtree; pszPath is the key's full path.
    int WriteKey(const CIniKey* pKey, const char* pszPath, const tagTextSink& sink) const;
    // Deletes every root key with its subtree, and gives the tree's memory back.
    void Clear();

private:
    friend class CIniFileTestAccess; // tests/regscript/IniFileAccess.h

    static int IsSection(const char* pLine, size_t cchLine); // IsSectionLine of a known length
    void AddRootKeys();
    int IsRootKey(const CIniKey* pKey) const;
    CIniKey* OpenKeyPathCached(char* pszLine, CKeyPathCache* pCache);
    void UseServicesFor(int nEncoding);
    long LoadLines(char* pText, size_t cbText, int nEncoding);
    CIniKey* OpenSectionKey(char* pszLine, CKeyPathCache* pCache);
    int TakeValueLine(CIniKey* pKey, char* pszLine, size_t cch, char** pp, char* pEnd);
    void LoadIncomplete() { m_nLoad = LOAD_INCOMPLETE; }
    long LoadUtf16Units(char* pText, const unsigned char* pUnits, size_t cUnits);
    long Refuse(const char* pRaw, size_t cbRaw);
    size_t Units(const char* pText, size_t cb) const;
    int WriteKeys(const tagTextSink& sink) const;
    int TranslateWindir(const char* pText, size_t cbText, char* pOut, size_t* pcbOut);
    int IsPlaceholderHead(const char* pHead, size_t cbHead);

    CTreeStore m_Store; // the tree's memory (before m_Root: it outlives the tree)
    CIniKey m_Root;     // "My Computer"; its sub-keys are the roots
    char m_szPath[INI_PATH_SIZE];
    const tagTextPlatform* m_pPlatform;
    tagTextPlatform m_Utf8Platform; // names and the folder as UTF-8, for UTF-16 text
    const tagTextPlatform* m_pText; // the services for the text loaded
    long m_nValuesTaken;
    tagLoadState m_nLoad;
    int m_nEncoding;
    int m_bTextKept; // the text being loaded lives in m_Store: values point into it

    // The last heads of "[" values compared with the placeholder, and what the comparison
    // said: a script repeats the same few heads thousands of times, and the comparison
    // (lstrcmpiA) costs far more than comparing the bytes again.
    enum { HEADS_SEEN = 4, HEAD_SEEN_SIZE = 32 };
    struct tagHeadSeen {
        char ab[HEAD_SEEN_SIZE];
        size_t cb; // 0 for an empty entry
        int bPlaceholder;
    };
    tagHeadSeen m_aHeadsSeen[HEADS_SEEN];
    int m_nNextHeadSeen;
};
