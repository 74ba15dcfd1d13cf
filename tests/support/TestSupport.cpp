#include "support/TestSupport.h"

#include "TestPaths.h"

namespace test {

std::string DosPathOfUnix(const std::string& unixPath) {
    std::string dos = "Z:";
    for (char c : unixPath)
        dos += (c == '/') ? '\\' : c;
    return dos;
}

std::string BinFile(const std::string& name) {
    return DosPathOfUnix(TEST_BIN_DIR_UNIX) + "\\" + name;
}

std::string SourceFile(const std::string& relative) {
    std::string path = DosPathOfUnix(TEST_SOURCE_DIR_UNIX) + "\\";
    for (char c : relative)
        path += (c == '/') ? '\\' : c;
    return path;
}

std::string UniqueName(const std::string& tag) {
    static unsigned counter = 0;
    char suffix[64];
    wsprintfA(suffix, "%lu_%u_%lu", GetCurrentProcessId(), ++counter, GetTickCount());
    return tag + "_" + suffix;
}

CTempFolder::CTempFolder(const std::string& tag, bool withBlank) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof(temp), temp);
    std::string base = (length > 0 && length < sizeof(temp)) ? std::string(temp) : "C:\\";
    if (base.back() != '\\')
        base += '\\';
    m_path = base + UniqueName(withBlank ? tag + " folder" : tag);
    EXPECT_TRUE(CreateDirectoryA(m_path.c_str(), nullptr)) << m_path << ": " << GetLastError();
}

CTempFolder::~CTempFolder() {
    DeleteTree(m_path);
}

CProgramFolder::CProgramFolder(const std::string& tag, bool withBlank, const std::string& exeName)
    : CTempFolder(tag, withBlank), m_exeName(exeName) {
    EXPECT_TRUE(AddBinFile("Torvane.exe", exeName));
}

testing::AssertionResult CProgramFolder::AddBinFile(const std::string& binName,
                                                    const std::string& asName) const {
    return CopyInto(BinFile(binName), File(asName.empty() ? binName : asName));
}

testing::AssertionResult CopyInto(const std::string& from, const std::string& to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE))
        return testing::AssertionFailure()
               << "cannot copy " << from << " to " << to << ": " << GetLastError();
    return testing::AssertionSuccess();
}

CChild::CChild(const std::string& commandLine, const std::string& currentDirectory) {
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup,
                        &m_info))
        m_info = PROCESS_INFORMATION();
}

CChild::~CChild() {
    if (Started())
        Wait(0);
}

CFileHold::CFileHold(const std::string& path, DWORD milliseconds) : m_path(path) {
    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherited, 0))
        return;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::string line =
        "\"" + BinFile("DPInst.exe") + "\" /hold " + std::to_string(milliseconds) + " " + path;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &m_info))
        m_info = PROCESS_INFORMATION();
    CloseHandle(write); // the helper's end: a helper that ends without a word ends the read
    char said[8] = {};
    DWORD cb = 0;
    m_said = m_info.hProcess != nullptr && ReadFile(read, said, 5, &cb, nullptr) &&
             std::string(said, cb) == "held\n";
    CloseHandle(read);
}

CFileHold::~CFileHold() {
    if (m_info.hProcess == nullptr)
        return;
    TerminateProcess(m_info.hProcess, 99);
    WaitForSingleObject(m_info.hProcess, 30000);
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
}

testing::AssertionResult CFileHold::Held() const {
    if (!m_said)
        return testing::AssertionFailure() << "the helper did not say it holds " << m_path;
    HANDLE file = CreateFileA(m_path.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (file != INVALID_HANDLE_VALUE || error != ERROR_SHARING_VIOLATION)
        return testing::AssertionFailure() << m_path << " opened for writing: error " << error;
    return testing::AssertionSuccess();
}

RunResult CChild::Wait(DWORD timeoutMs) {
    RunResult result;
    if (!Started())
        return result;
    result.started = true;
    if (WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        result.finished = true;
        GetExitCodeProcess(m_info.hProcess, &result.exitCode);
    } else {
        TerminateProcess(m_info.hProcess, 99);
        WaitForSingleObject(m_info.hProcess, 5000);
    }
    CloseHandle(m_info.hThread);
    CloseHandle(m_info.hProcess);
    m_info = PROCESS_INFORMATION();
    return result;
}

RunResult RunAndWait(const std::string& commandLine, DWORD timeoutMs,
                     const std::string& currentDirectory) {
    return CChild(commandLine, currentDirectory).Wait(timeoutMs);
}

RunResult RunTorvane(const CProgramFolder& folder, const std::string& args, DWORD timeoutMs) {
    std::string commandLine = "\"" + folder.Torvane() + "\"";
    if (!args.empty())
        commandLine += " " + args;
    return RunAndWait(commandLine, timeoutMs);
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size());
    CloseHandle(file);
    return ok;
}

void DeleteTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

DWORD QueryServiceState(const std::string& name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return 0;
    DWORD state = 0;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    if (service) {
        SERVICE_STATUS status = {};
        if (QueryServiceStatus(service, &status))
            state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

bool WaitForServiceState(const std::string& name, DWORD state, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (QueryServiceState(name) == state)
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
}

bool BringServiceTo(const std::string& name, DWORD state, DWORD timeoutMs) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return false;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
    if (service) {
        // Let a pending transition finish first.
        DWORD current = QueryServiceState(name);
        DWORD start = GetTickCount();
        while ((current == SERVICE_START_PENDING || current == SERVICE_STOP_PENDING) &&
               GetTickCount() - start < timeoutMs) {
            Sleep(50);
            current = QueryServiceState(name);
        }
        if (state == SERVICE_RUNNING && current != SERVICE_RUNNING) {
            StartServiceA(service, 0, nullptr);
        } else if (state == SERVICE_STOPPED && current != SERVICE_STOPPED) {
            SERVICE_STATUS status = {};
            ControlService(service, SERVICE_CONTROL_STOP, &status);
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return WaitForServiceState(name, state, timeoutMs);
}

CWindowsVersionOverride::CWindowsVersionOverride(const std::string& exeName,
                                                 const std::string& version)
    : m_keyPath("Software\\Wine\\AppDefaults\\" + exeName) {
    DWORD type = 0;
    std::string previous;
    if (GetValue(HKEY_CURRENT_USER, m_keyPath, "Version", &type, &previous) && type == REG_SZ) {
        m_hadValue = true;
        m_previous = previous.c_str();
    }
    EXPECT_TRUE(SetStringValue(HKEY_CURRENT_USER, m_keyPath, "Version", version)) << exeName;
}

CWindowsVersionOverride::~CWindowsVersionOverride() {
    if (m_hadValue) {
        SetStringValue(HKEY_CURRENT_USER, m_keyPath, "Version", m_previous);
    } else {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, "Version");
            RegCloseKey(key);
        }
    }
}

} // namespace test
