; A product installer as the first client of Torvane.exe and Kestrix.dll: it installs them with
; the driver tools into a program folder, runs the setup commands the way a product installer
; does, and reads a value through Kestrix. Its uninstaller undoes the work.
;
; makensis -DBIN_DIR=<folder with the built files> -DSAMPLE_DIR=<samples/setup>
;          -DOUT_FILE=<installer.exe> ScannerSetup.nsi
; Run silently: ScannerSetup.exe /S [/D=<program folder>]

Unicode false ; Torvane and Kestrix take narrow (ANSI) text
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

    ; Read back one save folder through Kestrix (a 1024-byte buffer; Kestrix needs 260). The
    ; library is loaded from the program folder by its full path first, so that the calls by
    ; name below reach that copy and no other.
    System::Call 'kernel32::LoadLibraryA(t "$INSTDIR\Kestrix.dll") p .r8'
    System::Call 'Kestrix::RegGetKeyValueEx(t "HKEY_LOCAL_MACHINE", t "${PRODUCT_KEY}\${PRODUCT_NAME}\PDF\Default\Folder", t "1", t .r1, t "") i .r2'
    FileWrite $9 "RegGetKeyValueEx: $2 $1$\r$\n"
    FileClose $9
    WriteUninstaller "$INSTDIR\Uninstall.exe"
SectionEnd

Section "Uninstall"
    FileOpen $9 "$INSTDIR\uninstall.log" w
    !insertmacro Torvane "UNREGISTER scanner.inf STOPWIA"
    !insertmacro Torvane "DELETE_LOCAL_MACHINE_PRODUCTKEY ${PRODUCT_KEY}"
    !insertmacro Torvane "DELETE_ALLUSER_PRODUCTKEY ${USER_KEY}"
    !insertmacro Torvane "Deleteuserini ScannerSetupSample\Scan"
    System::Call 'kernel32::LoadLibraryA(t "$INSTDIR\Kestrix.dll") p .r8'
    System::Call 'Kestrix::RegDelKeyEX(p 0x80000002, t "${PRODUCT_KEY}Cache", t "") i .r2'
    FileWrite $9 "RegDelKeyEX: $2$\r$\n"
    FileClose $9
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
SectionEnd
