// Single-owner wrappers for Win32 handles, shared by Torvane and Kestrix.
//
// Every handle the product opens is held by exactly one of these owners, so that it is closed on
// every path by construction. Closing keeps the caller's last-error value, so an owner going out
// of scope never disturbs an error code that is still to be read.
#pragma once

#include <windows.h>

template <typename Traits> class CUniqueHandle {
public:
    using handle_type = typename Traits::handle_type;

    CUniqueHandle() : m_h(Traits::invalid()) {}
    explicit CUniqueHandle(handle_type h) : m_h(h) {}
    ~CUniqueHandle() { reset(); }

    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) : m_h(other.release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    handle_type get() const { return m_h; }
    explicit operator bool() const { return m_h != Traits::invalid(); }

    // Gives up ownership without closing.
    handle_type release() {
        handle_type h = m_h;
        m_h = Traits::invalid();
        return h;
    }

    // Closes the held handle (if any) and takes ownership of h.
    void reset(handle_type h = Traits::invalid()) {
        if (m_h != Traits::invalid()) {
            DWORD dwLastError = GetLastError();
            Traits::close(m_h);
            SetLastError(dwLastError);
        }
        m_h = h;
    }

    // Closes the held handle and hands out the address for an out-parameter.
    handle_type* put() {
        reset();
        return &m_h;
    }

private:
    handle_type m_h;
};

struct RegKeyTraits {
    using handle_type = HKEY;
    static HKEY invalid() { return nullptr; }
    static void close(HKEY h) { RegCloseKey(h); }
};

struct ServiceHandleTraits {
    using handle_type = SC_HANDLE;
    static SC_HANDLE invalid() { return nullptr; }
    static void close(SC_HANDLE h) { CloseServiceHandle(h); }
};

// Process, thread, event and similar kernel handles: invalid is NULL.
struct KernelHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE h) { CloseHandle(h); }
};

// File handles from CreateFile: invalid is INVALID_HANDLE_VALUE, not NULL.
struct FileHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};

// Find handles from FindFirstFile: invalid is INVALID_HANDLE_VALUE, closed with FindClose.
struct FindHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};

struct ModuleTraits {
    using handle_type = HMODULE;
    static HMODULE invalid() { return nullptr; }
    static void close(HMODULE h) { FreeLibrary(h); }
};

// Memory from LocalAlloc (as security descriptors from the SDDL conversion come): LocalFree.
struct LocalMemoryTraits {
    using handle_type = HLOCAL;
    static HLOCAL invalid() { return nullptr; }
    static void close(HLOCAL h) { LocalFree(h); }
};

using CRegKey = CUniqueHandle<RegKeyTraits>;
using CServiceHandle = CUniqueHandle<ServiceHandleTraits>;
using CKernelHandle = CUniqueHandle<KernelHandleTraits>;
using CFileHandle = CUniqueHandle<FileHandleTraits>;
using CModule = CUniqueHandle<ModuleTraits>;
using CFindHandle = CUniqueHandle<FindHandleTraits>;
using CLocalMemory = CUniqueHandle<LocalMemoryTraits>;

// The two handles of a started process, both owned.
class CProcessInfo {
public:
    CProcessInfo() : m_info() {}
    ~CProcessInfo() { reset(); }
    CProcessInfo(const CProcessInfo&) = delete;
    CProcessInfo& operator=(const CProcessInfo&) = delete;

    HANDLE process() const { return m_info.hProcess; }

    void reset() {
        CKernelHandle(m_info.hThread).reset();
        CKernelHandle(m_info.hProcess).reset();
        ZeroMemory(&m_info, sizeof(m_info));
    }

    // Closes what is held and hands out the record for CreateProcess to fill.
    PROCESS_INFORMATION* put() {
        reset();
        return &m_info;
    }

private:
    PROCESS_INFORMATION m_info;
};
