// Shared by the registry-script and scan-settings tests.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>

namespace test {

// The Windows folder as the platform reports it.
inline std::string WindowsFolder() {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, CSIDL_WINDOWS, FALSE))
        return std::string();
    return folder;
}

// The Windows folder in short (8.3) form, as TRANSLATEPATH puts it into values.
inline std::string ShortWindowsFolder() {
    const std::string folder = WindowsFolder();
    char shortFolder[MAX_PATH] = {};
    DWORD length = GetShortPathNameA(folder.c_str(), shortFolder, sizeof(shortFolder));
    return (length > 0 && length < sizeof(shortFolder)) ? std::string(shortFolder) : folder;
}

// A registry script with a header line, sections HKEY_LOCAL_MACHINE\A (a1), \A\B (b1), \C (c1,
// c2) and HKEY_CURRENT_USER\D (d1), and what the rewrite makes of it.
inline std::string WorkedExampleInput() {
    return "REGEDIT4\r\n"
           "\r\n"
           "[HKEY_LOCAL_MACHINE\\A]\r\n"
           "\"a1\"=\"one\"\r\n"
           "\r\n"
           "[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
           "\"b1\"=dword:00000001\r\n"
           "\r\n"
           "[HKEY_LOCAL_MACHINE\\C]\r\n"
           "\"c1\"=\"c one\"\r\n"
           "\"c2\"=\"c two\"\r\n"
           "\r\n"
           "[HKEY_CURRENT_USER\\D]\r\n"
           "\"d1\"=\"d one\"\r\n";
}

inline std::string WorkedExampleOutput() {
    return "\r\n"
           "[HKEY_LOCAL_MACHINE\\C]\r\n"
           "\"c2\"=\"c two\"\r\n"
           "\"c1\"=\"c one\"\r\n"
           "\r\n"
           "[HKEY_LOCAL_MACHINE\\A]\r\n"
           "\"a1\"=\"one\"\r\n"
           "\r\n"
           "[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
           "\"b1\"=dword:00000001\r\n"
           "\r\n"
           "[HKEY_CURRENT_USER\\D]\r\n"
           "\"d1\"=\"d one\"\r\n";
}

} // namespace test
