; An Inno Setup 6 installer as a client of Torvane.exe and Kestrix.dll: it installs them with
; the driver tools into a program folder, runs the setup commands from there and reads a value
; through Kestrix; its uninstaller undoes the work. Compile with ISCC.exe from a folder holding
; the built files and the sample setup files:
;
;   ISCC.exe /DBinDir=<folder with the built files> /DSampleDir=<samples\setup>
;            /DVersion=<x.y.z> ScannerSetup.iss
;
; An installation over an earlier one (an upgrade) replaces its files and runs the setup commands
; again. An upgrade whose setup command fails puts the earlier version's files and its entry in
; the list of installed programs back and leaves its driver package and keys as they were; only
; a first installation that fails is undone by the uninstaller. An older version than the one
; installed is refused. Inno Setup 6 needs Windows 7 SP1 or later, whatever the product runs on.
;
; Setup and its uninstaller are 32-bit programs (Inno Setup 6 has no other kind), so the 32-bit
; Kestrix.dll loads into them. There is no ArchitecturesInstallIn64BitMode: Setup works in 32-bit
; install mode, {autopf} is the 32-bit Program Files folder and the registry entries below name
; the 32-bit view, the one Torvane.exe (a 32-bit program) works in.

#ifndef BinDir
  #define BinDir "."
#endif
#ifndef SampleDir
  #define SampleDir "."
#endif
#ifndef Version
  #error Define Version: ISCC /DVersion=x.y.z
#endif
#define ProductKey "SOFTWARE\ScannerSetupSample"
#define UserKey "Software\ScannerSetupSample"

