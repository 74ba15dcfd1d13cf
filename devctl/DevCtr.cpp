#include "devctl/DevCtr.h"

#include <string.h>

#include "common/Diagnostics.h"
#include "common/Handle.h"
#include "common/ProcAddress.h"
#include "common/ReadWholeFile.h"
#include "devctl/CommandText.h"
#include "devctl/Platform.h"
#include "devctl/PlatformCode.h"
#include "devctl/Service.h"
#include "devctl/UsbIds.h"

namespace {

const char SETUP_LIBRARY_NAME[] = "Ulmora.dll";
const char DEVICE_CNTROL_EXPORT[] = "fnDeviceCntrol";
const char SETUP_TOOL[] = "Pellux.exe";
const char SETUP_TOOL_SETTINGS[] = "Pellux.ini";
const char INSTALLER_32[] = "DPInst.exe";
const char INSTALLER_64[] = "DPInst64.exe";
const char RESCAN_TOOL_32[] = "devcon.exe";
const char RESCAN_TOOL_64[] = "devcon64.exe";
const char REMOVE_TOOL_32[] = "Devcon.exe";
const char REMOVE_TOOL_64[] = "Devcon64.exe";

// The pauses the WIA service is given: after its stop, before it is started again for the new
// device (the service may still be letting go of the devices it had), and after its stop before
// the devices are removed (so that it no longer holds them).
const DWORD INSTALL_RESTART_PAUSE_MS = 2000;
const DWORD REMOVE_STOP_PAUSE_MS = 1000;

// Loads the library pszPath (a full path) from that file, never found by a search, so that a
// file of its name in the current directory or on PATH is never taken instead. Its own imports
// come from its folder and the system folder: LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR with
// LOAD_LIBRARY_SEARCH_SYSTEM32 where the loader knows those flags (Windows 8, and Vista or 7 with
// KB2533623); a loader that does not (XP, Vista or 7 without the update) refuses them with
// ERROR_INVALID_PARAMETER, and LOAD_WITH_ALTERED_SEARCH_PATH then puts the library's folder
// first in the standard search for its imports.
HMODULE LoadLibraryByFullPath(const char* pszPath) {
    HMODULE hModule = LoadLibraryExA(
        pszPath, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (hModule == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)
        hModule = LoadLibraryExA(pszPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return hModule;
}

} // namespace

CDevCtr::CDevCtr()
    : m_hSetupLib(), m_pfnDeviceCntrol(nullptr), m_szInfName(), m_szDeviceId(), m_nQuiet(0),
      m_nKeepWiaStopped(0), m_szModuleDir() {
    char szModulePath[MAX_PATH] = {};
    const DWORD cch = GetModuleFileNameA(nullptr, szModulePath, sizeof(szModulePath));
    // A path cut at the buffer's end names no real folder: the folder then stays empty, and
    // nothing is started from it or written into it.
    DWORD dwError = cch > 0 && cch < sizeof(szModulePath)
                        ? ProgramFolderOf(szModulePath, m_szModuleDir, sizeof(m_szModuleDir))
                        : ERROR_INSUFFICIENT_BUFFER;
    if (dwError != ERROR_SUCCESS)
        Diag("the program folder cannot be had (error %lu): no tool is started", dwError);
}

CDevCtr::~CDevCtr() {} // m_hSetupLib frees the library

int CDevCtr::GetPlatformCode() {
    OSVERSIONINFOEXA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    OSVERSIONINFOA* pVersion = reinterpret_cast<OSVERSIONINFOA*>(&version);
    if (!GetVersionExA(pVersion)) {
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(pVersion))
            return PLATFORM_UNKNOWN;
    }
    version.szCSDVersion[sizeof(version.szCSDVersion) - 1] = '\0';
    const int nPlatform = DecidePlatformCode(version.dwMajorVersion, version.dwMinorVersion,
                                             version.szCSDVersion, IsWow64());
    Diag("Windows %lu.%lu \"%s\": platform code %d", version.dwMajorVersion, version.dwMinorVersion,
         version.szCSDVersion, nPlatform);
    return nPlatform;
}

int CDevCtr::LoadSetupLibrary() {
    if (!m_hSetupLib) {
        char szPath[MAX_PATH];
        if (BuildFilePath(szPath, sizeof(szPath), m_szModuleDir, SETUP_LIBRARY_NAME))
            m_hSetupLib.reset(LoadLibraryByFullPath(szPath));
        if (!m_hSetupLib) {
            Diag("%s cannot be loaded (error %lu): nothing done", SETUP_LIBRARY_NAME,
                 GetLastError());
            return 0;
        }
        // A library without the export is no failure: the caller restarts the service instead.
        m_pfnDeviceCntrol = GetProcAs<PFN_DEVICE_CNTROL>(m_hSetupLib.get(), DEVICE_CNTROL_EXPORT);
        Diag("%s loaded, %s %s", SETUP_LIBRARY_NAME, DEVICE_CNTROL_EXPORT,
             m_pfnDeviceCntrol != nullptr ? "found" : "missing");
    }
    return 1;
}

void CDevCtr::WriteSourceInfName(const char* pszInfName) {
    char szSettings[MAX_PATH];
    if (!BuildFilePath(szSettings, sizeof(szSettings), m_szModuleDir, SETUP_TOOL_SETTINGS))
        return;
    WritePrivateProfileStringA("SetupCopyOEMInf", "SourceInfFileName", pszInfName, szSettings);
}

int CDevCtr::InstallPackage32() {
    return InstallPackage(PLATFORM_WINXP, INSTALLER_32, RESCAN_TOOL_32);
}

int CDevCtr::InstallPackage64() {
    return InstallPackage(PLATFORM_WIN2003, INSTALLER_64, RESCAN_TOOL_64);
}

// Runs the package installer (Pellux.exe on nPelluxPlatform) and then the device rescan, each to
// its end, however long that takes: an installer may be waiting for the user.
int CDevCtr::InstallPackage(int nPelluxPlatform, const char* pszInstaller,
                            const char* pszRescanTool) {
    WriteSourceInfName(m_szInfName);

    char szCommand[MAX_PATH];
    int bBuilt;
    if (GetPlatformCode() == nPelluxPlatform)
        bBuilt = BuildToolCommand(szCommand, sizeof(szCommand), m_szModuleDir, SETUP_TOOL, nullptr);
    else
        bBuilt = BuildToolCommand(szCommand, sizeof(szCommand), m_szModuleDir, pszInstaller,
                                  m_nQuiet == 1 ? " /Q" : nullptr);
    const int bInstallerRan =
        bBuilt && RunChildAndWait(szCommand, m_szModuleDir, 0, INFINITE) == ERROR_SUCCESS;

    bBuilt =
        BuildToolCommand(szCommand, sizeof(szCommand), m_szModuleDir, pszRescanTool, " Rescan");
    const int bRescanRan =
        bBuilt && RunChildAndWait(szCommand, m_szModuleDir, 1, INFINITE) == ERROR_SUCCESS;

    return (bRescanRan || bInstallerRan) ? 1 : 0;
}

int CDevCtr::RegisterDriver(const char* pszInfName, int nQuiet) {
    m_nQuiet = nQuiet;
    // A name cut to fit would name another file: too long a name is refused, and nothing runs.
    if (pszInfName == nullptr || strlen(pszInfName) >= sizeof(m_szInfName))
        return 0;
    memcpy(m_szInfName, pszInfName, strlen(pszInfName) + 1);

    if (!LoadSetupLibrary())
        return 0;

    const int nPlatform = GetPlatformCode();
    if (nPlatform == PLATFORM_WINXP || nPlatform == PLATFORM_NT6_32)
        InstallPackage32();
    else if (nPlatform == PLATFORM_WIN2003 || nPlatform == PLATFORM_NT6_64)
        InstallPackage64();

    if (m_pfnDeviceCntrol != nullptr) {
        m_pfnDeviceCntrol(m_szDeviceId, DEVICE_CNTROL_INSTALL);
        m_pfnDeviceCntrol(m_szDeviceId, DEVICE_CNTROL_INSTALL_DONE);
        return 1;
    }

    // Without the library's notice, the WIA service learns of the new device by a restart.
    SERVICE_STATUS status = {};
    StopNamedService(WIA_SERVICE_NAME, &status);
    Sleep(INSTALL_RESTART_PAUSE_MS);
    if (m_nKeepWiaStopped != 1)
        StartNamedService(WIA_SERVICE_NAME, &status);
    return 1;
}

int CDevCtr::ReadInfHardwareIds(const char* pszInfName, CUsbIdTable* pTable) const {
    char szInfPath[MAX_PATH];
    if (!BuildFilePath(szInfPath, sizeof(szInfPath), m_szModuleDir, pszInfName))
        return 0;
    return ReadUsbHardwareIds(szInfPath, pTable);
}

int CDevCtr::RemovePackage32(const char* pszInfName) {
    if (GetPlatformCode() != PLATFORM_WINXP)
        return RemovePackage(INSTALLER_32, REMOVE_TOOL_32, pszInfName);

    // XP: the library alone takes the devices off, with two calls for each id.
    CUsbIdTable ids;
    if (!ReadInfHardwareIds(pszInfName, &ids) || ids.Count() == 0)
        return 0;
    for (unsigned int n = 0; n < ids.Count() && m_pfnDeviceCntrol != nullptr; ++n) {
        m_pfnDeviceCntrol(ids.Id(n), DEVICE_CNTROL_REMOVE);
        m_pfnDeviceCntrol(ids.Id(n), DEVICE_CNTROL_REMOVE_DONE);
    }
    return 0;
}

int CDevCtr::RemovePackage64(const char* pszInfName) {
    return RemovePackage(INSTALLER_64, REMOVE_TOOL_64, pszInfName);
}

// Uninstalls the package, then removes each USB device the INF names. Each child is waited for
// up to RUN_HIDDEN_WAIT_MS. The result is that of the last child run.
int CDevCtr::RemovePackage(const char* pszInstaller, const char* pszDevcon,
                           const char* pszInfName) {
    char szCommand[MAX_PATH];
    int nResult = BuildUninstallCommand(szCommand, sizeof(szCommand), m_szModuleDir, pszInstaller,
                                        pszInfName) &&
                  RunHiddenAndWait(szCommand, m_szModuleDir);

    CUsbIdTable ids;
    if (!ReadInfHardwareIds(pszInfName, &ids) || ids.Count() == 0)
        return nResult;
    for (unsigned int n = 0; n < ids.Count(); ++n) {
        if (m_pfnDeviceCntrol != nullptr)
            m_pfnDeviceCntrol(ids.Id(n), DEVICE_CNTROL_REMOVE);
        nResult =
            BuildRemoveCommand(szCommand, sizeof(szCommand), m_szModuleDir, pszDevcon, ids.Id(n)) &&
            RunHiddenAndWait(szCommand, m_szModuleDir);
    }
    return nResult;
}

int CDevCtr::UnregisterDriver(const char* pszInfName, int nKeepWiaStopped) {
    m_nKeepWiaStopped = nKeepWiaStopped;
    if (!LoadSetupLibrary())
        return 0;

    const int nPlatform = GetPlatformCode();
    if (nPlatform < PLATFORM_WINXP || nPlatform > PLATFORM_NT6_64)
        return 1;
    // Without the library there is no way to take the devices off: nothing is done.
    if (m_pfnDeviceCntrol == nullptr)
        return 1;

    SERVICE_STATUS status = {};
    StopNamedService(WIA_SERVICE_NAME, &status);
    Sleep(REMOVE_STOP_PAUSE_MS);
    if (IsPlatform64(nPlatform))
        RemovePackage64(pszInfName);
    else
        RemovePackage32(pszInfName);
    if (m_nKeepWiaStopped != 1)
        StartNamedService(WIA_SERVICE_NAME, &status);
    return 1;
}

int ReadUsbHardwareIds(const char* pszPath, CUsbIdTable* pTable) {
    pTable->Clear();
    CFileHandle hFile(CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    CArray<char> bytes;
    if (!hFile || !ReadWholeFile(hFile.get(), &bytes, INF_FILE_MAX)) {
        Diag("%s: cannot be read whole, or larger than %lu bytes: no ids", pszPath,
             static_cast<unsigned long>(INF_FILE_MAX));
        return 0;
    }
    const size_t cchText = ToTextModeCutAtZeroOrCtrlZ(bytes.Data(), bytes.Size() - 1);
    const int nResult = ScanUsbHardwareIds(bytes.Data(), cchText, pTable);
    if (!nResult)
        pTable->Clear();
    return nResult;
}
