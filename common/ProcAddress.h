// Functions looked up at run time, for those some supported Windows versions lack.
#pragma once

#include <windows.h>

// GetProcAddress's result as the function pointer type T (null when the module lacks the name).
template <typename T> T GetProcAs(HMODULE hModule, const char* pszName) {
    return reinterpret_cast<T>(reinterpret_cast<void (*)(void)>(GetProcAddress(hModule, pszName)));
}

// A function of a system library every process has loaded (kernel32.dll, ntdll.dll, ...) as the
// type T; null when this Windows lacks it.
template <typename T> T GetSystemProc(const char* pszModule, const char* pszName) {
    HMODULE hModule = GetModuleHandleA(pszModule);
    return hModule != nullptr ? GetProcAs<T>(hModule, pszName) : nullptr;
}
