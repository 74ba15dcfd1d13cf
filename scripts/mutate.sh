#!/bin/sh
# Mutation check: undoes, one at a time, each sound behaviour and each rule the tests guard,
# rebuilds, runs the tests that should notice, and prints a table: mutation, tests run, caught
# or not. Every mutation must be caught. Takes a while (a rebuild and a Wine test run each);
# not part of CI.
#
#   sh scripts/mutate.sh [name-pattern]    # only the mutations whose name matches (grep -E)
#   MUTATE_CHECK=1 sh scripts/mutate.sh    # only checks that every text to replace is there
#
# Each mutation replaces one exact text in one source file (it must occur, or the mutation is
# reported as stale); the file is put back afterwards, also when the script is interrupted.
set -u
. "$(dirname "$0")/common.sh"
cd "$root"
only=${1:-}
table=$(mktemp)
saved=""
restore() {
    [ -n "$saved" ] && [ -f "$saved" ] && cp "$saved" "$target" && rm -f "$saved"
    saved=""
}
trap 'restore; exit 130' INT TERM

check=${MUTATE_CHECK:-0}
if [ "$check" = 0 ]; then
    configure_and_build >/dev/null || { echo "the unchanged tree does not build" >&2; exit 1; }
fi

# mutation NAME FILE OLD NEW TESTS
mutation() {
    name=$1 target=$2 old=$3 new=$4 tests=$5
    if [ -n "$only" ] && ! printf '%s' "$name" | grep -Eq "$only"; then
        return
    fi
    if [ "$check" = 1 ]; then
        OLD=$old perl -0ne 'exit(index($_, $ENV{OLD}) < 0 ? 1 : 0)' "$target" || echo "stale: $name"
        return
    fi
    saved=$(mktemp)
    cp "$target" "$saved"
    OLD=$old NEW=$new perl -0pi -e 's/\Q$ENV{OLD}\E/$ENV{NEW}/' "$target"
    if cmp -s "$target" "$saved"; then
        verdict="STALE (text not found)"
    elif ! cmake --build --preset default >/dev/null 2>&1; then
        verdict="BUILD FAILED"
    elif ctest --preset default --no-tests=error --timeout 120 -R "$tests" >/dev/null 2>&1; then
        verdict="NOT CAUGHT"
    else
        verdict="caught"
    fi
    restore
    printf '%s\t%s\t%s\n' "$name" "$tests" "$verdict" | tee -a "$table"
}

mutation "library loaded with the plain search order" devctl/DevCtr.cpp \
    'return LoadLibraryExA(pszName, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);' \
    'return LoadLibraryA(pszName);' \
    'win64\.Register\.LibraryIsNeverTakenFromTheCurrentDirectoryOrPath'

mutation "tool path with a blank left unquoted" devctl/CommandText.cpp \
    'const char* pszQuote = (strchr(pszFolder, '"' '"') != nullptr) ? "\"" : "";' \
    'const char* pszQuote = "";' \
    'win64\.LongProgramFolder\.'

mutation "over-long command line run instead of refused" setup/CommandLine.cpp \
    'pOut->bTooLong = 1;' \
    'pOut->bTooLong = 0;' \
    'win64\.(CommandLineSplit\.LimitsAre|TorvaneCommandLine\.OverLong)'

mutation "over-long token cut instead of refused" setup/CommandLine.cpp \
    'if (cch >= cbBuffer)
        return 0;' \
    'if (cch >= cbBuffer)
        cch = cbBuffer - 1;' \
    'win64\.CommandLineSplit\.LimitsAre'

mutation "REGISTER run without its argument" setup/Dispatch.cpp \
    '{"REGISTER", HasArgument, RunRegister, 0},' \
    '{"REGISTER", nullptr, RunRegister, 0},' \
    'win64\.TorvaneCommandLine\.EmptyBlankAndUnknown'

mutation "INF name cut to fit instead of refused" devctl/DevCtr.cpp \
    'if (pszInfName == nullptr || strlen(pszInfName) >= sizeof(m_szInfName))
        return 0;
    memcpy(m_szInfName, pszInfName, strlen(pszInfName) + 1);' \
    'if (pszInfName == nullptr)
        return 0;
    lstrcpynA(m_szInfName, pszInfName, sizeof(m_szInfName));' \
    'win64\.Register\.InfNameTooLong'

mutation "children not waited for" devctl/Platform.cpp \
    'WaitForSingleObject(process.process(), dwWaitMs);' \
    'WaitForSingleObject(process.process(), 0);' \
    'win64\.(HiddenRunner\.WaitsForTheChildToEnd|Register\.EachChildIsWaited|Unregister\.EachChildIsWaited)'

mutation "stop returns while the service is stop-pending" devctl/Service.cpp \
    'while (pStatus->dwCurrentState == SERVICE_STOP_PENDING) {' \
    'while (false && pStatus->dwCurrentState == SERVICE_STOP_PENDING) {' \
    'win64\.SlowStoppingService\.StopWaits'

mutation "stop poll without a total limit" devctl/Service.cpp \
    'if (dwNow - dwStart >= limits.ulTotalMs || dwNow - dwLastProgress >= ulStallMs) {' \
    'if (dwNow - dwLastProgress >= ulStallMs) {' \
    'win64\.SlowStoppingService\.ServiceThatKeepsReporting'

mutation "stop poll ignores a stalled check point" devctl/Service.cpp \
    'if (dwNow - dwStart >= limits.ulTotalMs || dwNow - dwLastProgress >= ulStallMs) {' \
    'if (dwNow - dwStart >= limits.ulTotalMs || (false && dwNow - dwLastProgress >= ulStallMs)) {' \
    'win64\.SlowStoppingService\.StalledCheckPoint'

