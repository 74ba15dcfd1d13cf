// TRANSLATESCANADVANCE: "[WINDIR]" values of a scan-settings INI file written as real paths.
#pragma once

// Rewrites the "[WINDIR]" values of the settings file at pszPath, through a copy that replaces
// the file. 0 when the file cannot be opened or read whole, cannot be replaced (read-only,
// another hard link, a failed write; it is then unchanged), is refused (not 8-bit text, a
// stray NUL or Ctrl-Z) while it holds "[WINDIR]", or holds so many values to write that the
// profile writer would write more than 256 MB rewriting it once per value (it is then
// unchanged); else 1.
int TranslateScanAdvance(const char* pszPath);
