#include "regmaint/RegMaintTestSupport.h"

#include <shlobj.h>

#include "support/TestSupport.h"

namespace regtest {

const char PROFILE_LIST[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char CURRENT_SID[] = "S-1-5-21-0-0-0-1000";
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

bool KeyExistsDeep(HKEY root, const std::string& path, REGSAM samView) {
    HKEY key = OpenDeep(root, path, false, samView);
    if (key == nullptr)
        return false;
    RegCloseKey(key);
    return true;
}

bool GetValueDeep(HKEY root, const std::string& path, const std::string& name, DWORD* type,
                  std::string* bytes, REGSAM samView) {
    HKEY key = OpenDeep(root, path, false, samView);
    if (key == nullptr)
        return false;
    char data[4096];
    DWORD size = sizeof(data);
    LONG status =
        RegQueryValueExA(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;
    bytes->assign(data, size);
    return true;
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
    HKEY key = nullptr;
    if (RegOpenKeyExA(m_root, m_path.c_str(), 0, WRITE_DAC | m_samView, &key) != ERROR_SUCCESS)
        return;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    BYTE aclBuffer[256];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, full ? KEY_ALL_ACCESS : KEY_READ | WRITE_DAC | DELETE,
                        everyone);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    FreeSid(everyone);
    RegCloseKey(key);
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

} // namespace regtest
