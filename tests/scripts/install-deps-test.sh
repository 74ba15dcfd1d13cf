#!/bin/sh
# The package steps of install-deps.sh against stand-ins first on PATH: apt-get (a mirror
# mid-sync, a suite whose i386 half is missing, no network), node and npm. Runs without root;
# nothing leaves the machine. One row of the table per case; ends with "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# A PATH of the few tools the steps use, so that the machine's own apt-get, node and npm stay out.
mkdir -p "$work/tools" "$work/stand-ins" "$work/apt-only"
for tool in sh awk sed grep sort mktemp rm cat head tail dirname basename sleep mkdir cp ls wc tr; do
    ln -s "$(command -v "$tool")" "$work/tools/$tool"
done

# The sources: a one-line list with options and a deb822 file with two suites of one URI and
# the security suite, as on a Debian 12 machine.
printf '%s\n' '# local mirror' 'deb [arch=amd64,i386 trusted=no] http://mirror.test/extra/ bookworm main' \
    >"$work/sources.list"
mkdir -p "$work/sources.list.d"
cat >"$work/sources.list.d/debian.sources" <<'END'
Types: deb
URIs: http://archive.test/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://archive.test/debian-security
Suites: bookworm-security
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 -----END PGP PUBLIC KEY BLOCK-----
END
export APT_SOURCES_LIST="$work/sources.list" APT_SOURCES_PARTS="$work/sources.list.d"

