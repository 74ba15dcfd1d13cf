# The steps of install-deps.sh that meet the world outside: the package index, the package
# install and npm. Sourced by install-deps.sh, and by tests/scripts/install-deps-test.sh, which
# runs them without root against stand-in apt-get, node and npm programs first on PATH.
#
# A mirror can be caught mid-sync: one index then fails ("File has unexpected size ... Mirror
# sync in progress?") while every other is fresh, and apt-get update exits 100. When that index
# is one architecture's half of a suite (the security suite's i386 list, say), apt can no longer
# pair that suite's amd64 packages with i386 twins, and installing wine32:i386 fails with "held
# broken packages". The install then goes on from the sources whose indexes all came in.

# Tries of apt-get update, and the pause between them in seconds.
APT_UPDATE_TRIES=${APT_UPDATE_TRIES:-3}
APT_UPDATE_PAUSE=${APT_UPDATE_PAUSE:-20}
# Where apt reads its sources (apt's defaults; the test points them at files of its own).
APT_SOURCES_LIST=${APT_SOURCES_LIST:-/etc/apt/sources.list}
APT_SOURCES_PARTS=${APT_SOURCES_PARTS:-/etc/apt/sources.list.d}

# The sources skipped because their indexes could not be fetched: "URI SUITE" lines.
skipped_sources=""

say() { echo "install-deps: $*"; }
die() {
    echo "install-deps: $*" >&2
    exit 1
}

# The active sources' files, the one-line list first, each as "FORMAT FILE" (list or sources).
source_files() {
    [ -f "$APT_SOURCES_LIST" ] && echo "list $APT_SOURCES_LIST"
    for file in "$APT_SOURCES_PARTS"/*.list "$APT_SOURCES_PARTS"/*.sources; do
        [ -f "$file" ] && echo "${file##*.} $file"
    done
    return 0
}

# Reads one sources file in either format. MODE "pairs" prints each "URI SUITE" it names (the
# URI without its trailing slash); MODE "filter" prints the file without the pairs listed in
# the environment's "skip", one per line. A deb822 stanza is printed once per URI so that a
# suite can be left out for one URI alone; a field's continuation lines (an inline key) stay.
sources_awk() {
    skip="$skipped_sources" awk -v format="$1" -v mode="$2" '
        function bare(uri) { sub(/\/+$/, "", uri); return uri }
        function skipped(uri, suite) { return ((bare(uri) " " suite) in skip) }
        function flush(   i, j, u, n_uri, n_suite, uris, suites, kept, line) {
            if (!nfield) return
            n_uri = split(value["uris"], uris, /[ \t]+/)
            n_suite = split(value["suites"], suites, /[ \t]+/)
            for (i = 1; i <= n_uri; i++) {
                if (uris[i] == "") continue
                kept = ""
                for (j = 1; j <= n_suite; j++) {
                    if (suites[j] == "") continue
                    if (mode == "pairs") print bare(uris[i]), suites[j]
                    else if (!skipped(uris[i], suites[j])) kept = kept " " suites[j]
                }
                if (mode != "filter" || kept == "") continue
                for (j = 1; j <= nfield; j++) {
                    if (name[j] == "uris") print "URIs: " uris[i]
                    else if (name[j] == "suites") print "Suites:" kept
                    else print text[j]
                }
                print ""
            }
            nfield = 0; delete value
        }
        BEGIN { n = split(ENVIRON["skip"], lines, "\n")
                for (i = 1; i <= n; i++) if (lines[i] != "") skip[lines[i]] = 1 }
        format == "list" {
            line = $0; sub(/#.*/, "", line)
            nword = split(line, word, /[ \t]+/)
            first = (word[1] == "") ? 2 : 1
            if (nword < first + 2) { if (mode == "filter") print; next }
            # deb [ options ] uri suite components: the options may hold blanks.
            i = first + 1
            if (word[i] ~ /^\[/) { while (word[i] !~ /\]$/ && i < nword) i++; i++ }
            if (mode == "pairs") print bare(word[i]), word[i + 1]
            else if (skipped(word[i], word[i + 1])) print "# left out for this install: " $0
            else print
            next
        }
        /^[ \t]*$/ { flush(); next }
        /^#/ { next }
        /^[ \t]/ { text[nfield] = text[nfield] "\n" $0; next }
        {
            field = tolower($0); sub(/:.*/, "", field)
            body = $0; sub(/^[^:]*:[ \t]*/, "", body)
            name[++nfield] = field; text[nfield] = $0; value[field] = body
        }
        END { if (format == "sources") flush() }
    ' "$3"
}

# Every "URI SUITE" pair the active sources name.
configured_sources() {
    source_files | while read -r format file; do sources_awk "$format" pairs "$file"; done | sort -u
}

# The "URI SUITE" pairs behind apt's "Failed to fetch URL" lines in the file given.
failed_sources() {
    sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$1" |
        sed -n 's#^\(.*[^/]\)/*/dists/\([^/]*\)/.*#\1 \2#p' | sort -u
}

