#include "devctl/DevCtr.h"

#include <string.h>

// Driver installation and removal are not part of this build yet: the controller constructs,
// tears down, and its operations do nothing and report that they did nothing.

CDevCtr::CDevCtr()
    : m_hSetupLib(nullptr), m_pfnDeviceCntrol(nullptr), m_szInfName(), m_szDeviceId(), m_nQuiet(0),
      m_nKeepWiaStopped(0), m_szModuleDir() {}

CDevCtr::~CDevCtr() {
    if (m_hSetupLib != nullptr) {
        FreeLibrary(m_hSetupLib);
        m_hSetupLib = nullptr;
    }
}

int CDevCtr::RegisterDriver(const char*, int) {
    return 0;
}
int CDevCtr::UnregisterDriver(const char*, int) {
    return 0;
}
int CDevCtr::GetPlatformCode() {
    return 0;
}
int CDevCtr::LoadSetupLibrary() {
    return 0;
}
void CDevCtr::WriteSourceInfName(const char*) {}
int CDevCtr::InstallPackage32() {
    return 0;
}
int CDevCtr::InstallPackage64() {
    return 0;
}
int CDevCtr::RemovePackage32(const char*) {
    return 0;
}
int CDevCtr::RemovePackage64(const char*) {
    return 0;
}
