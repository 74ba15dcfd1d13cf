// Helpers for the registry-maintenance tests: key trees, keys that refuse full access, extra
// user profiles and hives, and temporary shell-folder values.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace regtest {

// Under WOW64 a 32-bit program's HKLM\SOFTWARE\X is HKLM\SOFTWARE\Wow6432Node\X in the 64-bit
// view. True when this (32-bit) test process runs under WOW64, i.e. in the 64-bit prefix.
bool IsWow64();

// Wine's narrow registry functions refuse paths of more than about 260 characters, so keys
// with longer paths are reached one component at a time. OpenDeep opens (create: creates) path
// below root that way; null when it cannot. The caller closes the key.
HKEY OpenDeep(HKEY root, const std::string& path, bool create, REGSAM samView = 0);
bool KeyExistsDeep(HKEY root, const std::string& path, REGSAM samView = 0);
// Value "name" of the key as raw bytes; false when it cannot be read.
bool GetValueDeep(HKEY root, const std::string& path, const std::string& name, DWORD* type,
                  std::string* bytes, REGSAM samView = 0);

// Creates path with nValues values of several types, and below it, nDepth levels deep, nFanout
// children per key ("K0", "K1", ...), each with the same values.
void BuildTree(HKEY root, const std::string& path, int nDepth, int nFanout, int nValues,
               REGSAM samView = 0);

// Number of values of the key; -1 when it cannot be opened.
int CountValues(HKEY root, const std::string& path, REGSAM samView = 0);

// Gives a key a DACL that grants everyone reading, WRITE_DAC and DELETE only, so that opening
// it with KEY_ALL_ACCESS fails with ERROR_ACCESS_DENIED; gives full access back when destroyed
// so that the key can be cleaned up.
class CLockedKey {
public:
    CLockedKey(HKEY root, const std::string& path, REGSAM samView = 0);
    ~CLockedKey();
    CLockedKey(const CLockedKey&) = delete;
    CLockedKey& operator=(const CLockedKey&) = delete;
    bool Locked() const { return m_locked; }

private:
    void SetDacl(bool full);
    HKEY m_root;
    std::string m_path;
    REGSAM m_samView;
    bool m_locked = false;
};

extern const char PROFILE_LIST[]; // below HKLM
extern const char CURRENT_SID[];  // the prefix's one user, listed and loaded

// An entry of the profile list, removed again when destroyed. The profile list is shared by
// both registry views (Wine's Wow6432Node copy is a link to it, as on Windows).
class CProfileEntry {
public:
    explicit CProfileEntry(const std::string& sid);
    ~CProfileEntry();
    CProfileEntry(const CProfileEntry&) = delete;
    CProfileEntry& operator=(const CProfileEntry&) = delete;
    const std::string& Sid() const { return m_sid; }

private:
    std::string m_sid;
};

// A loaded hive below HKEY_USERS. Wine keeps every loaded hive as a key there, so a test hive
// is made by creating that key; it is deleted with its subtree when destroyed.
class CUserHive {
public:
    explicit CUserHive(const std::string& sid);
    ~CUserHive();
    CUserHive(const CUserHive&) = delete;
    CUserHive& operator=(const CUserHive&) = delete;
    const std::string& Sid() const { return m_sid; }

private:
    std::string m_sid;
};

// A SID-like profile name unique to this run, sorting before (first '0') or after (first '9')
// the prefix's own "S-1-5-21-0-0-0-1000".
std::string TestSid(char first);

// Replaces (or, with remove, deletes) one value and puts the previous one back when destroyed.
class CValueOverride {
public:
    CValueOverride(HKEY root, const std::string& path, const std::string& name, DWORD type,
                   const std::string& bytes, bool remove = false, REGSAM samView = 0);
    ~CValueOverride();
    CValueOverride(const CValueOverride&) = delete;
    CValueOverride& operator=(const CValueOverride&) = delete;

private:
    HKEY m_root;
    std::string m_path;
    std::string m_name;
    REGSAM m_samView;
    bool m_hadValue = false;
    DWORD m_type = 0;
    std::string m_bytes;
};

// Text with its terminating NUL, as REG_SZ data.
std::string Sz(const std::string& text);

// The shell's folder for a CSIDL (not created); empty when there is none.
std::string SpecialFolder(int csidl);

extern const char SHELL_FOLDERS[]; // below HKCU: the current user's folders, value "APPDATA"
std::string AppDataFolder();

} // namespace regtest
