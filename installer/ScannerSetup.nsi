; A product installer as the first client of Torvane.exe and Kestrix.dll: it installs them with
; the driver tools into a program folder, runs the setup commands the way a product installer
; does, and reads a value through Kestrix. Its uninstaller undoes the work.
;
; makensis -DBIN_DIR=<folder with the built files> -DSAMPLE_DIR=<samples/setup>
;          -DVERSION=<x.y.z> -DOUT_FILE=<installer.exe> [-DUNICODE] ScannerSetup.nsi
; Run silently: ScannerSetup.exe /S [/D=<program folder>]
;
; An installation over an earlier one (an upgrade) goes to that one's folder, replaces its
; files and runs the setup commands again; it runs none of the removal commands. An upgrade
; that fails puts the earlier version's files back and leaves its driver package, keys and
; entry in the list of installed programs as they were; only a first installation that fails
; is undone by the uninstaller. An older version than the one installed is refused.
;
; Torvane and Kestrix take narrow (ANSI) text. The installer itself may be either kind: the
; System plugin's string type "m" passes narrow text to Kestrix from both, and ExecWait
; starts Torvane with the command line converted as Windows does for any program.
!ifdef UNICODE
Unicode true
!else
Unicode false
!endif
!include LogicLib.nsh
!include WordFunc.nsh

!ifndef VERSION
!error "Define VERSION: makensis -DVERSION=x.y.z"
!endif
!define PRODUCT_KEY "SOFTWARE\ScannerSetupSample"
!define PRODUCT_NAME "Scanner"
!define USER_KEY "Software\ScannerSetupSample"
; The installer's log, kept in the temporary folder when an installation fails: the undo
; removes the program folder.
!define FAILED_LOG "$TEMP\ScannerSetupSample-install.log"
; The longest name the setup commands append to the program folder ("\ScanAdvance.ini"):
; Torvane's paths hold at most 259 characters.
!define LONGEST_FILE_NAME 16
; The product's entry in the list of installed programs, in the 32-bit view like everything the
; installer writes: it names the version and the folder, where an upgrade installs again.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ScannerSetupSample"

Name "Scanner setup sample"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\Scanner Setup Sample"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow
; The installed files get the time of installation: the installer then holds no build times and
; two builds of one commit are the same file.
SetDateSave off
; A file that cannot be written (Kestrix.dll loaded by a running caller, a file another program
; holds) fails the installation: with skipping allowed, a silent installation would take
; "Ignore", keep the old file and exit with 0.
AllowSkipFiles off
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Scanner setup sample"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Scanner setup sample installer"
VIAddVersionKey "LegalCopyright" "See LICENSE"

; RequestExecutionLevel asks Windows to elevate; it does not guarantee it (Windows without UAC,
; a compatibility setting, a standard user's token). Torvane needs administrator rights, so
; each part checks that it got them before it changes anything.
!macro RequireAdministrator
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        MessageBox MB_ICONSTOP "Administrator rights are required." /SD IDOK
        SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
        Quit
    ${EndIf}
!macroend
; The version of an earlier installation, from its entry in the list of installed programs;
; empty when there is none.
Var EarlierVersion
; 1 once the installation has begun to change the machine.
Var Begun

Function .onInit
    !insertmacro RequireAdministrator
    SetRegView 32
    ReadRegStr $EarlierVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $EarlierVersion != ""
        ${VersionCompare} $EarlierVersion "${VERSION}" $0
        ${If} $0 == 1
            MessageBox MB_ICONSTOP "Version $EarlierVersion of Scanner Setup Sample is installed, \
                newer than this one (${VERSION}); it is left as it is." /SD IDOK
            SetErrorLevel 1638 ; ERROR_PRODUCT_VERSION: another version is installed
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd
Function un.onInit
    !insertmacro RequireAdministrator
FunctionEnd

; Torvane works with ANSI paths of at most 259 characters: the program folder must be text of
; the ANSI code page, short enough for the longest file name the commands append. Checked before
; anything is installed; $0 is 1 when the folder will do.
Function CheckProgramFolder
    StrCpy $0 1
    StrLen $1 "$INSTDIR"
    IntOp $1 $1 + ${LONGEST_FILE_NAME}
    ${If} $1 > 259
        StrCpy $0 0
    ${EndIf}
!ifdef UNICODE
    ; A character the code page lacks would turn into "?" on its way to Torvane.
    System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w "$INSTDIR", i -1, p 0, i 0, p 0, *i .r2) i .r1'
    ${If} $1 == 0
    ${OrIf} $2 != 0
        StrCpy $0 0
    ${EndIf}
!endif
FunctionEnd
Function .onVerifyInstDir
    Call CheckProgramFolder
    ${If} $0 != 1
        Abort
    ${EndIf}
FunctionEnd

