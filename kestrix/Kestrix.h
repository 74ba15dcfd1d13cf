/* Kestrix.dll: registry helpers for installers, built for 32-bit processes (Kestrix.dll) and for
 * 64-bit processes (x64\Kestrix.dll, the same file name in its own folder).
 *
 * In the 32-bit build the four exports use the stdcall convention (the callee removes the
 * arguments); the 64-bit build has the platform's one calling convention, and WINAPI below means
 * nothing there. Both export them under these plain names, with fixed ordinals:
 *
 *   1 RegCopyEx            copy a key with all its values and subkeys
 *   2 RegDelAllUserKeyEx   delete a key below every user's hive loaded under HKEY_USERS
 *   3 RegDelKeyEX          delete a key with its whole subtree
 *   4 RegGetKeyValueEx     read one value as narrow text
 *
 * The view flag taken by three of them selects the 64-bit registry view for the keys the export
 * opens or creates at the top level when it reads "X64" in any letter case; NULL or any other text
 * selects the view a 32-bit process sees by default, in both builds (on 32-bit Windows the only
 * view). Keys below the top level are reached relative to it. A writable flag buffer comes back
 * upper-cased (letters a-z).
 *
 * Callers either link the import library and call the functions declared below, or load the
 * library at run time and cast what GetProcAddress returns to the PFN_ types. Usable from C and
 * C++.
 */
#ifndef KESTRIX_H
#define KESTRIX_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Copies hSrcParent\pszSrcKey with all values and subkeys to hDstParent\pszDstKey, creating the
 * destination as needed and merging into an existing one. Returns 1 when everything was copied,
 * 0 when the copy failed or is incomplete (what was copied before the failure stays). */
int WINAPI RegCopyEx(HKEY hSrcParent, LPCSTR pszSrcKey, HKEY hDstParent, LPCSTR pszDstKey,
                     LPSTR pszViewFlag);

/* Deletes pszKey (relative to a user's hive) with its subtree below HKEY_USERS\<SID> for every
 * profile listed under HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList. Profiles
 * whose hive is not loaded or lacks the key are passed over. Returns ERROR_NO_MORE_ITEMS after a
 * complete walk, ERROR_BADKEY for a NULL or empty pszKey, or the error opening the profile list. */
LONG WINAPI RegDelAllUserKeyEx(LPCSTR pszKey);

/* Deletes hParent\pszKey with its whole subtree. Returns ERROR_SUCCESS when it is gone,
 * ERROR_BADKEY for a NULL or empty pszKey, otherwise the first error that stopped the deletion
 * (ERROR_FILE_NOT_FOUND for a missing key). */
LONG WINAPI RegDelKeyEX(HKEY hParent, LPCSTR pszKey, LPSTR pszViewFlag);

/* Reads the value pszValue (NULL or "" for the default value) of pszRootName\pszKey as text into
 * pszOut, which must hold 260 bytes. pszRootName is one of "HKEY_CLASSES_ROOT",
 * "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG" (exact case).
 * Returns 1 when non-empty text was copied; 0 when the value is missing, empty or does not fit
 * (pszOut untouched); ERROR_BADKEY for a NULL or empty pszKey; otherwise the error opening the key
 * (an unknown root name fails the open too). */
int WINAPI RegGetKeyValueEx(LPCSTR pszRootName, LPCSTR pszKey, LPCSTR pszValue, LPSTR pszOut,
                            LPSTR pszViewFlag);

/* Pointer types for callers that load the library with LoadLibrary and GetProcAddress. */
typedef int(WINAPI* PFN_REGCOPYEX)(HKEY, LPCSTR, HKEY, LPCSTR, LPSTR);
typedef LONG(WINAPI* PFN_REGDELALLUSERKEYEX)(LPCSTR);
typedef LONG(WINAPI* PFN_REGDELKEYEX)(HKEY, LPCSTR, LPSTR);
typedef int(WINAPI* PFN_REGGETKEYVALUEEX)(LPCSTR, LPCSTR, LPCSTR, LPSTR, LPSTR);

/* Size of the output buffer RegGetKeyValueEx writes into. */
#define KESTRIX_VALUE_BUFFER_SIZE 260

/* The results of RegCopyEx, and of RegGetKeyValueEx besides its Win32 statuses. They are no Win32
 * statuses themselves: KESTRIX_DONE (1) is not ERROR_INVALID_FUNCTION but "the tree was copied" or
 * "the text is in pszOut", and KESTRIX_NOT_DONE (0) is not ERROR_SUCCESS but "not (wholly)
 * copied" or "no text". */
#define KESTRIX_DONE 1
#define KESTRIX_NOT_DONE 0

#ifdef __cplusplus
}
#endif

#endif /* KESTRIX_H */
