#include "Journal.h"

namespace standin {

namespace {

std::string ModulePath(HMODULE hModule) {
    char path[MAX_PATH * 4] = {};
    DWORD length = GetModuleFileNameA(hModule, path, sizeof(path));
    return (length > 0 && length < sizeof(path)) ? std::string(path, length) : std::string();
}

} // namespace

std::string ModuleFolder(HMODULE hModule) {
    std::string path = ModulePath(hModule);
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ModuleFileName(HMODULE hModule) {
    std::string path = ModulePath(hModule);
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void AppendToJournal(const std::string& folder, const std::string& line, const char* pszFileName) {
    char named[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(JOURNAL_FOLDER_VARIABLE, named, sizeof(named));
    const std::string path =
        (length > 0 && length < sizeof(named) ? std::string(named, length) : folder) + "\\" +
        pszFileName;
    const std::string record = line + "\r\n";
    for (int attempt = 0; attempt < 2400; ++attempt) {
        HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(25);
    }
    CloseHandle(CreateFileA((path + ".lost").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace standin
