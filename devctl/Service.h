// Stopping and starting a Windows service by name (used for "stisvc").
#pragma once

#include <windows.h>

// The Windows Image Acquisition service, the one service the product stops and starts.
const char WIA_SERVICE_NAME[] = "stisvc";

// How long a stop may keep its caller waiting. A service that reports progress (a rising check
// point) is waited for up to ulTotalMs in all; one whose check point stalls is given up on once
// no progress has been seen for its wait hint, but never sooner than ulMinStallMs nor later than
// ulMaxStallMs.
struct tagStopPollLimits {
    unsigned long ulPollMs;
    unsigned long ulMinStallMs;
    unsigned long ulMaxStallMs;
    unsigned long ulTotalMs;
};

// The limits the product uses: 500 ms polls, a stall allowance of the wait hint bounded to
// 10 s .. 60 s, and three minutes in all.
extern const tagStopPollLimits g_DefaultStopPollLimits;

// Stops the service when it is running, then waits while it is stop-pending (within
// g_DefaultStopPollLimits). pStatus (may be null) receives the status as it was before any control
// was sent; it is left untouched when the service cannot be opened or queried. Returns 1 on every
// path, as its callers expect: what became of the stop is StopNamedServiceWithin's result.
int StopNamedService(const char* pszName, SERVICE_STATUS* pStatus);

// StopNamedService with explicit limits (tests pass short ones). ERROR_SUCCESS when the service
// is no longer running or stop-pending at the end; ERROR_SERVICE_REQUEST_TIMEOUT when it was
// given up on still stop-pending; else the error of the step that failed.
DWORD StopNamedServiceWithin(const char* pszName, SERVICE_STATUS* pStatus,
                             const tagStopPollLimits& limits);

// Issues a start request unless the service is running; does not wait for it to run. pStatus
// (may be null) receives the status before the request; it is left untouched when the service
// cannot be opened or queried. Returns 0 when the service control manager cannot be opened with
// full access (as without administrator rights), else 1.
int StartNamedService(const char* pszName, SERVICE_STATUS* pStatus);
