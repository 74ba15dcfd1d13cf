// Registry helpers shared by every test program: keys and values in narrow text and in UTF-16,
// scratch keys, whole-tree dumps, keys that refuse access, user profiles and hives, shell
// folders. The narrow helpers reach keys one path component at a time (OpenDeep), so that paths
// longer than Wine's narrow functions take work too.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test {

std::wstring Wide(const std::string& ascii);

// Exact registry access in UTF-16 (view may add KEY_WOW64_64KEY). SetValueW stores exactly the
// given bytes, also for string types stored without a terminator.
bool SetValueW(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
               const std::string& bytes, REGSAM view = 0);
bool GetValueW(HKEY root, const std::wstring& path, const std::wstring& name, DWORD* type,
               std::string* bytes, REGSAM view = 0);
bool CreateKeyW(HKEY root, const std::wstring& path, REGSAM view = 0);
bool KeyExistsW(HKEY root, const std::wstring& path, REGSAM view = 0);

// Every key, value name, type and data byte below root\path, one line each, in a fixed order,
// with paths relative to path; "<missing>" when the key does not open.
std::string DumpTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// Sets a DACL (SDDL, e.g. "D:P(A;;KR;;;WD)") on an existing key.
bool SetKeyDacl(HKEY root, const std::wstring& path, const char* sddl, REGSAM view = 0);

// A key created (with its parents) under root on construction and removed with its subtree on
// destruction, first granting full access again so locked test keys go too.
class CTestKey {
public:
    CTestKey(HKEY root, const std::string& path, REGSAM view = 0);
    ~CTestKey();
    CTestKey(const CTestKey&) = delete;
    CTestKey& operator=(const CTestKey&) = delete;
    const std::string& Path() const { return m_path; }
    std::wstring PathW() const { return Wide(m_path); }
    std::string Sub(const std::string& relative) const { return m_path + "\\" + relative; }
    std::wstring SubW(const std::wstring& relative) const { return PathW() + L"\\" + relative; }

protected:
    HKEY m_root;
    std::string m_path;
    REGSAM m_view;
};

// A registry link planted at root\path that resolves to the existing key root\target, made as a
// user can make one in their own hive: REG_OPTION_CREATE_LINK and a
// REG_LINK "SymbolicLinkValue" holding the target's native name. The link itself, never its
// target, is deleted when destroyed (if it is still there).
class CRegLink {
public:
    CRegLink(HKEY root, const std::string& path, const std::string& target);
    ~CRegLink();
    CRegLink(const CRegLink&) = delete;
    CRegLink& operator=(const CRegLink&) = delete;
    bool Present() const;  // the link key itself is there
    bool Resolves() const; // opening root\path reaches the target

private:
    HKEY Open(DWORD options, REGSAM access) const;
    HKEY m_root;
    std::wstring m_path;
    std::wstring m_target;
};

// Removes root\path with its subtree, unlocking DACLs on the way (no error when missing).
void RemoveTree(HKEY root, const std::wstring& path, REGSAM view = 0);

// Removes root\path with its subtree when it goes out of scope, for keys a test expects an
// export to create.
class CCleanup {
public:
    CCleanup(HKEY root, const std::string& path, REGSAM view = 0)
        : m_root(root), m_path(Wide(path)), m_view(view) {}
    ~CCleanup() { RemoveTree(m_root, m_path, m_view); }
    CCleanup(const CCleanup&) = delete;
    CCleanup& operator=(const CCleanup&) = delete;

private:
    HKEY m_root;
    std::wstring m_path;
    REGSAM m_view;
};

// A uniquely named registry key below root\parent, created on construction and deleted with
// its subtree on destruction. samView may add KEY_WOW64_64KEY or KEY_WOW64_32KEY.
class CScratchKey : public CTestKey {
public:
    CScratchKey(HKEY root, const std::string& parent, const std::string& tag, REGSAM samView = 0);
    HKEY Root() const { return m_root; }
};

// Registry conveniences for assertions (samView as above).
bool KeyExists(HKEY root, const std::string& path, REGSAM samView = 0);
bool CreateKey(HKEY root, const std::string& path, REGSAM samView = 0);
bool SetStringValue(HKEY root, const std::string& path, const std::string& name,
                    const std::string& data, REGSAM samView = 0);
bool SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::string& bytes, REGSAM samView = 0);
// Reads a value's raw bytes and type; false when it cannot be read.
bool GetValue(HKEY root, const std::string& path, const std::string& name, DWORD* type,
              std::string* bytes, REGSAM samView = 0);
// Deletes a key with its subtree (no error when it is missing).
void DeleteKeyTree(HKEY root, const std::string& path, REGSAM samView = 0);

// Under WOW64 a 32-bit program's HKLM\SOFTWARE\X is HKLM\SOFTWARE\Wow6432Node\X in the 64-bit
// view. True when this (32-bit) test process runs under WOW64, i.e. in the 64-bit prefix.
bool IsWow64();

// Wine's narrow registry functions refuse paths of more than about 260 characters, so keys
// with longer paths are reached one component at a time. OpenDeep opens (create: creates) path
// below root that way; null when it cannot. The caller closes the key.
HKEY OpenDeep(HKEY root, const std::string& path, bool create, REGSAM samView = 0);

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
// The SID of the user running the test, whose profile is listed and whose hive is loaded.
std::string CurrentUserSid();

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

} // namespace test
