// The device controller: installs and removes the scanner's driver package.
#pragma once

#include <windows.h>

// Entry point fnDeviceCntrol of the product's library Ulmora.dll. Its result is never read.
typedef void(WINAPI* PFN_DEVICE_CNTROL)(char* pszText, int nCode);

class CDevCtr {
public:
    CDevCtr();
    virtual ~CDevCtr();

    CDevCtr(const CDevCtr&) = delete;
    CDevCtr& operator=(const CDevCtr&) = delete;

    // REGISTER: installs the package whose INF lies in the program folder. 0 when Ulmora.dll
    // cannot be loaded, else 1.
    int RegisterDriver(const char* pszInfName, int nQuiet);
    // UNREGISTER: removes the package and its USB devices. 0 when Ulmora.dll cannot be loaded,
    // else 1.
    int UnregisterDriver(const char* pszInfName, int nKeepWiaStopped);
    // Deleteuserini: deletes the user's settings file and then its folder. 0 when the
    // application-data folder cannot be read, else 1. Uses no field of the controller.
    int DeleteUserIni(const char* pszArgument);

    int GetPlatformCode();

    const char* GetModuleDir() const { return m_szModuleDir; }

protected:
    int LoadSetupLibrary();
    void WriteSourceInfName(const char* pszInfName);
    int InstallPackage32();
    int InstallPackage64();
    int RemovePackage32(const char* pszInfName);
    int RemovePackage64(const char* pszInfName);

    HMODULE m_hSetupLib;
    PFN_DEVICE_CNTROL m_pfnDeviceCntrol;
    char m_szInfName[50];
    char m_szDeviceId[80];
    int m_nQuiet;
    int m_nKeepWiaStopped;
    char m_szModuleDir[MAX_PATH];
};
