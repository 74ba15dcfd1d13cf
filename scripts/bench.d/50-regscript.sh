# TRANSLATEPATH on registry scripts of about 5, 10 and 20 MB (5,000 sibling keys under one
# parent and 20,000 values in one key at 20 MB, scaled with the size), as 8-bit text and as
# UTF-16LE, against a floor: bench_floor.exe, a GUI-subsystem program built and started as
# Torvane.exe is, that reads the file whole, replaces the placeholders and writes it back
# through a new file. Times are the best of three runs, process start under Wine included.
rs_dir="$work/regscript"
rs_dir_dos="Z:$(printf '%s' "$rs_dir" | tr / '\\')"
mkdir -p "$rs_dir"
cp "$build/bin/Torvane.exe" "$build/bin/bench_floor.exe" "$rs_dir/"

# awk -v scale=S: the script. Each sibling key holds a "[WINDIR]" path and a 1 KB hex value
# continued over 41 lines; three values in four of the big key are short continued hex
# values, the fourth a "[WINDIR]" path.
rs_generate() {
    awk -v scale="$1" 'BEGIN {
        nKeys = int(5000 * scale); nValues = int(20000 * scale)
        hex = ""; for (i = 0; i < 25; i++) hex = hex sprintf("%02x,", (i * 37) % 256)
        printf "REGEDIT4\r\n"
        for (k = 1; k <= nKeys; k++) {
            printf "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Siblings\\Key%06d]\r\n", k
            printf "\"Path\"=\"[WINDIR]\\\\System32\\\\bench%d.dll\"\r\n\"Data\"=hex:", k
            for (l = 0; l < 41; l++) printf "%s\\\r\n  ", hex
            printf "00\r\n"
        }
        printf "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Values]\r\n"
        for (v = 1; v <= nValues; v++) {
            if (v % 4 == 0) printf "\"Value%06d\"=\"[WINDIR]\\\\Temp\\\\value%d.dat\"\r\n", v, v
            else printf "\"Value%06d\"=hex:%s\\\r\n  %s%s\\\r\n  00\r\n", v, hex, hex, hex
        }
    }'
}

rs_now() { date +%s%N; }

# rs_best CMD...: the shortest of three runs of CMD, in milliseconds (CMD runs after "prepare"
# has been called, which is not timed).
rs_best() {
    best=
    for run in 1 2 3; do
        rs_prepare
        t0=$(rs_now)
        "$@" >/dev/null 2>&1
        t1=$(rs_now)
        t=$(( (t1 - t0) / 1000000 ))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}

rs_prepare() { cp "$rs_dir/source.reg" "$rs_dir/bench.reg"; }
rs_torvane() { wine "$rs_dir_dos\\Torvane.exe" TRANSLATEPATH bench.reg; }
rs_floor() { wine "$rs_dir_dos\\bench_floor.exe" bench.reg; }
rs_start() { wine "$rs_dir_dos\\Torvane.exe" HELP; }

printf '%8s %7s %10s %10s %7s %9s %9s\n' size form Torvane floor ratio load write
for scale in 0.25 0.5 1; do
    rs_generate "$scale" >"$rs_dir/ansi.reg"
    { printf '\377\376'; iconv -f ASCII -t UTF-16LE "$rs_dir/ansi.reg"; } >"$rs_dir/utf16.reg"
    for form in ansi utf16; do
        cp "$rs_dir/$form.reg" "$rs_dir/source.reg"
        t_torvane=$(rs_best rs_torvane)
        t_floor=$(rs_best rs_floor)
        [ "$t_floor" -gt 0 ] || t_floor=1
        # The same rewrite inside one process: reading with the tree built, and writing back.
        rs_prepare
        inproc=$(wine "$bin_dos\\bench_regscript.exe" "$rs_dir_dos\\bench.reg" 2>/dev/null | tr -d '\r')
        t_load=$(printf '%s\n' "$inproc" | sed -n 's/^load \([0-9]*\) ms.*/\1/p')
        t_write=$(printf '%s\n' "$inproc" | sed -n 's/^write \([0-9]*\) ms.*/\1/p')
        printf '%5s MB %7s %7s ms %7s ms %6sx %6s ms %6s ms\n' \
            "$(awk -v b="$(wc -c <"$rs_dir/ansi.reg")" 'BEGIN { printf "%.1f", b / 1048576 }')" \
            "$form" "$t_torvane" "$t_floor" \
            "$(awk -v a="$t_torvane" -v b="$t_floor" 'BEGIN { printf "%.2f", a / b }')" \
            "$t_load" "$t_write"
    done
done
rs_prepare() { :; }
echo "Starting Torvane.exe under Wine to do nothing (HELP) takes $(rs_best rs_start) ms of each run."
rm -f "$rs_dir"/*.reg "$rs_dir"/~trv*.tmp "$rs_dir"/*.floor.tmp
