; An Inno Setup 6 installer as a client of Torvane.exe and Kestrix.dll: it installs them with
; the driver tools into a program folder, runs the setup commands from there and reads a value
; through Kestrix; its uninstaller undoes the work. Compile with ISCC.exe from a folder holding
; the built files and the sample setup files:
;
;   ISCC.exe /DBinDir=<folder with the built files> /DSampleDir=<samples\setup> ScannerSetup.iss
;
; Setup and its uninstaller are 32-bit programs here (no ArchitecturesInstallIn64BitMode), so
; the 32-bit Kestrix.dll loads into them, and {autopf} is the 32-bit Program Files folder.

#ifndef BinDir
  #define BinDir "."
#endif
#ifndef SampleDir
  #define SampleDir "."
#endif
#define ProductKey "SOFTWARE\ScannerSetupSample"
#define UserKey "Software\ScannerSetupSample"

[Setup]
AppId={{3D2E24CE-983C-4996-B5CB-1360D87A233B}
AppName=Scanner Setup Sample
AppVersion=1.0.0
DefaultDirName={autopf}\Scanner Setup Sample
DisableProgramGroupPage=yes
PrivilegesRequired=admin
SetupLogging=yes
OutputBaseFilename=ScannerSetup

[Files]
; Kestrix.dll twice: extracted to Setup's temporary folder for the calls during installation
; (the files: prefix below), and installed for the uninstaller.
Source: "{#BinDir}\Kestrix.dll"; Flags: dontcopy
Source: "{#BinDir}\Kestrix.dll"; DestDir: "{app}"
Source: "{#BinDir}\DPInst.exe"; DestDir: "{app}"
Source: "{#BinDir}\DPInst64.exe"; DestDir: "{app}"
Source: "{#BinDir}\devcon.exe"; DestDir: "{app}"
Source: "{#BinDir}\devcon64.exe"; DestDir: "{app}"
Source: "{#BinDir}\Pellux.exe"; DestDir: "{app}"
Source: "{#BinDir}\Ulmora.dll"; DestDir: "{app}"
Source: "{#SampleDir}\scanner.inf"; DestDir: "{app}"
Source: "{#SampleDir}\Setup.reg"; DestDir: "{app}"
Source: "{#SampleDir}\ScanAdvance.ini"; DestDir: "{app}"
; Torvane.exe last: its AfterInstall runs the setup commands once everything beside it is in
; place, while Setup is still installing, so that a failure stops and undoes the installation.
Source: "{#BinDir}\Torvane.exe"; DestDir: "{app}"; AfterInstall: RunSetupCommands

[Registry]
; The product's settings key: the product name and the scan destinations' folder keys, which
; SET_SAVE_FOLDER fills in.
Root: HKLM32; Subkey: "{#ProductKey}"; ValueType: string; ValueName: "Varnel Name"; ValueData: "Scanner"; Flags: uninsdeletekey
Root: HKLM32; Subkey: "{#ProductKey}\Scanner\BCR\Default\Folder"; ValueType: string; ValueName: "1"; ValueData: ""
Root: HKLM32; Subkey: "{#ProductKey}\Scanner\PDF\Default\Folder"; ValueType: string; ValueName: "1"; ValueData: ""

[UninstallRun]
; Before the uninstaller deletes the files; these commands always exit with 0.
Filename: "{app}\Torvane.exe"; Parameters: "UNREGISTER scanner.inf STOPWIA"; Flags: runhidden waituntilterminated; RunOnceId: "TorvaneUnregister"
Filename: "{app}\Torvane.exe"; Parameters: "DELETE_LOCAL_MACHINE_PRODUCTKEY {#ProductKey}"; Flags: runhidden waituntilterminated; RunOnceId: "TorvaneDeleteMachineKey"
Filename: "{app}\Torvane.exe"; Parameters: "DELETE_ALLUSER_PRODUCTKEY {#UserKey}"; Flags: runhidden waituntilterminated; RunOnceId: "TorvaneDeleteUserKeys"
Filename: "{app}\Torvane.exe"; Parameters: "Deleteuserini ScannerSetupSample\Scan"; Flags: runhidden waituntilterminated; RunOnceId: "TorvaneDeleteUserIni"

[UninstallDelete]
; REGISTER writes its entry for the driver package installer into this file beside the tools.
Type: files; Name: "{app}\Pellux.ini"

; installers.md quotes from here
[Code]
// Kestrix's exports are stdcall and take narrow text: AnsiString. During installation the DLL
// comes from Setup's temporary folder (files:), during uninstallation from the program folder;
// {app} may be named only in the uninstall-only declaration, because Setup resolves the
// setup-only one when it starts, before the program folder is chosen.
function RegGetKeyValueEx(RootName, KeyPath, ValueName: AnsiString; Output: AnsiString;
  ViewFlag: AnsiString): Integer;
  external 'RegGetKeyValueEx@files:Kestrix.dll stdcall setuponly';
function RegDelKeyEX(Root: Cardinal; KeyPath, ViewFlag: AnsiString): Integer;
  external 'RegDelKeyEX@{app}\Kestrix.dll stdcall uninstallonly';

const
  HKEY_LOCAL_MACHINE_ROOT = $80000002;

// Runs one Torvane command from the program folder and waits for it. Torvane exits with -1
// only on a real failure (a file it must rewrite cannot be opened or written): the exception
// stops Setup, which then undoes the installation.
procedure Torvane(Params: String);
var
  ResultCode: Integer;
begin
  if not Exec(ExpandConstant('{app}\Torvane.exe'), Params, ExpandConstant('{app}'), SW_HIDE,
              ewWaitUntilTerminated, ResultCode) then
    RaiseException('Torvane.exe ' + Params + ' could not be started: ' +
                   SysErrorMessage(ResultCode));
  Log('Torvane.exe ' + Params + ': ' + IntToStr(ResultCode));
  if ResultCode <> 0 then
    RaiseException('Torvane.exe ' + Params + ' failed with exit status ' + IntToStr(ResultCode));
end;

procedure RunSetupCommands;
var
  Folder: AnsiString;
begin
  Torvane('REGISTER scanner.inf /Q');
  Torvane('TRANSLATEPATH Setup.reg');
  Torvane('TRANSLATESCANADVANCE ScanAdvance.ini');
  Torvane('SET_SAVE_FOLDER {#ProductKey}');
  // The value SET_SAVE_FOLDER wrote, read back through Kestrix (it needs a 260-byte buffer).
  Folder := StringOfChar(#0, 260);
  if RegGetKeyValueEx('HKEY_LOCAL_MACHINE', '{#ProductKey}\Scanner\PDF\Default\Folder', '1',
                      Folder, '') = 1 then
    Log('PDF folder: ' + Copy(Folder, 1, Pos(#0, Folder) - 1));
end;

procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
begin
  if CurUninstallStep = usUninstall then
  begin
    Log('RegDelKeyEX: ' +
        IntToStr(RegDelKeyEX(HKEY_LOCAL_MACHINE_ROOT, '{#ProductKey}Cache', '')));
    // Windows refuses to delete a loaded DLL: free Kestrix before the files are deleted.
    UnloadDLL(ExpandConstant('{app}\Kestrix.dll'));
  end;
end;
// installers.md quotes up to here
