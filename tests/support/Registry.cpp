// Registry, access-control, profile and shell-folder helpers shared by every test program.
#include "support/Registry.h"

#include <sddl.h>
#include <winternl.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "support/TestSupport.h"

namespace test {

const char PROFILE_LIST[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char SHELL_FOLDERS[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool IsWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

HKEY OpenDeep(HKEY root, const std::string& path, bool create, REGSAM samView) {
    HKEY current = root;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        const std::string component =
            path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        HKEY next = nullptr;
        LONG status = create
                          ? RegCreateKeyExA(current, component.c_str(), 0, nullptr, 0,
                                            KEY_ALL_ACCESS | samView, nullptr, &next, nullptr)
                          : RegOpenKeyExA(current, component.c_str(), 0, KEY_READ | samView, &next);
        if (current != root)
            RegCloseKey(current);
        if (status != ERROR_SUCCESS)
            return nullptr;
        current = next;
        if (end == std::string::npos)
            return current;
        start = end + 1;
    }
}

void BuildTree(HKEY root, const std::string& path, int nDepth, int nFanout, int nValues,
               REGSAM samView) {
    HKEY key = OpenDeep(root, path, true, samView);
    if (key == nullptr) {
        ADD_FAILURE() << "cannot create " << path;
        return;
    }
    for (int i = 0; i < nValues; ++i) {
        std::string name = "V" + std::to_string(i);
        LONG status;
        if (i % 3 == 0) {
            std::string data = Sz("value " + std::to_string(i));
            status = RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(data.data()),
                                    static_cast<DWORD>(data.size()));
        } else if (i % 3 == 1) {
            DWORD data = static_cast<DWORD>(i);
            status = RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&data), sizeof(data));
        } else {
            BYTE data[16] = {1, 2, 3};
            status = RegSetValueExA(key, name.c_str(), 0, REG_BINARY, data, sizeof(data));
        }
        EXPECT_EQ(ERROR_SUCCESS, status) << path << " " << name;
    }
    RegCloseKey(key);
    if (nDepth <= 0)
        return;
    for (int i = 0; i < nFanout; ++i)
        BuildTree(root, path + "\\K" + std::to_string(i), nDepth - 1, nFanout, nValues, samView);
}

int CountValues(HKEY root, const std::string& path, REGSAM samView) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | samView, &key) != ERROR_SUCCESS)
        return -1;
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return static_cast<int>(count);
}

CLockedKey::CLockedKey(HKEY root, const std::string& path, REGSAM samView)
    : m_root(root), m_path(path), m_samView(samView) {
    SetDacl(false);
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(m_root, m_path.c_str(), 0, KEY_ALL_ACCESS | m_samView, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    m_locked = status == ERROR_ACCESS_DENIED;
}

CLockedKey::~CLockedKey() {
    SetDacl(true);
}

void CLockedKey::SetDacl(bool full) {
    // Everyone: full access, or reading, WRITE_DAC and DELETE only.
    SetKeyDacl(m_root, Wide(m_path), full ? "D:(A;;KA;;;WD)" : "D:P(A;;KRWDSD;;;WD)", m_samView);
}

CProfileEntry::CProfileEntry(const std::string& sid) : m_sid(sid) {
    EXPECT_TRUE(test::SetStringValue(HKEY_LOCAL_MACHINE, std::string(PROFILE_LIST) + "\\" + sid,
                                     "ProfileImagePath", "C:\\users\\" + sid, KEY_WOW64_64KEY))
        << sid;
}

CProfileEntry::~CProfileEntry() {
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(PROFILE_LIST) + "\\" + m_sid,
                        KEY_WOW64_64KEY);
}

CUserHive::CUserHive(const std::string& sid) : m_sid(sid) {
    EXPECT_TRUE(test::CreateKey(HKEY_USERS, sid + "\\Software")) << sid;
}

CUserHive::~CUserHive() {
    test::DeleteKeyTree(HKEY_USERS, m_sid);
}

std::string TestSid(char first) {
    static unsigned counter = 0;
    return "S-1-5-21-0-0-0-" + std::string(1, first) + std::to_string(GetCurrentProcessId()) + "0" +
           std::to_string(++counter);
}

