// TRANSLATESCANADVANCE: "[WINDIR]" values of a scan-settings INI file written as real paths.
#pragma once

// Rewrites the "[WINDIR]" values of the settings file at pszPath. 0 when the file cannot be
// opened, else 1.
int TranslateScanAdvance(const char* pszPath);
