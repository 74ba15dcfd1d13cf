#!/bin/sh
# Mutation check: undoes, one at a time, each sound behaviour and each rule the tests guard,
# rebuilds, runs the tests that should notice, and prints a table: mutation, tests run, caught
# or not. Every mutation must be caught. Takes a while (a rebuild and a test run each).
#
#   sh scripts/mutate.sh [name-pattern]    # only the mutations whose name matches (grep -E)
#   MUTATE_CHECK=1 sh scripts/mutate.sh    # only checks that every patch still applies and that
#                                          # its tests line names a test of the build there
#                                          # (fails, naming each stale one; CI runs this)
#
# Each mutation is a patch in scripts/mutations/ (NN-short-name.patch), made by git diff, with
# two header lines before the diff, which git apply passes over:
#   # mutation: <its name, as the table prints it>
#   # tests: <the tests that must notice it: a ctest -R pattern of the Wine tests, or
#   #         "native:<pattern>" for the native sanitizer tests of the text rules>
# To refresh a patch that no longer applies (its code was moved or reworded): make the mutation
# by hand in a clean tree, keep the patch's header lines and take the new diff, then undo it:
#   p=scripts/mutations/NN-name.patch
#   { grep '^# ' "$p"; git diff -- <changed file>; } >"$p.new" && mv "$p.new" "$p"
#   git checkout -- <changed file>
# A new mutation is made the same way, with its two header lines written by hand and the next
# number.
#
# It works on the last commit, in a git worktree of its own with its own build and Wine prefixes,
# so that an interrupted run never leaves the tree under work mutated. Each patch is applied
# there (one that does not apply is reported as stale), the build is redone, the tests named are
# run, and the patch is taken back out.
set -u
. "$(dirname "$0")/common.sh"
only=${1:-}
check=${MUTATE_CHECK:-0}
tree=$root
if [ "$check" = 0 ]; then
    tree=$(mktemp -d)/tree
    git -C "$root" worktree add --quiet --detach "$tree" HEAD || exit 1
    trap 'git -C "$root" worktree remove --force "$tree"; rm -rf "$(dirname "$tree")"' EXIT
    trap 'exit 130' INT TERM
    echo "mutating a worktree of $(git -C "$root" rev-parse --short HEAD) in $tree"
fi
cd "$tree"
mutations="$tree/scripts/mutations"
table=$(mktemp)
if [ "$check" = 0 ]; then
    configure_and_build >/dev/null || { echo "the unchanged tree does not build" >&2; exit 1; }
    cmake --preset native >/dev/null && cmake --build --preset native >/dev/null ||
        { echo "the unchanged tree does not build natively" >&2; exit 1; }
fi

# judge TESTS: 0 when the tests named pass (the mutation is not caught).
judge() {
    case $1 in
    native:*)
        cmake --build --preset native >/dev/null 2>&1 || return 2
        ctest --preset native --no-tests=error -R "${1#native:}" >/dev/null 2>&1
        ;;
    *)
        cmake --build --preset default >/dev/null 2>&1 || return 2
        ctest --preset default --no-tests=error --timeout 120 -R "$1" >/dev/null 2>&1
        ;;
    esac
}

# names_no_test TESTS: 0 when the tests line matches no test of a build that is there (a test
# renamed or gone would leave its mutation judged by nothing).
names_no_test() {
    case $1 in
    native:*) dir="$tree/build-native" pattern=${1#native:} ;;
    *) dir="$tree/build" pattern=$1 ;;
    esac
    [ -f "$dir/CTestTestfile.cmake" ] && ! ctest --test-dir "$dir" -N -R "$pattern" |
        grep -q '^Total Tests: [1-9]'
}

# header FIELD PATCH: the value of the patch's "# FIELD: " line.
header() {
    sed -n "s/^# $1: //p" "$2" | head -n 1
}

count=0
for patch in "$mutations"/*.patch; do
    name=$(header mutation "$patch")
    tests=$(header tests "$patch")
    if [ -n "$only" ] && ! printf '%s' "$name" | grep -Eq "$only"; then
        continue
    fi
    count=$((count + 1))
    if [ "$check" = 1 ]; then
        if [ -z "$tests" ] || ! git apply --check "$patch" 2>/dev/null; then
            echo "stale: ${patch#"$tree/"} ($name)"
            printf 'stale\n' >>"$table"
        elif names_no_test "$tests"; then
            echo "no test matches: ${patch#"$tree/"} ($tests)"
            printf 'stale\n' >>"$table"
        fi
        continue
    fi
    if [ -z "$tests" ]; then
        verdict="STALE (no tests line)"
    elif ! git apply "$patch" 2>/dev/null; then
        verdict="STALE (does not apply)"
    else
        judge "$tests"
        case $? in
        0) verdict="NOT CAUGHT" ;;
        2) verdict="BUILD FAILED" ;;
        *) verdict="caught" ;;
        esac
        git apply -R "$patch" || { echo "could not take $patch back out" >&2; exit 1; }
    fi
    printf '%s\t%s\t%s\n' "$name" "$tests" "$verdict" | tee -a "$table"
done

if [ "$check" = 1 ]; then
    stale=$(wc -l <"$table")
    rm -f "$table"
    echo "$count mutations, $stale stale"
    [ "$stale" -eq 0 ]
    exit
fi
echo
printf '%-58s %-10s\n' "mutation" "verdict"
awk -F '\t' '{ printf "%-58s %s\n", $1, $3 }' "$table"
total=$(wc -l <"$table")
caught=$(grep -c '	caught$' "$table")
echo
echo "$caught of $total mutations caught"
rm -f "$table"
[ "$caught" -eq "$total" ]
