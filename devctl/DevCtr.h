// The device controller: installs and removes the scanner's driver package.
#pragma once

#include <windows.h>

#include "common/Handle.h"

class CUsbIdTable;

// Entry point fnDeviceCntrol of the product's library Ulmora.dll. Its result is never read.
typedef void(WINAPI* PFN_DEVICE_CNTROL)(char* pszText, int nCode);

// Codes handed to fnDeviceCntrol.
enum {
    DEVICE_CNTROL_INSTALL_DONE = 1,
    DEVICE_CNTROL_INSTALL = 2,
    DEVICE_CNTROL_REMOVE_DONE = 3,
    DEVICE_CNTROL_REMOVE = 4
};

enum {
    INF_NAME_SIZE = 50, // an INF name holds at most 49 characters
    DEVICE_ID_SIZE = 80,
    // The largest INF whose USB ids are read (16 MB): far above any driver package's INF, and
    // small enough that reading it whole and listing its ids holds little memory and starts a
    // bounded number of removals. A larger file is refused unread, never read in part.
    INF_FILE_MAX = 16 * 1024 * 1024
};

class CDevCtr {
public:
    CDevCtr();
    virtual ~CDevCtr();

    CDevCtr(const CDevCtr&) = delete;
    CDevCtr& operator=(const CDevCtr&) = delete;

    // REGISTER: installs the package whose INF lies in the program folder. 0 when Ulmora.dll
    // cannot be loaded, or the INF name is too long to keep (nothing is then done), else 1.
    int RegisterDriver(const char* pszInfName, int nQuiet);
    // UNREGISTER: removes the package and its USB devices. 0 when Ulmora.dll cannot be loaded,
    // else 1.
    int UnregisterDriver(const char* pszInfName, int nKeepWiaStopped);
    // Deleteuserini: deletes the user's settings file and then its folder. 0 when nothing was
    // tried (the application-data folder cannot be read, or the argument would leave it or
    // does not fit), else 1. Uses no field of the controller: it is defined with the command
    // driver's other per-user code, in setup/DeleteUserIni.cpp (docs/setup.md).
    int DeleteUserIni(const char* pszArgument);

    // The platform code of the running Windows (devctl/PlatformCode.h), queried afresh.
    int GetPlatformCode();

private:
    // Tests read the program folder and reach the package steps of a controller whose folder
    // has no short form, which no program folder under Wine gives (tests/devctl/RunnerTest.cpp).
    friend class CDevCtrTestAccess;

    // Loads Ulmora.dll by its full path in the program folder, never by a search (not from the
    // current directory, PATH or elsewhere). 1 when loaded.
    int LoadSetupLibrary();
    // Writes the INF name into Pellux.ini in the program folder, for Pellux.exe.
    void WriteSourceInfName(const char* pszInfName);
    int InstallPackage32();
    int InstallPackage64();
    int RemovePackage32(const char* pszInfName);
    int RemovePackage64(const char* pszInfName);

    CModule m_hSetupLib; // Ulmora.dll, freed with the controller
    PFN_DEVICE_CNTROL m_pfnDeviceCntrol;
    char m_szInfName[INF_NAME_SIZE];
    // Handed to fnDeviceCntrol on installation; nothing here fills it (the library may).
    char m_szDeviceId[DEVICE_ID_SIZE];
    int m_nQuiet;
    int m_nKeepWiaStopped;
    char m_szModuleDir[MAX_PATH];

    int InstallPackage(int nPelluxPlatform, const char* pszInstaller, const char* pszRescanTool);
    int RemovePackage(const char* pszInstaller, const char* pszDevcon, const char* pszInfName);
    int ReadInfHardwareIds(const char* pszInfName, CUsbIdTable* pTable) const;
};

// Reads the INF file pszPath whole (common/ReadWholeFile.h), as a text-mode read would, and adds
// its USB hardware ids to pTable (devctl/UsbIds.h). 1 when the file was read (possibly no ids); 0
// when it cannot be opened or read whole, is larger than INF_FILE_MAX, or memory runs out: the
// table is then emptied.
int ReadUsbHardwareIds(const char* pszPath, CUsbIdTable* pTable);
