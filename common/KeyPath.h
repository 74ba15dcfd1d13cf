// Joining registry key paths in fixed buffers.
//
// Pure text logic, no Win32 call: built into both deliverables and natively for tests and fuzzing.
#pragma once

#include <stddef.h>

enum { KEY_PATH_BUFFER_SIZE = 260 };

// Joins cParts strings with one backslash between each two into pszOut, a buffer of cbOut bytes
// that is zero-filled first. Returns 1 when the whole path and its terminating NUL fit; else 0,
// and pszOut holds the empty string: a shortened key path could name, and so delete or write,
// another key.
int JoinKeyPath(char* pszOut, size_t cbOut, const char* const* ppszParts, size_t cParts);