; Runs Torvane.exe from the program folder and records its exit status in the installer's log
; file, so that whoever runs the installer silently can see what each command gave. $0: the
; exit status (-1 when a file it had to rewrite could not be opened or written), or
; "not started" when Windows could not start it (ExecWait then sets the error flag).
!macro Torvane ARGS
    ClearErrors
    ExecWait '"$INSTDIR\Torvane.exe" ${ARGS}' $0
    ${If} ${Errors}
        StrCpy $0 "not started"
    ${EndIf}
    FileWrite $9 "Torvane ${ARGS}: $0$\r$\n"
!macroend

!macro EmptyValueIfAbsent KEY NAME
    ClearErrors
    ReadRegStr $1 HKLM "${KEY}" "${NAME}"
    ${If} ${Errors}
        WriteRegStr HKLM "${KEY}" "${NAME}" ""
    ${EndIf}
!macroend

; The files the installation puts into the program folder, and the ones REGISTER and the log add.
!macro DeleteProductFiles
    Delete "$INSTDIR\Torvane.exe"
    Delete "$INSTDIR\Kestrix.dll"
    Delete "$INSTDIR\DPInst.exe"
    Delete "$INSTDIR\DPInst64.exe"
    Delete "$INSTDIR\devcon.exe"
    Delete "$INSTDIR\devcon64.exe"
    Delete "$INSTDIR\Pellux.exe"
    Delete "$INSTDIR\Pellux.ini"
    Delete "$INSTDIR\Ulmora.dll"
    Delete "$INSTDIR\scanner.inf"
    Delete "$INSTDIR\Setup.reg"
    Delete "$INSTDIR\ScanAdvance.ini"
    Delete "$INSTDIR\install.log"
    Delete "$INSTDIR\Uninstall.exe"
!macroend

; During installation a command that fails stops it: .onInstFailed puts the machine back.
!macro TorvaneOrUndo ARGS
    !insertmacro Torvane "${ARGS}"
    ${If} $0 != 0
        Abort
    ${EndIf}
!macroend

; An installation that stopped (a command failed, a file could not be written, the folder was
; refused). NSIS has no rollback. Over an earlier installation (an upgrade) the earlier files
; come back from their copy and nothing else is undone: the earlier version's driver package,
; keys and entry in the list of installed programs stay as they were, and it still works. A
; first installation is undone by the uninstaller, written before the commands ran (it also
; removes the driver package REGISTER installed). The log is kept in the temporary folder.
; The installer ends with exit status 2.
Function .onInstFailed
    ${If} $Begun != 1
        Return
    ${EndIf}
    ${If} $EarlierVersion != ""
        FileWrite $9 "Upgrade failed: version $EarlierVersion put back$\r$\n"
        FileClose $9
        CopyFiles /SILENT "$INSTDIR\install.log" "${FAILED_LOG}"
        CopyFiles /SILENT "$PLUGINSDIR\earlier\*.*" "$INSTDIR"
        Return
    ${EndIf}
    FileWrite $9 "Installation undone$\r$\n"
    FileClose $9
    CopyFiles /SILENT "$INSTDIR\install.log" "${FAILED_LOG}"
    IfFileExists "$INSTDIR\Uninstall.exe" 0 +2
        ExecWait '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
    SetOutPath "$TEMP" ; the installer's working folder, which could not be removed
    !insertmacro DeleteProductFiles
    RMDir "$INSTDIR"
FunctionEnd

