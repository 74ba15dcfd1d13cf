# TRANSLATEPATH on registry scripts of seven shapes (scripts/bench.d/regscript-shapes.awk) at
# 5, 20 and 80 MB of text, each as 8-bit text and as UTF-16LE (the same text, twice the bytes),
# side by side with a floor: bench_floor.exe, a GUI-subsystem program built and started as
# Torvane.exe is, that reads the file whole, replaces the placeholders and writes it back
# through a new file. Times are the best of three runs (RS_RUNS), process start under Wine
# included; "ms/MB" is the same rewrite inside one process (bench_regscript.exe: Load, then
# SaveAndClear), without the half second of process start that would swamp a small file's
# figure, per MB of the file; "peak" is Torvane's peak working set (its maximum resident size,
# read by /usr/bin/time when it ends), "MB/MB" that peak less the one of a run that does nothing
# (HELP), per MB of the file. RS_SHAPES and RS_SIZES choose fewer, e.g. RS_SHAPES=values
# RS_SIZES=20.
# "Torvane" is TorvaneLargeAddress.exe, the same program as the shipped Torvane.exe with the
# large-address flag (setup/CMakeLists.txt), run under the name Torvane.exe: under the emulation
# here a 32-bit process without the flag gets about 110 MB, too little for the 80 MB files. The
# floor and bench_regscript.exe are large-address aware as it is.
rs_dir="$work/regscript"
rs_dir_dos=$(wine_path "$rs_dir")
rs_runs=${RS_RUNS:-3}
mkdir -p "$rs_dir"
cp "$build/bin/TorvaneLargeAddress.exe" "$rs_dir/Torvane.exe"
cp "$build/bin/bench_floor.exe" "$build/bin/bench_regscript.exe" "$rs_dir/"

rs_now() { date +%s%N; }

# rs_time CMD...: runs the program CMD once and prints its milliseconds and its peak resident
# size in KB.
rs_time() {
    t0=$(rs_now)
    /usr/bin/time -f %M -o "$rs_dir/peak" "$@" >/dev/null 2>&1 || true
    t1=$(rs_now)
    echo "$(( (t1 - t0) / 1000000 )) $(tail -n 1 "$rs_dir/peak")"
}

# rs_min A B: the smaller number.
rs_min() { if [ -z "$1" ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }

# rs_row: the runs of one file (source.reg), Torvane, the floor, the rewrite in one process and
# a run that does nothing taking turns, so that a change in the machine's load touches all alike.
# Sets t_torvane, t_floor, t_work (the shortest of each), peak and idle (the largest peaks, KB).
rs_row() {
    t_torvane= t_floor= t_work= peak=0 idle=0
    for run in $(seq "$rs_runs"); do
        cp "$rs_dir/source.reg" "$rs_dir/bench.reg"
        work=$(wine "$rs_dir_dos\\bench_regscript.exe" "$rs_dir_dos\\bench.reg" 2>/dev/null |
            tr -d '\r' | awk '/^(load|write) / { ms += $2 } END { printf "%d", ms }')
        t_work=$(rs_min "$t_work" "$work")
        cp "$rs_dir/source.reg" "$rs_dir/bench.reg"
        set -- $(rs_time wine "$rs_dir_dos\\Torvane.exe" TRANSLATEPATH bench.reg)
        t_torvane=$(rs_min "$t_torvane" "$1")
        if [ "$2" -gt "$peak" ]; then peak=$2; fi
        cp "$rs_dir/source.reg" "$rs_dir/bench.reg"
        set -- $(rs_time wine "$rs_dir_dos\\bench_floor.exe" bench.reg)
        t_floor=$(rs_min "$t_floor" "$1")
        set -- $(rs_time wine "$rs_dir_dos\\Torvane.exe" HELP)
        if [ "$2" -gt "$idle" ]; then idle=$2; fi
    done
}

printf '%-9s %6s %5s %8s %8s %8s %6s %6s %6s %6s\n' \
    shape text form file Torvane floor ratio ms/MB peak MB/MB
: >"$rs_dir/rows"
for shape in ${RS_SHAPES:-export fanout deep values smallkeys case continued}; do
    for size in ${RS_SIZES:-5 20 80}; do
        awk -v shape="$shape" -v mb="$size" -f "$root/scripts/bench.d/regscript-shapes.awk" \
            >"$rs_dir/ansi.reg"
        { printf '\377\376'; iconv -f ASCII -t UTF-16LE "$rs_dir/ansi.reg"; } >"$rs_dir/utf16.reg"
        for form in ansi utf16; do
            cp "$rs_dir/$form.reg" "$rs_dir/source.reg"
            rs_row
            awk -v shape="$shape" -v size="$size" -v text="$(wc -c <"$rs_dir/ansi.reg")" \
                -v form="$form" -v file="$(wc -c <"$rs_dir/source.reg")" -v a="$t_torvane" \
                -v b="$t_floor" -v work="$t_work" -v peak="$peak" -v idle="$idle" 'BEGIN {
                    mb = file / 1048576
                    if (b < 1) b = 1
                    printf "%-9s %3.0f MB %5s %5.0f MB %5d ms %5d ms %5.2fx %6.1f %3d MB %6.2f\n",
                        shape, text / 1048576, form, mb, a, b, a / b, work / mb,
                        peak / 1024, (peak - idle) / 1024 / mb
                    printf "%s %s %s %.4f %.4f %.4f\n", shape, form, size, a / b,
                        work / mb, (peak - idle) / 1024 / mb >>"'"$rs_dir/rows"'" }'
        done
    done
done
# The goals, per shape and form: at most twice the floor at 20 MB; the time per MB at the
# largest size within 1.5 times that at the smallest; the memory per MB of the file.
echo
echo "MB/MB is net of the peak of a run that does nothing ($((idle / 1024)) MB)."
awk '{ key = $1 " " $2
       if (!(key in first)) { order[++n] = key; first[key] = $5 }
       last[key] = $5
       if ($3 == 20) at20[key] = $4
       if ($6 > mem[key]) mem[key] = $6 }
     END { for (i = 1; i <= n; i++) {
               k = order[i]
               r = "  -  "
               if (k in at20) r = sprintf("%.2fx", at20[k])
               g = 0
               if (first[k] > 0) g = last[k] / first[k]
               printf "%-16s ratio at 20 MB %s   ms/MB largest/smallest %.2f   at most %.2f MB per MB\n",
                   k, r, g, mem[k] } }' "$rs_dir/rows"
rm -f "$rs_dir"/*.reg "$rs_dir"/~trv*.tmp "$rs_dir"/*.floor.tmp "$rs_dir/peak" "$rs_dir/rows"
