; A product installer as the first client of Torvane.exe and Kestrix.dll: it installs them with
; the driver tools into a program folder, runs the setup commands the way a product installer
; does, and reads a value through Kestrix. Its uninstaller undoes the work.
;
; makensis -DBIN_DIR=<folder with the built files> -DSAMPLE_DIR=<samples/setup>
;          -DOUT_FILE=<installer.exe> [-DUNICODE] ScannerSetup.nsi
; Run silently: ScannerSetup.exe /S [/D=<program folder>]
;
; Torvane and Kestrix take narrow (ANSI) text. The installer itself may be either kind: the
; System plugin's string type "m" passes narrow text to Kestrix from both, and ExecWait
; starts Torvane with the command line converted as Windows does for any program.
!ifdef UNICODE
Unicode true
!else
Unicode false
!endif
Name "Scanner setup sample"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\Scanner Setup Sample"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define PRODUCT_KEY "SOFTWARE\ScannerSetupSample"
!define PRODUCT_NAME "Scanner"
!define USER_KEY "Software\ScannerSetupSample"

; Runs Torvane.exe from the program folder and records its exit status in the installer's log
; file, so that whoever runs the installer silently can see what each command gave.
!macro Torvane ARGS
    ExecWait '"$INSTDIR\Torvane.exe" ${ARGS}' $0
    FileWrite $9 "Torvane ${ARGS}: $0$\r$\n"
!macroend

Section "Install"
    SetOutPath "$INSTDIR"
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
    FileOpen $9 "$INSTDIR\install.log" w

    ; The product's settings key: the product name and the scan destinations' folder keys.
    WriteRegStr HKLM "${PRODUCT_KEY}" "Varnel Name" "${PRODUCT_NAME}"
    WriteRegStr HKLM "${PRODUCT_KEY}\${PRODUCT_NAME}\BCR\Default\Folder" "1" ""
    WriteRegStr HKLM "${PRODUCT_KEY}\${PRODUCT_NAME}\PDF\Default\Folder" "1" ""
    WriteRegStr HKCU "${USER_KEY}" "Installed" "1"

    !insertmacro Torvane "REGISTER scanner.inf /Q"
    !insertmacro Torvane "TRANSLATEPATH Setup.reg"
    !insertmacro Torvane "TRANSLATESCANADVANCE ScanAdvance.ini"
    !insertmacro Torvane "SET_SAVE_FOLDER ${PRODUCT_KEY}"

    ; Read back one save folder through Kestrix (the plugin's output buffer holds 1024
    ; characters; Kestrix needs 260 bytes). The library is loaded from the program folder by
    ; its full path first, so that the calls by name below reach that copy and no other, and
    ; freed afterwards.
    System::Call 'kernel32::LoadLibraryA(m "$INSTDIR\Kestrix.dll") p .r8'
    System::Call 'Kestrix::RegGetKeyValueEx(m "HKEY_LOCAL_MACHINE", m "${PRODUCT_KEY}\${PRODUCT_NAME}\PDF\Default\Folder", m "1", m .r1, m "") i .r2'
    System::Call 'kernel32::FreeLibrary(p r8)'
    FileWrite $9 "RegGetKeyValueEx: $2 $1$\r$\n"
    FileClose $9
    WriteUninstaller "$INSTDIR\Uninstall.exe"
SectionEnd

Section "Uninstall"
    ; The log goes to the temporary folder: the program folder is removed whole.
    FileOpen $9 "$TEMP\ScannerSetupSample-uninstall.log" w
    !insertmacro Torvane "UNREGISTER scanner.inf STOPWIA"
    !insertmacro Torvane "DELETE_LOCAL_MACHINE_PRODUCTKEY ${PRODUCT_KEY}"
    !insertmacro Torvane "DELETE_ALLUSER_PRODUCTKEY ${USER_KEY}"
    !insertmacro Torvane "Deleteuserini ScannerSetupSample\Scan"

    ; installers.md quotes from here
    ; Windows refuses to delete a loaded DLL: Kestrix is freed before it is deleted. The System
    ; plugin finds the loaded copy by name and does not load it again, so one FreeLibrary
    ; balances the one LoadLibraryA.
    System::Call 'kernel32::LoadLibraryA(m "$INSTDIR\Kestrix.dll") p .r8'
    System::Call 'Kestrix::RegDelKeyEX(p 0x80000002, m "${PRODUCT_KEY}Cache", m "") i .r2'
    FileWrite $9 "RegDelKeyEX: $2$\r$\n"
    System::Call 'kernel32::FreeLibrary(p r8)'
    System::Call 'kernel32::GetModuleHandleA(m "$INSTDIR\Kestrix.dll") p .r7'
    FileWrite $9 "Kestrix loaded after FreeLibrary: $7$\r$\n"
    ; installers.md quotes up to here

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
    RMDir "$INSTDIR"
    StrCpy $3 "removed"
    IfFileExists "$INSTDIR\*.*" 0 +2
        StrCpy $3 "left"
    FileWrite $9 "Program folder: $3$\r$\n"
    FileClose $9
SectionEnd