CValueOverride::CValueOverride(HKEY root, const std::string& path, const std::string& name,
                               DWORD type, const std::string& bytes, bool remove, REGSAM samView)
    : m_root(root), m_path(path), m_name(name), m_samView(samView) {
    m_hadValue = test::GetValue(root, path, name, &m_type, &m_bytes, samView);
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE | samView, &key) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open " << path << " to change " << name;
        return;
    }
    const LONG status = remove ? (m_hadValue ? RegDeleteValueA(key, name.c_str()) : ERROR_SUCCESS)
                               : RegSetValueExA(key, name.c_str(), 0, type,
                                                reinterpret_cast<const BYTE*>(bytes.data()),
                                                static_cast<DWORD>(bytes.size()));
    EXPECT_EQ(ERROR_SUCCESS, status) << path << " " << name;
    RegCloseKey(key);
}

CValueOverride::~CValueOverride() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(m_root, m_path.c_str(), 0, KEY_SET_VALUE | m_samView, &key) != ERROR_SUCCESS)
        return;
    if (m_hadValue)
        RegSetValueExA(key, m_name.c_str(), 0, m_type,
                       reinterpret_cast<const BYTE*>(m_bytes.data()),
                       static_cast<DWORD>(m_bytes.size()));
    else
        RegDeleteValueA(key, m_name.c_str());
    RegCloseKey(key);
}

std::string Sz(const std::string& text) {
    return std::string(text.c_str(), text.size() + 1);
}

std::string SpecialFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE))
        return std::string();
    return path;
}

std::string AppDataFolder() {
    DWORD type = 0;
    std::string bytes;
    if (!test::GetValue(HKEY_CURRENT_USER, SHELL_FOLDERS, "APPDATA", &type, &bytes))
        return std::string();
    return bytes.c_str();
}

// The SID of the user running the test, whose hive is loaded under HKEY_USERS.
std::string CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "";
    std::vector<BYTE> buffer(512);
    DWORD size = 0;
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                            &size)) {
        char* text = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
            sid = text;
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return sid;
}

CScratchKey::CScratchKey(HKEY root, const std::string& parent, const std::string& tag,
                         REGSAM samView)
    : CTestKey(root, parent + "\\" + UniqueName(tag), samView) {}

bool KeyExists(HKEY root, const std::string& path, REGSAM samView) {
    HKEY key = OpenDeep(root, path, false, samView);
    if (key == nullptr)
        return false;
    RegCloseKey(key);
    return true;
}

bool CreateKey(HKEY root, const std::string& path, REGSAM samView) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | samView, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::string& bytes, REGSAM samView) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | samView, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    // A non-NUL guard behind the data: the platform would otherwise add a terminator to string
    // data stored without one.
    const std::string data = bytes + "\xFF\xFF";
    LONG status = RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool SetStringValue(HKEY root, const std::string& path, const std::string& name,
                    const std::string& data, REGSAM samView) {
    return SetValue(root, path, name, REG_SZ, std::string(data.c_str(), data.size() + 1), samView);
}

bool GetValue(HKEY root, const std::string& path, const std::string& name, DWORD* type,
              std::string* bytes, REGSAM samView) {
    HKEY key = OpenDeep(root, path, false, samView);
    if (key == nullptr)
        return false;
    const char* valueName = name.empty() ? nullptr : name.c_str();
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, valueName, nullptr, type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + 1);
        status = RegQueryValueExA(key, valueName, nullptr, type, data.data(), &size);
        if (status == ERROR_SUCCESS)
            bytes->assign(reinterpret_cast<const char*>(data.data()), size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

bool SetValueW(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
               const std::string& bytes, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    // A non-NUL guard behind the data: the platform would otherwise add a terminator to string
    // data stored without one.
    std::string data = bytes + "\xFF\xFF";
    LONG status =
        RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool GetValueW(HKEY root, const std::wstring& path, const std::wstring& name, DWORD* type,
               std::string* bytes, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + 2);
        status = RegQueryValueExW(key, name.c_str(), nullptr, type, data.data(), &size);
        if (status == ERROR_SUCCESS)
            bytes->assign(reinterpret_cast<const char*>(data.data()), size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool CreateKeyW(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool KeyExistsW(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

namespace {

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[16];
            wsprintfA(escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    WCHAR name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = 512;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void DumpKey(HKEY key, const std::wstring& relative, std::string* out) {
    *out += "key [" + Narrow(relative) + "]\n";
    std::vector<WCHAR> name(32768);
    std::vector<std::string> lines;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size + 2);
        DWORD dataSize = size;
        DWORD nameLength2 = static_cast<DWORD>(name.size());
        RegEnumValueW(key, i, name.data(), &nameLength2, nullptr, &type, data.data(), &dataSize);
        lines.push_back("  value [" + Narrow(std::wstring(name.data(), nameLength2)) + "] type " +
                        std::to_string(type) + " size " + std::to_string(dataSize) + " data " +
                        Hex(std::string(reinterpret_cast<const char*>(data.data()), dataSize)) +
                        "\n");
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines)
        *out += line;
    for (const std::wstring& child : SubkeyNames(key)) {
        HKEY childKey = nullptr;
        std::wstring childRelative = relative.empty() ? child : relative + L"\\" + child;
        if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &childKey) != ERROR_SUCCESS) {
            *out += "key [" + Narrow(childRelative) + "] <unreadable>\n";
            continue;
        }
        DumpKey(childKey, childRelative, out);
        RegCloseKey(childKey);
    }
}

void RemoveKey(HKEY parent, const std::wstring& name, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) {
        if (!SetKeyDacl(parent, name, "D:(A;;KA;;;WD)", view) ||
            RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
            return;
    }
    for (const std::wstring& child : SubkeyNames(key))
        RemoveKey(key, child, 0);
    RegCloseKey(key);
    RegDeleteKeyExW(parent, name.c_str(), view, 0);
}

} // namespace

std::string DumpTree(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "<missing>";
    std::string out;
    DumpKey(key, L"", &out);
    RegCloseKey(key);
    return out;
}

bool SetKeyDacl(HKEY root, const std::wstring& path, const char* sddl, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC | view, &key) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool ok = false;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
        ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
        LocalFree(sd);
    }
    RegCloseKey(key);
    return ok;
}