Section "Install"
    ; The 32-bit registry view, the one Torvane.exe (a 32-bit program) works in and a 32-bit
    ; installer uses by default: after SetRegView 64 the product key would land where
    ; SET_SAVE_FOLDER finds nothing and DELETE_LOCAL_MACHINE_PRODUCTKEY deletes nothing.
    SetRegView 32
    Call CheckProgramFolder
    ${If} $0 != 1
        MessageBox MB_ICONSTOP "The program folder must be a path of the system's code page with \
            at most 243 characters: $INSTDIR" /SD IDOK
        Abort
    ${EndIf}
    StrCpy $Begun 1
    SetOutPath "$INSTDIR"
    FileOpen $9 "$INSTDIR\install.log" w
    ; Over an earlier installation its files are copied aside first, to be put back should the
    ; upgrade fail.
    ${If} $EarlierVersion != ""
        InitPluginsDir
        CreateDirectory "$PLUGINSDIR\earlier"
        CopyFiles /SILENT "$INSTDIR\*.*" "$PLUGINSDIR\earlier"
    ${EndIf}
    File "${BIN_DIR}\Torvane.exe"
    File "${BIN_DIR}\Kestrix.dll"
    File "${BIN_DIR}\DPInst.exe"
    File "${BIN_DIR}\DPInst64.exe"
    File "${BIN_DIR}\devcon.exe"
    File "${BIN_DIR}\devcon64.exe"
    File "${BIN_DIR}\Pellux.exe"
    File "${BIN_DIR}\Ulmora.dll"
    File "${SAMPLE_DIR}\scanner.inf"
    File "${SAMPLE_DIR}\Setup.reg"
    File "${SAMPLE_DIR}\ScanAdvance.ini"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; The product's settings key: the product name and the scan destinations' folder keys.
    ; A save folder SET_SAVE_FOLDER has already set is kept.
    ; Setup.reg, once TRANSLATEPATH has rewritten it, is no script for a registry editor (no
    ; header line, the folder as raw text: docs/regscript.md): a value that must hold the
    ; Windows folder in the registry is written here, with NSIS's own variable, e.g.
    ;   WriteRegStr HKLM "${PRODUCT_KEY}" "Driver" "$WINDIR\System32\x.dll"
    WriteRegStr HKLM "${PRODUCT_KEY}" "Varnel Name" "${PRODUCT_NAME}"
    !insertmacro EmptyValueIfAbsent "${PRODUCT_KEY}\${PRODUCT_NAME}\BCR\Default\Folder" "1"
    !insertmacro EmptyValueIfAbsent "${PRODUCT_KEY}\${PRODUCT_NAME}\PDF\Default\Folder" "1"
    WriteRegStr HKCU "${USER_KEY}" "Installed" "1"

    !insertmacro TorvaneOrUndo "REGISTER scanner.inf /Q"
    !insertmacro TorvaneOrUndo "TRANSLATEPATH Setup.reg"
    !insertmacro TorvaneOrUndo "TRANSLATESCANADVANCE ScanAdvance.ini"
    !insertmacro TorvaneOrUndo "SET_SAVE_FOLDER ${PRODUCT_KEY}"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Scanner Setup Sample"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Scanner Setup Sample"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    ; Read back one save folder through Kestrix (the plugin's output buffer holds 1024
    ; characters; Kestrix needs 260 bytes). The library is loaded from the program folder by
    ; its full path first, so that the calls by name below reach that copy and no other, and
    ; freed afterwards.
    System::Call 'kernel32::LoadLibraryA(m "$INSTDIR\Kestrix.dll") p .r8'
    System::Call 'Kestrix::RegGetKeyValueEx(m "HKEY_LOCAL_MACHINE", m "${PRODUCT_KEY}\${PRODUCT_NAME}\PDF\Default\Folder", m "1", m .r1, m "") i .r2'
    System::Call 'kernel32::FreeLibrary(p r8)'
    FileWrite $9 "RegGetKeyValueEx: $2 $1$\r$\n"
    FileClose $9
SectionEnd

Section "Uninstall"
    SetRegView 32
    ; The log goes to the temporary folder: the program folder is removed whole.
    FileOpen $9 "$TEMP\ScannerSetupSample-uninstall.log" w
    ; Removal never depends on Torvane.exe: a command that cannot start or fails is logged and
    ; the removal goes on.
    !insertmacro Torvane "UNREGISTER scanner.inf STOPWIA"
    !insertmacro Torvane "DELETE_LOCAL_MACHINE_PRODUCTKEY ${PRODUCT_KEY}"
    !insertmacro Torvane "DELETE_ALLUSER_PRODUCTKEY ${USER_KEY}"
    !insertmacro Torvane "Deleteuserini ScannerSetupSample\Scan"

    ; installers.md quotes from here
    ; Windows refuses to delete a loaded DLL: Kestrix is freed before it is deleted. The System
    ; plugin finds the loaded copy by name and does not load it again, so one FreeLibrary
    ; balances the one LoadLibraryA. Without the DLL there is no call: the System plugin would
    ; look for another Kestrix.dll on the search path.
    System::Call 'kernel32::LoadLibraryA(m "$INSTDIR\Kestrix.dll") p .r8'
    ${If} $8 P<> 0
        System::Call 'Kestrix::RegDelKeyEX(p 0x80000002, m "${PRODUCT_KEY}Cache", m "") i .r2'
        FileWrite $9 "RegDelKeyEX: $2$\r$\n"
        System::Call 'kernel32::FreeLibrary(p r8)'
        System::Call 'kernel32::GetModuleHandleA(m "$INSTDIR\Kestrix.dll") p .r7'
        FileWrite $9 "Kestrix loaded after FreeLibrary: $7$\r$\n"
    ${Else}
        FileWrite $9 "Kestrix.dll could not be loaded$\r$\n"
    ${EndIf}
    ; installers.md quotes up to here

    ; What the installer wrote itself goes too, also when Torvane.exe could not run.
    DeleteRegKey HKLM "${PRODUCT_KEY}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegValue HKCU "${USER_KEY}" "Installed"
    DeleteRegKey /ifempty HKCU "${USER_KEY}"

    !insertmacro DeleteProductFiles
    RMDir "$INSTDIR"
    StrCpy $3 "removed"
    IfFileExists "$INSTDIR\*.*" 0 +2
        StrCpy $3 "left"
    FileWrite $9 "Program folder: $3$\r$\n"
    FileClose $9
SectionEnd
