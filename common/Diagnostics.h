// Opt-in diagnostics. By default the program shows, logs and writes nothing. When the
// environment variable TORVANE_DIAGNOSTICS is set to 1, each run reports its decisions through
// the platform's debug-output channel (OutputDebugStringA), which a debugger, DebugView or
// WINEDEBUG=+debugstr under Wine displays.
#pragma once

#include <windows.h>

#include <stdarg.h>

// 1 when diagnostics are switched on for this process (read once).
inline int DiagnosticsEnabled() {
    static int s_nEnabled = -1;
    if (s_nEnabled < 0) {
        char szValue[8] = {};
        DWORD cch = GetEnvironmentVariableA("TORVANE_DIAGNOSTICS", szValue, sizeof(szValue));
        s_nEnabled = (cch == 1 && szValue[0] == '1') ? 1 : 0;
    }
    return s_nEnabled;
}

// Formats one diagnostic line (wsprintf rules, at most 1023 characters, longer text is cut)
// and sends it to the debug-output channel, prefixed with "Torvane: ".
inline void Diag(const char* pszFormat, ...) {
    if (!DiagnosticsEnabled())
        return;
    char szLine[1024] = "Torvane: ";
    const int cchPrefix = 9;
    va_list args;
    va_start(args, pszFormat);
    // wvsprintfA writes at most 1024 bytes; the prefix leaves it less room, so format into a
    // buffer of its own first.
    char szText[1024];
    wvsprintfA(szText, pszFormat, args);
    va_end(args);
    lstrcpynA(szLine + cchPrefix, szText, sizeof(szLine) - cchPrefix - 1);
    lstrcatA(szLine, "\n");
    OutputDebugStringA(szLine);
}
