// The Windows services both "[WINDIR]" translations take, in the form of the readers' platform
// callbacks (regscript/TextPlatform.h, setup/ScanAdvanceText.h); the context is not used.
#pragma once

#include <stddef.h>

// lstrcmpiA: 0 when the texts are equal, letter case ignored.
int CompareNoCaseAnsi(void* pContext, const char* pszA, const char* pszB);

// The Windows folder as the platform reports it (TRANSLATESCANADVANCE). 0 when it cannot be had
// or does not fit cbFolder bytes.
int WindowsFolderLong(void* pContext, char* pszFolder, size_t cbFolder);

// The Windows folder in short (8.3) form (TRANSLATEPATH); as the platform reports it where it
// cannot be shortened. 0 when it cannot be had or does not fit cbFolder bytes.
int WindowsFolderShort(void* pContext, char* pszFolder, size_t cbFolder);
