#!/bin/sh
# xp-imports.sh <bin folder>: the deliverables import no function that Windows XP lacks, so that
# they load there. Functions of later Windows that a toolchain or library can pull in unasked
# (GetTickCount64 through the C++ runtime's thread support, slim locks, condition variables,
# fibre-local storage, the *Ex locale and file functions) are named here; the product looks the
# few later functions it uses up at run time (GetProcAddress), never imports them.
set -u
bin=$1
later='GetTickCount64|InitializeSRWLock|AcquireSRWLock|ReleaseSRWLock|TryAcquireSRWLock|ConditionVariable|InitOnce|FlsAlloc|FlsGetValue|FlsSetValue|FlsFree|CompareStringEx|LCMapStringEx|GetLocaleInfoEx|LocaleNameToLCID|LCIDToLocaleName|GetUserDefaultLocaleName|InitializeCriticalSectionEx|GetFileInformationByHandleEx|SetFileInformationByHandle|FindFirstStreamW|FindNextStreamW|GetFinalPathNameByHandle|CreateSymbolicLink|QueryFullProcessImageName|GetErrorMode|CancelIoEx|RegDeleteKeyEx|RegGetValue|RegDeleteTree|RegCopyTree|Wow64DisableWow64FsRedirection|Wow64RevertWow64FsRedirection|AddDllDirectory|SetDefaultDllDirectories|GetProductInfo'
status=0
for file in "$bin/Torvane.exe" "$bin/Kestrix.dll" "$bin/x64/Kestrix.dll"; do
    case $file in
    */x64/*) objdump=x86_64-w64-mingw32-objdump ;;
    *) objdump=i686-w64-mingw32-objdump ;;
    esac
    imports=$("$objdump" -p "$file" | sed -n '/^The Import Tables/,/^The Export Tables\|^PE File Base Relocations/p')
    [ -n "$imports" ] || { echo "$file: no import table read"; status=1; continue; }
    found=$(printf '%s\n' "$imports" | grep -E "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+($later)" || true)
    if [ -n "$found" ]; then
        echo "$file imports functions Windows XP lacks:"
        printf '%s\n' "$found"
        status=1
    else
        echo "$file: $(printf '%s\n' "$imports" | grep -cE '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]') imports, none missing on Windows XP"
    fi
done
exit $status
