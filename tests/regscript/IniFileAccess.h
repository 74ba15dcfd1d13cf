// The test-access friend of CIniFile: the state of a tree that tests and tools read, kept out of
// the product's interface. Pure code.
#pragma once

#include "regscript/IniFile.h"

class CIniFileTestAccess {
public:
    static const CIniKey& Root(const CIniFile& file) { return file.m_Root; }
    // Values taken since the tree was last emptied.
    static long ValuesTaken(const CIniFile& file) { return file.m_nValuesTaken; }
    // The encoding of the text loaded (TEXT_EIGHT_BIT, TEXT_UTF8_MARKED, TEXT_UTF16LE).
    static int Encoding(const CIniFile& file) { return file.m_nEncoding; }
    static tagLoadState LoadState(const CIniFile& file) { return file.m_nLoad; }
};