void RemoveTree(HKEY root, const std::wstring& path, REGSAM view) {
    RemoveKey(root, path, view);
}

void DeleteKeyTree(HKEY root, const std::string& path, REGSAM samView) {
    RemoveTree(root, Wide(path), samView);
}

namespace {

template <typename T> T Ntdll(const char* name) {
    return reinterpret_cast<T>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

// The native name of the key a handle holds ("\\REGISTRY\\USER\\..."); empty when unknown.
std::wstring NativeName(HKEY key) {
    typedef LONG(NTAPI * Query)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    std::vector<BYTE> buffer(sizeof(OBJECT_NAME_INFORMATION) + 65536);
    ULONG size = 0;
    if (key == nullptr || Ntdll<Query>("NtQueryObject")(key, ObjectNameInformation, buffer.data(),
                                                        static_cast<ULONG>(buffer.size()), &size))
        return L"";
    const UNICODE_STRING& name = reinterpret_cast<OBJECT_NAME_INFORMATION*>(buffer.data())->Name;
    return std::wstring(name.Buffer, name.Length / sizeof(WCHAR));
}

} // namespace

CRegLink::CRegLink(HKEY root, const std::string& path, const std::string& target)
    : m_root(root), m_path(Wide(path)) {
    HKEY key = nullptr;
    RegOpenKeyExW(root, Wide(target).c_str(), 0, KEY_READ, &key);
    m_target = NativeName(key);
    RegCloseKey(key);
    key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, m_path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr))
        << path;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                                            reinterpret_cast<const BYTE*>(m_target.data()),
                                            static_cast<DWORD>(m_target.size() * sizeof(WCHAR))))
        << path;
    RegCloseKey(key);
}

CRegLink::~CRegLink() {
    if (HKEY key = Open(REG_OPTION_OPEN_LINK, DELETE)) {
        Ntdll<LONG(NTAPI*)(HANDLE)>("NtDeleteKey")(key);
        RegCloseKey(key);
    }
}

HKEY CRegLink::Open(DWORD options, REGSAM access) const {
    HKEY key = nullptr;
    return RegOpenKeyExW(m_root, m_path.c_str(), options, access, &key) == ERROR_SUCCESS ? key
                                                                                         : nullptr;
}

bool CRegLink::Present() const {
    HKEY key = Open(REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE);
    RegCloseKey(key);
    return key != nullptr;
}

bool CRegLink::Resolves() const {
    HKEY key = Open(0, KEY_QUERY_VALUE);
    const bool resolves = !m_target.empty() && NativeName(key) == m_target;
    RegCloseKey(key);
    return resolves;
}

CTestKey::CTestKey(HKEY root, const std::string& path, REGSAM view)
    : m_root(root), m_path(path), m_view(view) {
    EXPECT_TRUE(CreateKeyW(root, Wide(path), view)) << path;
}

CTestKey::~CTestKey() {
    RemoveTree(m_root, Wide(m_path), m_view);
}

} // namespace test