# apt-get update, tried APT_UPDATE_TRIES times. When sources still fail but others answer,
# those sources are skipped (skipped_sources) and named; when all fail, or apt fails in a way
# that names no source, the script stops with apt's own errors and what to check.
update_package_index() {
    log=$(mktemp)
    try=1
    while :; do
        if apt-get update -qq >"$log" 2>&1; then
            rm -f "$log"
            return 0
        fi
        [ "$try" -ge "$APT_UPDATE_TRIES" ] && break
        say "apt-get update failed (try $try of $APT_UPDATE_TRIES); trying again in ${APT_UPDATE_PAUSE} s"
        sed -n 's/^E: /    /p' "$log" | head -n 3
        sleep "$APT_UPDATE_PAUSE"
        try=$((try + 1))
    done
    failed=$(failed_sources "$log")
    reached=$(configured_sources | grep -vxF "$failed" || true)
    if [ -z "$failed" ] || [ -z "$reached" ]; then
        grep '^E: ' "$log" >&2 || cat "$log" >&2
        rm -f "$log"
        [ -z "$failed" ] && die "apt-get update failed $APT_UPDATE_TRIES times; see apt's errors above"
        die "no package source could be reached after $APT_UPDATE_TRIES tries of apt-get update:" \
            "check the network, a proxy (Acquire::http::Proxy) and the sources in $APT_SOURCES_PARTS"
    fi
    skipped_sources=$failed
    echo "$failed" | while read -r uri suite; do
        reason=$(grep -F "Failed to fetch $uri/dists/$suite/" "$log" | head -n 1 |
            sed 's/^[EW]: Failed to fetch [^ ]* *//; s/ *\[IP:.*//')
        say "skipped the package source $uri $suite: its index could not be fetched after" \
            "$APT_UPDATE_TRIES tries ($reason); going on with the others"
    done
    rm -f "$log"
}

# A sources folder for apt's Dir::Etc::SourceParts: the active sources without the skipped
# ones. Prints the folder's path.
sources_without_skipped() {
    dir=$(mktemp -d)
    source_files | while read -r format file; do
        name=$(basename "$file")
        [ "$file" = "$APT_SOURCES_LIST" ] && name=00-sources.list
        sources_awk "$format" filter "$file" >"$dir/$name"
    done
    echo "$dir"
}

# apt-get install of the packages given. When it fails while sources were skipped, the i386
# and amd64 versions may not pair (one half of a suite is missing): it is tried again from the
# other sources alone, and said so.
install_packages() {
    log=$(mktemp)
    if apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
        rm -f "$log"
        return 0
    fi
    if [ -z "$skipped_sources" ]; then
        grep -E '^(E:| )' "$log" | tail -n 20 >&2
        rm -f "$log"
        die "apt-get install failed; see apt's errors above"
    fi
    if grep -q -e 'held broken packages' -e 'unmet dependencies' "$log"; then
        say "the i386 and amd64 versions could not be paired while a source was skipped;"
    else
        say "apt-get install failed while a source was skipped;"
    fi
    say "installing again from the sources whose indexes all came in, without:"
    echo "$skipped_sources" | sed 's/^/    /'
    parts=$(sources_without_skipped)
    if apt-get -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$parts" \
        install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
        rm -rf "$log" "$parts"
        return 0
    fi
    grep -E '^(E:| )' "$log" | tail -n 20 >&2
    rm -rf "$log" "$parts"
    die "apt-get install failed from the other sources too; see apt's errors above"
}

# npm: the one on PATH, else the one an installed Node.js carries in its global module folder
# (prefix/lib/node_modules/npm, run by that node). Sets npm_cli to that script ("" for the npm
# on PATH). Returns 1 when there is no Node.js at all (Debian's nodejs and npm can then be
# installed); stops the script when a Node.js without npm is found, since Debian's npm package
# cannot be installed beside a Node.js from another vendor.
find_npm() {
    npm_cli=""
    command -v npm >/dev/null 2>&1 && return 0
    command -v node >/dev/null 2>&1 || return 1
    node_path=$(node -p process.execPath 2>/dev/null) || node_path=$(command -v node)
    prefix=$(dirname "$(dirname "$node_path")")
    for cli in "$prefix/lib/node_modules/npm/bin/npm-cli.js" \
        "$(dirname "$node_path")/node_modules/npm/bin/npm-cli.js"; do
        if [ -f "$cli" ]; then
            npm_cli=$cli
            return 0
        fi
    done
    die "Node.js $(node --version 2>/dev/null) at $node_path has no npm (looked for" \
        "$prefix/lib/node_modules/npm), and Debian's npm package cannot be installed beside it:" \
        "install its vendor's npm, or remove that Node.js so that this script installs Debian's nodejs and npm"
}

run_npm() {
    if [ -n "$npm_cli" ]; then
        node "$npm_cli" "$@"
    else
        npm "$@"
    fi
}
