#include "devctl/Service.h"

#include "common/Diagnostics.h"
#include "common/Handle.h"

namespace {

const DWORD SERVICE_ACCESS_FOR_STOP = SERVICE_STOP | SERVICE_QUERY_STATUS;   // 0x24
const DWORD SERVICE_ACCESS_FOR_START = SERVICE_START | SERVICE_QUERY_STATUS; // 0x14

unsigned long Clamp(unsigned long ulValue, unsigned long ulLow, unsigned long ulHigh) {
    if (ulValue < ulLow)
        return ulLow;
    if (ulValue > ulHigh)
        return ulHigh;
    return ulValue;
}

// Waits while the service is stop-pending. Follows the platform's guidance on the status record:
// a service is expected to raise its check point within its wait hint; one that does not is
// taken to be hung. GetTickCount differences stay correct across its 49-day wrap. ERROR_SUCCESS
// once the service is no longer stop-pending; ERROR_SERVICE_REQUEST_TIMEOUT when it was given up
// on; the error of a status query that failed.
DWORD WaitWhileStopPending(SC_HANDLE hService, SERVICE_STATUS* pStatus,
                           const tagStopPollLimits& limits) {
    const DWORD dwStart = GetTickCount();
    DWORD dwLastProgress = dwStart;
    DWORD dwLastCheckPoint = pStatus->dwCheckPoint;
    while (pStatus->dwCurrentState == SERVICE_STOP_PENDING) {
        const unsigned long ulStallMs =
            Clamp(pStatus->dwWaitHint, limits.ulMinStallMs, limits.ulMaxStallMs);
        const DWORD dwNow = GetTickCount();
        if (dwNow - dwStart >= limits.ulTotalMs || dwNow - dwLastProgress >= ulStallMs) {
            Diag("service still stop-pending after %lu ms: no longer waited for",
                 static_cast<unsigned long>(dwNow - dwStart));
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        }
        Sleep(limits.ulPollMs);
        if (!QueryServiceStatus(hService, pStatus))
            return GetLastError();
        if (pStatus->dwCheckPoint != dwLastCheckPoint) {
            dwLastCheckPoint = pStatus->dwCheckPoint;
            dwLastProgress = GetTickCount();
        }
    }
    return ERROR_SUCCESS;
}

// Opens the service and reads its status into *pStatus, and into the caller's record when there
// is one. ERROR_SUCCESS, or the error of the step that failed: the caller's record is then left
// untouched.
DWORD OpenAndQuery(SC_HANDLE hManager, const char* pszName, DWORD dwServiceAccess,
                   CServiceHandle* pService, SERVICE_STATUS* pStatus,
                   SERVICE_STATUS* pCallerStatus) {
    pService->reset(OpenServiceA(hManager, pszName, dwServiceAccess));
    if (!*pService) {
        const DWORD dwError = GetLastError();
        Diag("service %s cannot be opened (error %lu)", pszName, dwError);
        return dwError;
    }
    // A status that cannot be read tells nothing: treated like a service that cannot be opened.
    if (!QueryServiceStatus(pService->get(), pStatus))
        return GetLastError();
    if (pCallerStatus != nullptr)
        *pCallerStatus = *pStatus;
    Diag("service %s is in state %lu", pszName, pStatus->dwCurrentState);
    return ERROR_SUCCESS;
}

} // namespace

const tagStopPollLimits g_DefaultStopPollLimits = {500, 10000, 60000, 180000};

int StopNamedService(const char* pszName, SERVICE_STATUS* pStatus) {
    // The callers go on whatever became of the stop (they install or remove the driver either
    // way); what became of it is in the diagnostics.
    StopNamedServiceWithin(pszName, pStatus, g_DefaultStopPollLimits);
    return 1;
}

DWORD StopNamedServiceWithin(const char* pszName, SERVICE_STATUS* pStatus,
                             const tagStopPollLimits& limits) {
    // Connecting is all OpenServiceA needs; the service's own rights decide the stop.
    CServiceHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!hManager)
        return GetLastError();
    CServiceHandle hService;
    SERVICE_STATUS status = {};
    const DWORD dwOpened =
        OpenAndQuery(hManager.get(), pszName, SERVICE_ACCESS_FOR_STOP, &hService, &status, pStatus);
    if (dwOpened != ERROR_SUCCESS)
        return dwOpened;
    // The control reports the new status into the record; a refused control that leaves it
    // alone leaves the state read above to decide whether to wait.
    if (status.dwCurrentState == SERVICE_RUNNING) {
        ControlService(hService.get(), SERVICE_CONTROL_STOP, &status);
        Diag("stop sent to %s: state %lu", pszName, status.dwCurrentState);
    }
    const DWORD dwWaited = WaitWhileStopPending(hService.get(), &status, limits);
    Diag("service %s left in state %lu", pszName, status.dwCurrentState);
    return dwWaited;
}

int StartNamedService(const char* pszName, SERVICE_STATUS* pStatus) {
    // Full access, though OpenServiceA needs only a connection: the result tells the caller
    // whether the manager opened with full access, which only an administrator gets.
    CServiceHandle hManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!hManager)
        return 0;
    CServiceHandle hService;
    SERVICE_STATUS status = {};
    if (OpenAndQuery(hManager.get(), pszName, SERVICE_ACCESS_FOR_START, &hService, &status,
                     pStatus) != ERROR_SUCCESS)
        return 1;
    if (status.dwCurrentState != SERVICE_RUNNING) {
        BOOL bStarted = StartServiceA(hService.get(), 0, nullptr);
        Diag("start of %s (state %lu) %s", pszName, status.dwCurrentState,
             bStarted ? "requested" : "refused");
    } else {
        Diag("service %s already running: not started again", pszName);
    }
    return 1;
}