mutation "all-user walk stops at the first failed deletion" common/RegTree.cpp \
    'DeleteKeyTree(HKEY_USERS, szPath, samView, samView);
    }' \
    'if (DeleteKeyTree(HKEY_USERS, szPath, samView, samView) != ERROR_SUCCESS)
                break;
    }' \
    'win64\.(AllUserKey\.FailureUnderOneProfile|(x64\.)?KestrixAllUsers\.)'

mutation "joined key path cut instead of passed over" common/KeyPath.cpp \
    'if (cchTotal >= cbOut)
            return 0;' \
    'if (cchTotal >= cbOut)
            break;' \
    'win64\.(AllUserKey\.JoinedPath|SaveFolder\.DestinationWhosePath|KeyPathJoin)'

mutation "save folder stored without its 260-byte padding" regmaint/SaveFolder.cpp \
    'reinterpret_cast<const BYTE*>(szFolder), sizeof(szFolder));' \
    'reinterpret_cast<const BYTE*>(szFolder), static_cast<DWORD>(strlen(szFolder) + 1));' \
    'win64\.SaveFolder\.'

mutation "product key opened for full access" regmaint/SaveFolder.cpp \
    'pszProductKey, 0, KEY_QUERY_VALUE,' 'pszProductKey, 0, KEY_ALL_ACCESS,' \
    'win64\.SaveFolder\.KeysGrantingOnly'

mutation "destination key opened for full access" regmaint/SaveFolder.cpp \
    'szKeyPath, 0, KEY_SET_VALUE,' 'szKeyPath, 0, KEY_ALL_ACCESS,' \
    'win64\.SaveFolder\.KeysGrantingOnly'

mutation "settings path may leave the application-data folder" setup/UserIniPath.cpp \
    'return ch == '"'\\\\'"' || ch == '"'/'"';' \
    'return ch == '"'/'"';' \
    'win64\.(DeleteUserIni|UserIniPaths)\.'

mutation "plain delete under X64" common/RegTree.cpp \
    'if (samView != 0 && hAdvapi != nullptr) {' \
    'if (false && samView != 0 && hAdvapi != nullptr) {' \
    'win64\.(x64\.)?KestrixView\.DeleteWithX64'

mutation "view flag written into read-only memory" kestrix/ViewFlag.cpp \
    'if (chUpper != *p && IsWritable(p))' \
    'if (chUpper != *p && (true || IsWritable(p)))' \
    'win64\.KestrixView\.ConstantFlags'

mutation "registry script truncated before its new text is complete" regscript/FileReplace.cpp \
    'if (m_file) {
            m_bPending = 1;' \
    'if (m_file) {
            CloseHandle(CreateFileA(pszPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, TRUNCATE_EXISTING, 0, nullptr));
            m_bPending = 1;' \
    'win64\.TranslatePath\.RunEndedAtAnyPoint'

mutation "read-only file replaced" regscript/FileReplace.cpp \
    'if (dwAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {' \
    'if (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) {' \
    'win64\.(TranslatePath|TranslateScanAdvance)\.FileThatCannotBeOpenedOrWritten'

mutation "hard-linked file replaced, its other links left with the old text" regscript/FileReplace.cpp \
    '|| info.nNumberOfLinks > 1) {' \
    ') {' \
    'win64\.TranslatePath\.MarkedUtf8KeepsItsMark'

mutation "replaced file loses its DACL" regscript/FileReplace.cpp \
    'if (!CopyDacl(m_szPath, m_szNew) ||' \
    'if ((false && !CopyDacl(m_szPath, m_szNew)) ||' \
    'win64\.TranslatePath\.MarkedUtf8KeepsItsMark'

mutation "refused file holding [WINDIR] reported as done" regscript/IniFile.cpp \
    'nResult = !m_bLoadFailed && m_nRefused != 2;' \
    'nResult = !m_bLoadFailed;' \
    'win64\.TranslatePath\.FilesFromWhichNothingIsTaken'

mutation "copy opens its keys with more rights than it uses" kestrix/RegCopy.cpp \
    'const REGSAM DESTINATION_ACCESS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;' \
    'const REGSAM DESTINATION_ACCESS = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;' \
    'win64\.(x64\.)?KestrixCopy\.MergesIntoAnExistingDestination'

mutation "copy into its own subtree not refused" kestrix/RegCopy.cpp \
    'if (DestinationWithinSource(' \
    'if (false && DestinationWithinSource(' \
    'win64\.(x64\.)?KestrixCopy\.CopyOntoItself'

mutation "zero-extended predefined root not taken as the key (x64)" kestrix/RegValue.cpp \
    '        if (value == predefined)' \
    '        if (false && value == predefined)' \
    'win64\.x64\.KestrixCopy\.CopyOntoItself'

mutation "test programs' crash filter not installed" tests/support/TestMain.cpp \
    '    SetUnhandledExceptionFilter(EndOnCrash);' \
    '    if (argc < 0)
        SetUnhandledExceptionFilter(EndOnCrash);' \
    'CrashSelfCheck'

[ "$check" = 1 ] && exit 0
restore
echo
echo "Restoring the build of the unchanged tree..."
cmake --build --preset default >/dev/null 2>&1
echo
printf '%-58s %-10s\n' "mutation" "verdict"
awk -F '\t' '{ printf "%-58s %s\n", $1, $3 }' "$table"
total=$(wc -l <"$table")
caught=$(grep -c '	caught$' "$table")
echo
echo "$caught of $total mutations caught"
rm -f "$table"
[ "$caught" -eq "$total" ]