# apt-get: "update" fails its first UPDATE_FAILS runs with UPDATE_ERRORS; "install" fails with
# held broken packages while a suite named in BROKEN_WITH is among the sources it reads (those
# of -o Dir::Etc::SourceParts when given). Each call is journalled with the suites it read.
cat >"$work/stand-ins/apt-get" <<'END'
#!/bin/sh
parts=$APT_SOURCES_PARTS list=$APT_SOURCES_LIST
for arg; do
    case $arg in Dir::Etc::SourceParts=*) parts=${arg#*=} ;; Dir::Etc::SourceList=*) list=${arg#*=} ;; esac
done
suites=$(cat "$list" "$parts"/* 2>/dev/null | sed -n -e 's/^Suites://p' -e 's/^deb .* \([a-z-]*\) main$/\1/p' |
    tr ' ' '\n' | grep . | sort | tr '\n' ' ')
echo "$* | suites: $suites" >>"$JOURNAL"
case " $* " in
*" update "*)
    count=$(($(cat "$JOURNAL.updates" 2>/dev/null || echo 0) + 1))
    echo "$count" >"$JOURNAL.updates"
    [ "$count" -gt "${UPDATE_FAILS:-0}" ] && exit 0
    printf '%s\n' "$UPDATE_ERRORS"
    exit 100 ;;
*" install "*)
    if [ -n "${BROKEN_WITH:-}" ] && echo " $suites" | grep -q " $BROKEN_WITH "; then
        echo " libssl3:i386 : Depends: libc6:i386 but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
    fi ;;
esac
END
cat >"$work/stand-ins/npm" <<'END'
#!/bin/sh
echo "npm on PATH: $*" >>"$JOURNAL"
END
# A Node.js from another vendor: node in prefix/bin, its npm in prefix/lib/node_modules.
mkdir -p "$work/node/bin" "$work/node/lib/node_modules/npm/bin" "$work/bare-node/bin"
cat >"$work/node/bin/node" <<'END'
#!/bin/sh
case $1 in
-p) echo "$0" ;;
--version) echo v20.20.2 ;;
*) echo "node runs $*" >>"$JOURNAL" ;;
esac
END
cp "$work/node/bin/node" "$work/bare-node/bin/node"
touch "$work/node/lib/node_modules/npm/bin/npm-cli.js"
chmod +x "$work/stand-ins/"* "$work/node/bin/node" "$work/bare-node/bin/node"
ln -s "$work/stand-ins/apt-get" "$work/apt-only/apt-get"

mirror='E: Failed to fetch http://archive.test/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]
E: Some index files failed to download. They have been ignored, or old ones used instead.'
offline='W: Failed to fetch http://archive.test/debian/dists/bookworm/InRelease  Temporary failure resolving '"'archive.test'"'
W: Failed to fetch http://archive.test/debian/dists/bookworm-updates/InRelease  Temporary failure resolving '"'archive.test'"'
W: Failed to fetch http://archive.test/debian-security/dists/bookworm-security/InRelease  Temporary failure resolving '"'archive.test'"'
W: Failed to fetch http://mirror.test/extra/dists/bookworm/InRelease  Temporary failure resolving '"'mirror.test'"'
E: Some index files failed to download. They have been ignored, or old ones used instead.'
locked='E: Could not get lock /var/lib/apt/lists/lock. It is held by process 4242 (apt-get)'

# name | steps run | update fails | update errors | install broken with | node folder on PATH |
# exit status | output must match (grep -E) | journal must match (grep -E, in order, | between)
check() {
    name=$1 steps=$2 fails=$3 errors=$4 broken=$5 node=$6 want_status=$7 want_output=$8 want_journal=$9
    journal="$work/journal.$passed.$failed"
    rm -f "$journal" "$journal.updates"
    case $node in
    npm) path="$work/tools:$work/stand-ins" ;;
    none) path="$work/tools" ;;
    *) path="$work/tools:$work/$node" ;;
    esac
    output=$(PATH="$work/apt-only:$path" JOURNAL="$journal" UPDATE_FAILS=$fails UPDATE_ERRORS=$errors \
        BROKEN_WITH=$broken APT_UPDATE_PAUSE=0 sh -c ". '$root/scripts/install-deps-lib.sh'; $steps" 2>&1)
    status=$?
    problem=""
    [ "$status" = "$want_status" ] || problem="exit status $status, not $want_status"
    echo "$output" | grep -qE "$want_output" || problem="$problem; output lacks /$want_output/"
    # The journal's lines in order, each matching its part of want_journal; none when empty.
    if [ -z "$want_journal" ]; then
        [ ! -s "$journal" ] || problem="$problem; something was run: $(cat "$journal")"
    else
        echo "$want_journal" | tr '|' '\n' | sed 's/^ *//; s/ *$//' >"$journal.want"
        awk 'NR == FNR { want[++n] = $0; next } i < n && $0 ~ want[i + 1] { i++ } END { exit i < n }' \
            "$journal.want" "$journal" 2>/dev/null || problem="$problem; journal lacks /$want_journal/"
    fi
    if [ -z "$problem" ]; then
        passed=$((passed + 1))
        echo "[ ok ] $name"
    else
        failed=$((failed + 1))
        echo "[FAIL] $name: $problem"
        echo "$output" | sed 's/^/    output: /'
        sed 's/^/    journal: /' "$journal" 2>/dev/null
    fi
}

install="update_package_index && install_packages wine wine32:i386 && echo installed"
all='bookworm bookworm bookworm-security bookworm-updates'
rest='bookworm bookworm bookworm-updates $'

# The precondition of the pairing rows: the stand-in refuses the install while the security
# suite is among the sources, and the sources file names it.
grep -q 'Suites: bookworm-security' "$APT_SOURCES_PARTS/debian.sources" || { echo "[FAIL] fixture"; exit 1; }

check "a failed index update is tried again and then succeeds" "$install" 1 "$mirror" "" none 0 \
    "update failed \(try 1 of 3\).*|installed" "update.*$all | update | install.*wine32:i386"
check "a source that keeps failing is skipped and named; the others serve the install" "$install" \
    9 "$mirror" "" none 0 "skipped the package source http://archive.test/debian-security bookworm-security: .*after 3 tries \(File has unexpected size" \
    "update | update | update | install"
check "unpaired i386 and amd64 versions: installed again without the skipped source, and said" \
    "$install" 9 "$mirror" bookworm-security none 0 \
    "could not be paired" "update | update | update | install.*$all | -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts=.* install .*suites: $rest"
check "no source reached: stops and says what to check" "$install" 9 "$offline" "" none 1 \
    "no package source could be reached after 3 tries" "update | update | update"
check "a failure that names no source stops with apt's error" "$install" 9 "$locked" "" none 1 \
    "Could not get lock" "update"
check "the broken install without a skipped source stops with apt's error" "$install" 0 "" \
    bookworm-security none 1 "held broken packages" "update | install"
check "the npm on PATH is used" "find_npm && run_npm pack innosetup" 0 "" "" npm 0 "^$" \
    "npm on PATH: pack innosetup"
check "a Node.js without npm on PATH: the npm in its global module folder, run by that node" \
    "find_npm && run_npm pack innosetup" 0 "" "" node/bin 0 "^$" "node runs .*/node/lib/node_modules/npm/bin/npm-cli.js pack innosetup"
check "no Node.js at all: Debian's npm is to be installed" "find_npm || echo install debian npm" 0 "" "" \
    none 0 "install debian npm" ""
check "a Node.js with no npm anywhere: stops and says what to do" "find_npm; echo went on" 0 "" "" \
    bare-node/bin 1 "has no npm.*install its vendor's npm" ""

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
