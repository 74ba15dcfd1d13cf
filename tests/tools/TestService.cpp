// A service of the tests' own, to test how a stop waits. Its behaviour comes from the words of
// its command line (the service's image path):
//   hold=<ms>        stay stop-pending this long after a stop control, then report stopped
//   forever          stay stop-pending for good after a stop control
//   advance          raise the check point on every report while stop-pending (default: fixed)
//   waithint=<ms>    the wait hint reported while stop-pending (default 1000)
#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace {

SERVICE_STATUS_HANDLE g_hStatus = nullptr;
SERVICE_STATUS g_status = {};
HANDLE g_hStopRequested = nullptr;
DWORD g_dwHoldMs = 0;
bool g_bForever = false;
bool g_bAdvance = false;
DWORD g_dwWaitHint = 1000;

void ReadOptions() {
    const char* p = GetCommandLineA();
    const char* pWord;
    if ((pWord = strstr(p, "hold=")) != nullptr)
        g_dwHoldMs = strtoul(pWord + 5, nullptr, 10);
    if ((pWord = strstr(p, "waithint=")) != nullptr)
        g_dwWaitHint = strtoul(pWord + 9, nullptr, 10);
    g_bForever = strstr(p, "forever") != nullptr;
    g_bAdvance = strstr(p, "advance") != nullptr;
}

void Report(DWORD dwState) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = dwState;
    g_status.dwControlsAccepted = (dwState == SERVICE_RUNNING) ? SERVICE_ACCEPT_STOP : 0;
    g_status.dwWin32ExitCode = NO_ERROR;
    g_status.dwWaitHint = (dwState == SERVICE_STOP_PENDING) ? g_dwWaitHint : 0;
    if (dwState == SERVICE_STOP_PENDING) {
        if (g_bAdvance || g_status.dwCheckPoint == 0)
            ++g_status.dwCheckPoint;
    } else {
        g_status.dwCheckPoint = 0;
    }
    SetServiceStatus(g_hStatus, &g_status);
}

DWORD WINAPI ControlHandler(DWORD dwControl, DWORD, void*, void*) {
    if (dwControl == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_hStopRequested);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
    g_hStatus = RegisterServiceCtrlHandlerExA("", ControlHandler, nullptr);
    if (g_hStatus == nullptr)
        return;
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_hStopRequested, INFINITE);
    DWORD dwStart = GetTickCount();
    while (g_bForever || GetTickCount() - dwStart < g_dwHoldMs) {
        Sleep(200);
        Report(SERVICE_STOP_PENDING);
    }
    Report(SERVICE_STOPPED);
}

} // namespace

int main() {
    ReadOptions();
    g_hStopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char szName[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{szName, ServiceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}