[Setup]
AppId={{3D2E24CE-983C-4996-B5CB-1360D87A233B}
AppName=Scanner Setup Sample
AppVersion={#Version}
VersionInfoVersion={#Version}
DefaultDirName={autopf}\Scanner Setup Sample
DisableProgramGroupPage=yes
PrivilegesRequired=admin
SetupLogging=yes
UninstallLogging=yes
OutputBaseFilename=ScannerSetup

[Files]
; Kestrix.dll twice: extracted to Setup's temporary folder for the calls during installation
; (the files: prefix below), and installed for the uninstaller. ignoreversion: these files are
; the product's own, and an installation over an earlier one replaces them whatever their
; version numbers say.
Source: "{#BinDir}\Kestrix.dll"; Flags: dontcopy
Source: "{#BinDir}\Kestrix.dll"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#BinDir}\Torvane.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#BinDir}\DPInst.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#BinDir}\DPInst64.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#BinDir}\devcon.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#BinDir}\devcon64.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#BinDir}\Pellux.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#BinDir}\Ulmora.dll"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#SampleDir}\scanner.inf"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#SampleDir}\Setup.reg"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#SampleDir}\ScanAdvance.ini"; DestDir: "{app}"; Flags: ignoreversion

[Registry]
; The product's settings key: the product name and the scan destinations' folder keys, which
; SET_SAVE_FOLDER fills in. HKLM32 is the 32-bit view, where Torvane.exe looks; a plain HKLM in
; 64-bit install mode would be the 64-bit view, where SET_SAVE_FOLDER finds nothing and
; DELETE_LOCAL_MACHINE_PRODUCTKEY deletes nothing. ValueType none creates a key and no value, so
; that installing again leaves the folders SET_SAVE_FOLDER set.
; Setup.reg, once TRANSLATEPATH has rewritten it, is no script for a registry editor (no header
; line, the folder as raw text: docs/regscript.md): a value that must hold the Windows folder in
; the registry is written here, with Inno Setup's own constant, e.g.
;   Root: HKLM32; Subkey: "{#ProductKey}"; ValueType: string; ValueName: "Driver"; ValueData: "{win}\System32\x.dll"
Root: HKLM32; Subkey: "{#ProductKey}"; ValueType: string; ValueName: "Varnel Name"; ValueData: "Scanner"; Flags: uninsdeletekey
Root: HKLM32; Subkey: "{#ProductKey}\Scanner\BCR\Default\Folder"; ValueType: none
Root: HKLM32; Subkey: "{#ProductKey}\Scanner\PDF\Default\Folder"; ValueType: none

[UninstallDelete]
; REGISTER writes its entry for the driver package installer into this file beside the tools.
Type: files; Name: "{app}\Pellux.ini"

; installers.md quotes from here
[Code]
// Kestrix's exports are stdcall and take narrow text: AnsiString. During installation the DLL
// comes from Setup's temporary folder (files:), during uninstallation from the program folder;
// {app} may be named only in the uninstall-only declaration, because Setup resolves the
// setup-only one when it starts, before the program folder is chosen. delayload: the
// uninstaller starts without the DLL, and the call itself fails when it is missing.
function RegGetKeyValueEx(RootName, KeyPath, ValueName: AnsiString; Output: AnsiString;
  ViewFlag: AnsiString): Integer;
  external 'RegGetKeyValueEx@files:Kestrix.dll stdcall setuponly';
function RegDelKeyEX(Root: Cardinal; KeyPath, ViewFlag: AnsiString): Integer;
  external 'RegDelKeyEX@{app}\Kestrix.dll stdcall uninstallonly delayload';

const
  HKEY_LOCAL_MACHINE_ROOT = $80000002;
  UninstallKey = 'Software\Microsoft\Windows\CurrentVersion\Uninstall\{3D2E24CE-983C-4996-B5CB-1360D87A233B}_is1';
  // The longest name the setup commands append to the program folder ('\ScanAdvance.ini'):
  // Torvane's paths hold at most 259 characters.
  LongestFileName = 16;
  // The files an upgrade replaces, copied aside first to be put back should it fail.
  ProductFileCount = 12;

var
  SetupFailed: Boolean;
  // The version of an earlier installation ('' when there is none), and where its files were
  // copied aside.
  EarlierVersion: String;
  EarlierCopy: String;

function ProductFile(Index: Integer): String;
begin
  case Index of
    0: Result := 'Torvane.exe';        1: Result := 'Kestrix.dll';
    2: Result := 'DPInst.exe';         3: Result := 'DPInst64.exe';
    4: Result := 'devcon.exe';         5: Result := 'devcon64.exe';
    6: Result := 'Pellux.exe';         7: Result := 'Pellux.ini';
    8: Result := 'Ulmora.dll';         9: Result := 'scanner.inf';
    10: Result := 'Setup.reg';         11: Result := 'ScanAdvance.ini';
  end;
end;

// -1, 0 or 1 as version A (x.y.z) is older than, the same as or newer than B.
function CompareVersions(A, B: String): Integer;
var
  PartA, PartB, DotA, DotB: Integer;
begin
  Result := 0;
  while (Result = 0) and ((A <> '') or (B <> '')) do
  begin
    DotA := Pos('.', A + '.');
    DotB := Pos('.', B + '.');
    PartA := StrToIntDef(Copy(A, 1, DotA - 1), 0);
    PartB := StrToIntDef(Copy(B, 1, DotB - 1), 0);
    Delete(A, 1, DotA);
    Delete(B, 1, DotB);
    if PartA < PartB then
      Result := -1
    else if PartA > PartB then
      Result := 1;
  end;
end;

// An older version than the one installed is refused: it would replace Torvane and Kestrix
// with older files and run REGISTER again. Setup then ends with exit status 1.
function InitializeSetup: Boolean;
begin
  Result := True;
  if RegQueryStringValue(HKLM32, UninstallKey, 'DisplayVersion', EarlierVersion) and
     (CompareVersions(EarlierVersion, '{#Version}') > 0) then
  begin
    SuppressibleMsgBox('Version ' + EarlierVersion + ' of Scanner Setup Sample is installed, ' +
                       'newer than this one ({#Version}); it is left as it is.', mbCriticalError,
                       MB_OK, IDOK);
    Result := False;
  end;
end;

// Torvane works with ANSI paths of at most 259 characters: the program folder must be text of
// the ANSI code page (a String that changes on its way through an AnsiString is not), short
// enough for the longest file name the commands append. Checked before anything is installed;
// a non-empty result stops Setup with exit status 7.
function PrepareToInstall(var NeedsRestart: Boolean): String;
var
  Folder: String;
begin
  Folder := ExpandConstant('{app}');
  if (String(AnsiString(Folder)) <> Folder) or (Length(Folder) + LongestFileName > 259) then
    Result := 'The program folder must be a path of the system''s code page with at most 243 ' +
              'characters: ' + Folder
  else
    Result := '';
end;

// Copies the product's files between the program folder and the copy of an earlier
// installation's files: aside before an upgrade replaces them, back when it fails.
procedure CopyProductFiles(FromFolder, ToFolder: String);
var
  Index: Integer;
begin
  for Index := 0 to ProductFileCount - 1 do
    if FileExists(FromFolder + '\' + ProductFile(Index)) then
      FileCopy(FromFolder + '\' + ProductFile(Index), ToFolder + '\' + ProductFile(Index), False);
end;

// Runs one Torvane command from the program folder, waits for it and logs its exit status.
// False when Torvane.exe could not be started or exited with anything but 0 (-1: a file it
// had to rewrite could not be opened or written).
function RunTorvane(Params: String): Boolean;
var
  ResultCode: Integer;
begin
  Result := Exec(ExpandConstant('{app}\Torvane.exe'), Params, ExpandConstant('{app}'), SW_HIDE,
                 ewWaitUntilTerminated, ResultCode);
  if Result then
    Log('Torvane.exe ' + Params + ': ' + IntToStr(ResultCode))
  else
    Log('Torvane.exe ' + Params + ' could not be started: ' + SysErrorMessage(ResultCode));
  Result := Result and (ResultCode = 0);
end;

// Setup installs [Files] before [Registry], and it does not stop for an exception raised in an
// entry's AfterInstall (it shows it and goes on), so the setup commands run once the
// installation is complete: after the files and the keys SET_SAVE_FOLDER fills in are in place.
// A failed command ends Setup with exit status 1603. A first installation is undone with the
// uninstaller, which also removes the driver package REGISTER installed. An upgrade puts the
// earlier version's files back and names that version again in the list of installed programs;
// its driver package and keys stay: the uninstaller would remove the product the user had.
procedure CurStepChanged(CurStep: TSetupStep);
var
  Succeeded: Boolean;
  Folder: AnsiString;
  ResultCode: Integer;
begin
  if (CurStep = ssInstall) and (EarlierVersion <> '') then
  begin
    EarlierCopy := ExpandConstant('{tmp}\earlier');
    CreateDir(EarlierCopy);
    CopyProductFiles(ExpandConstant('{app}'), EarlierCopy);
  end;
  if CurStep <> ssPostInstall then
    exit;
  Succeeded := RunTorvane('REGISTER scanner.inf /Q');
  if Succeeded then
    Succeeded := RunTorvane('TRANSLATEPATH Setup.reg');
  if Succeeded then
    Succeeded := RunTorvane('TRANSLATESCANADVANCE ScanAdvance.ini');
  if Succeeded then
    Succeeded := RunTorvane('SET_SAVE_FOLDER {#ProductKey}');
  if not Succeeded then
  begin
    SetupFailed := True;
    if EarlierVersion <> '' then
    begin
      CopyProductFiles(EarlierCopy, ExpandConstant('{app}'));
      RegWriteStringValue(HKLM32, UninstallKey, 'DisplayVersion', EarlierVersion);
      Log('Upgrade failed: version ' + EarlierVersion + ' put back');
      SuppressibleMsgBox('A setup command failed; version ' + EarlierVersion + ' was put back.',
                         mbCriticalError, MB_OK, IDOK);
      exit;
    end;
    Exec(ExpandConstant('{uninstallexe}'), '/VERYSILENT /SUPPRESSMSGBOXES /NORESTART', '',
         SW_HIDE, ewWaitUntilTerminated, ResultCode);
    Log('Installation undone, uninstaller exit status ' + IntToStr(ResultCode));
    SuppressibleMsgBox('A setup command failed; the installation was undone.', mbCriticalError,
                       MB_OK, IDOK);
    exit;
  end;
  // The value SET_SAVE_FOLDER wrote, read back through Kestrix (it needs a 260-byte buffer).
  Folder := StringOfChar(#0, 260);
  if RegGetKeyValueEx('HKEY_LOCAL_MACHINE', '{#ProductKey}\Scanner\PDF\Default\Folder', '1',
                      Folder, '') = 1 then
    Log('PDF folder: ' + Copy(Folder, 1, Pos(#0, Folder) - 1));
end;

function GetCustomSetupExitCode: Integer;
begin
  Result := 0;
  if SetupFailed then
    Result := 1603;
end;

// Removal never depends on Torvane.exe or Kestrix.dll: a command that cannot run is logged and
// the removal goes on; the product key goes with its [Registry] entry (uninsdeletekey) even
// when DELETE_LOCAL_MACHINE_PRODUCTKEY could not run.
procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
begin
  if CurUninstallStep = usUninstall then
  begin
    RunTorvane('UNREGISTER scanner.inf STOPWIA');
    RunTorvane('DELETE_LOCAL_MACHINE_PRODUCTKEY {#ProductKey}');
    RunTorvane('DELETE_ALLUSER_PRODUCTKEY {#UserKey}');
    RunTorvane('Deleteuserini ScannerSetupSample\Scan');
    try
      Log('RegDelKeyEX: ' +
          IntToStr(RegDelKeyEX(HKEY_LOCAL_MACHINE_ROOT, '{#ProductKey}Cache', '')));
    except
      Log('Kestrix.dll could not be used: ' + GetExceptionMessage);
    end;
    // Windows refuses to delete a loaded DLL: free Kestrix before the files are deleted.
    UnloadDLL(ExpandConstant('{app}\Kestrix.dll'));
  end;
end;
// installers.md quotes up to here
