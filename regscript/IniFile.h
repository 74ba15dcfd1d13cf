// A registry-script file held as a key tree: loaded with "[WINDIR]" translated, written back.
#pragma once

class CIniFile {
public:
    CIniFile();
    virtual ~CIniFile();

    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // Reads the file into the tree. 0 when the file cannot be opened, else 1.
    int Load(const char* pszPath);
    // Writes the tree back to the loaded path and empties it. 0 when the file cannot be
    // written, else 1.
    int SaveAndClear();
};
