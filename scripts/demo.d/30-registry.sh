# SET_SAVE_FOLDER, DELETE_LOCAL_MACHINE_PRODUCTKEY, DELETE_ALLUSER_PRODUCTKEY and Deleteuserini
# on Wine's real registry and file system, each shown before and after.
# Torvane is a 32-bit program: in this 64-bit prefix its HKLM\SOFTWARE\X is
# HKLM\SOFTWARE\Wow6432Node\X in the 64-bit view, so its keys are made and shown with /reg:32.

# show_key KEY [reg options]: the key with everything below it, or "(no such key)".
show_key() {
    shown=$(wine reg query "$@" /s 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/    /')
    if [ -n "$shown" ]; then printf '%s\n' "$shown"; else echo "    (no such key: $1)"; fi
}

vendor='HKLM\SOFTWARE\DemoVendor'
product="$vendor\\DemoScan"
wine reg delete "$vendor" /f /reg:32 >/dev/null 2>&1 || true

echo "== SET_SAVE_FOLDER: the scan destinations' default folders"
wine reg add "$product" /v "Varnel Name" /d "Demo Scan" /f /reg:32 >/dev/null
for destination in BCR OCR PDF; do
    wine reg add "$product\\Demo Scan\\$destination\\Default\\Folder" /f /reg:32 >/dev/null
done
wine reg add "$product\\Demo Scan\\PDF\\Default\\Folder" /v 1 /d 'D:\Old scans\' /f /reg:32 >/dev/null
wine reg add "$product\\Demo Scan\\PDF\\Default\\Folder" /v 2 /d 'kept' /f /reg:32 >/dev/null
echo "before (three of the eight destinations exist; PDF has an old folder):"
show_key "$product\\Demo Scan" /reg:32
torvane SET_SAVE_FOLDER 'SOFTWARE\DemoVendor\DemoScan'
echo "after (each existing destination's value 1 is the shared documents folder):"
show_key "$product\\Demo Scan" /reg:32
echo "the same key from the 64-bit view, below Wow6432Node:"
show_key 'HKLM\SOFTWARE\Wow6432Node\DemoVendor\DemoScan\Demo Scan\BCR' /reg:64

echo
echo "== DELETE_LOCAL_MACHINE_PRODUCTKEY: the product key with its subtree"
wine reg add "$product\\Settings\\Scanner" /v Model /d "DS-100" /f /reg:32 >/dev/null
wine reg add "$vendor\\OtherProduct" /v Keep /d yes /f /reg:32 >/dev/null
echo "before:"
show_key "$vendor" /reg:32
torvane DELETE_LOCAL_MACHINE_PRODUCTKEY 'SOFTWARE\DemoVendor\DemoScan'
echo "after (the parent and its other product stay):"
show_key "$vendor" /reg:32
wine reg delete "$vendor" /f /reg:32 >/dev/null 2>&1 || true

echo
echo "== DELETE_ALLUSER_PRODUCTKEY: the key in every listed user's loaded hive"
profiles='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
sid=$(wine reg query "$profiles" 2>/dev/null | tr -d '\r' | sed -n 's/.*ProfileList\\\(S-[-0-9]*\)$/\1/p' | head -n 1)
echo "profile list: $sid"
wine reg add "HKU\\$sid\\Software\\DemoVendor\\DemoScan\\Recent" /v File1 /d 'scan1.pdf' /f >/dev/null
wine reg add "HKU\\$sid\\Software\\DemoVendor\\Viewer" /v Zoom /t REG_DWORD /d 100 /f >/dev/null
echo "before:"
show_key "HKU\\$sid\\Software\\DemoVendor"
torvane DELETE_ALLUSER_PRODUCTKEY 'Software\DemoVendor\DemoScan'
echo "after:"
show_key "HKU\\$sid\\Software\\DemoVendor"
wine reg delete "HKU\\$sid\\Software\\DemoVendor" /f >/dev/null 2>&1 || true

echo
echo "== Deleteuserini: the user's settings file, then its folder"
shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
appdata=$(wine reg query "$shell_folders" /v APPDATA 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
appdata_unix=$(winepath -u "$appdata" 2>/dev/null)
mkdir -p "$appdata_unix/DemoVendor/DemoScan" "$appdata_unix/DemoVendor/Viewer"
printf '[Scan]\r\nResolution=300\r\n' >"$appdata_unix/DemoVendor/DemoScan/DemoScan.ini"
printf '[View]\r\nZoom=100\r\n' >"$appdata_unix/DemoVendor/Viewer/Viewer.ini"
printf 'notes\r\n' >"$appdata_unix/DemoVendor/Viewer/notes.txt"
printf 'application-data folder: %s\n' "$appdata"
echo "before:"
(cd "$appdata_unix" && find DemoVendor | sort | sed 's/^/    /')
torvane Deleteuserini 'DemoVendor\DemoScan'
torvane Deleteuserini 'DemoVendor\Viewer'
echo "after (DemoScan held only its file and is gone; Viewer keeps notes.txt):"
(cd "$appdata_unix" && find DemoVendor | sort | sed 's/^/    /')
echo "an argument that would reach outside the application-data folder deletes nothing:"
mkdir -p "$appdata_unix/../DemoVendor"
printf 'x\r\n' >"$appdata_unix/../DemoVendor/DemoVendor.ini"
torvane Deleteuserini '..\DemoVendor'
(cd "$appdata_unix/.." && find DemoVendor | sort | sed 's/^/    /')
rm -rf "$appdata_unix/DemoVendor" "$appdata_unix/../DemoVendor"
