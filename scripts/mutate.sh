#!/bin/sh
# Mutation check: undoes, one at a time, each sound behaviour and each rule the tests guard,
# rebuilds, runs the tests that should notice, and prints a table: mutation, tests run, caught
# or not. Every mutation must be caught. Takes a while (a rebuild and a test run each).
#
#   sh scripts/mutate.sh [name-pattern]    # only the mutations whose name matches (grep -E)
#   MUTATE_CHECK=1 sh scripts/mutate.sh    # only checks that every text to replace is there
#                                          # (fails when one is not; CI runs this)
#
# It works on the last commit, in a git worktree of its own with its own build and Wine prefixes,
# so that an interrupted run never leaves the tree under work mutated. Each mutation replaces one
# exact text in one source file (it must occur, or the mutation is reported as stale), and is
# judged by the Wine tests whose names match its pattern, or by the native sanitizer tests when
# the pattern starts with "native:" (the text rules, which build natively).
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

# mutation NAME FILE OLD NEW TESTS
mutation() {
    name=$1 target=$2 old=$3 new=$4 tests=$5
    if [ -n "$only" ] && ! printf '%s' "$name" | grep -Eq "$only"; then
        return
    fi
    if [ "$check" = 1 ]; then
        OLD=$old perl -0ne 'exit(index($_, $ENV{OLD}) < 0 ? 1 : 0)' "$target" || {
            echo "stale: $name"
            printf 'stale\n' >>"$table"
        }
        return
    fi
    OLD=$old NEW=$new perl -0pi -e 's/\Q$ENV{OLD}\E/$ENV{NEW}/' "$target"
    if git diff --quiet -- "$target"; then
        verdict="STALE (text not found)"
    else
        judge "$tests"
        case $? in
        0) verdict="NOT CAUGHT" ;;
        2) verdict="BUILD FAILED" ;;
        *) verdict="caught" ;;
        esac
    fi
    git checkout --quiet -- "$target"
    printf '%s\t%s\t%s\n' "$name" "$tests" "$verdict" | tee -a "$table"
}

mutation "library loaded with the plain search order" setup/WinMain.cpp \
    '    RestrictLibrarySearch();' \
    '    if (lpCmdLine == nullptr)
        RestrictLibrarySearch();' \
    'win64\.Register\.LibraryIsNeverTakenFromTheCurrentDirectoryOrPath'

mutation "library loaded by bare name, not by its full path" devctl/DevCtr.cpp \
    'm_hSetupLib.reset(LoadLibraryByFullPath(szPath));' \
    'm_hSetupLib.reset(LoadLibraryByFullPath(SETUP_LIBRARY_NAME));' \
    'win64\.Register\.LibraryIsNeverTakenFromTheCurrentDirectoryOrPath'

mutation "tools started in the caller's current directory" devctl/Platform.cpp \
    'FALSE, 0, nullptr, szDirectory,' \
    'FALSE, 0, nullptr, nullptr,' \
    'win64\.Register\.EachWindowsVersionRunsItsTools'

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

# A plain delete by name misses the view the key was opened in, and follows a registry link.
mutation "key deleted by its name: plain delete under X64, a link's target" common/RegTree.cpp \
    'return DeleteOpenedKey(key.get());' \
    'return (void)DeleteOpenedKey, sizeof(Char) == 1
                ? RegDeleteKeyA(hParent, reinterpret_cast<const char*>(pszKey))
                : RegDeleteKeyW(hParent, reinterpret_cast<const WCHAR*>(pszKey));' \
    'win64\.(x64\.)?(KestrixView\.DeleteWithX64|(RegDelKeyTest|AllUserKey|KestrixDelete)\.RegistryLink)'

mutation "deletion walk follows a registry link" common/RegTree.cpp \
    'OpenKey(hParent, pszKey, REG_OPTION_OPEN_LINK, DELETE_ACCESS | samView, &key);' \
    'OpenKey(hParent, pszKey, 0, DELETE_ACCESS | samView, &key);' \
    'win64\.(x64\.)?(RegDelKeyTest|AllUserKey|KestrixDelete)\.RegistryLink'


mutation "view flag written into read-only memory" kestrix/ViewFlag.cpp \
    'if (chUpper != *p && IsWritable(p))' \
    'if (chUpper != *p && (true || IsWritable(p)))' \
    'win64\.KestrixView\.ConstantFlags'

mutation "registry script truncated before its new text is complete" common/FileReplace.cpp \
    '    m_bPending = 1;
    // The text of an encrypted file' \
    '    m_old.reset();
    CloseHandle(CreateFileA(m_szPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            TRUNCATE_EXISTING, 0, nullptr));
    m_old.reset(CreateFileA(m_szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr));
    m_bPending = 1;
    // The text of an encrypted file' \
    'win64\.TranslatePath\.RunEndedAtAnyPoint'

mutation "held file not waited for" common/FileReplace.cpp \
    'int CHeldFileWait::PauseAfter(const char* pszPath) {
    const DWORD dwError = GetLastError();' \
    'int CHeldFileWait::PauseAfter(const char* pszPath) {
    return 0;
    const DWORD dwError = GetLastError();' \
    'win64\.(TranslatePath\.FileHeldByAnotherProcess|TranslateScanAdvance\.WindirValuesBecomeRealPaths)'

mutation "held file waited for without end" common/FileReplace.cpp \
    'if (dwWaited >= HELD_FILE_WAIT_MS) {' \
    'if (false && dwWaited >= HELD_FILE_WAIT_MS) {' \
    'win64\.TranslatePath\.FileHeldByAnotherProcess'

mutation "folder part of a path split inside a double-byte character" common/PathText.h \
    'if (cch == 1 && (p[-1] ==' \
    'if ((p[-1] ==' \
    'win64\.UserIniPaths\.ABackslashInsideADoubleByteCharacter'

mutation "read-only file replaced" common/FileReplace.cpp \
    'if (m_oldInfo.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {' \
    'if (m_oldInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {' \
    'win64\.(TranslatePath|TranslateScanAdvance)\.FileThatCannotBeOpenedOrWritten'

mutation "hard-linked file replaced, its other links left with the old text" common/FileReplace.cpp \
    'if (m_oldInfo.nNumberOfLinks > 1) {' \
    'if (false && m_oldInfo.nNumberOfLinks > 1) {' \
    'win64\.TranslatePath\.MarkedUtf8KeepsItsMark'

mutation "replaced file loses its DACL" common/FileReplace.cpp \
    'if (!CopySecurity(m_old.get(), m_file.get(), DACL_SECURITY_INFORMATION) ||' \
    'if ((false && !CopySecurity(m_old.get(), m_file.get(), DACL_SECURITY_INFORMATION)) ||' \
    'win64\.TranslatePath\.MarkedUtf8KeepsItsMark'

mutation "refused file holding [WINDIR] reported as done" regscript/IniFile.cpp \
    'nResult = m_nLoad == LOAD_WHOLE || m_nLoad == LOAD_REFUSED;' \
    'nResult = m_nLoad != LOAD_INCOMPLETE;' \
    'win64\.TranslatePath\.FilesFromWhichNothingIsTaken'

mutation "copy opens its keys with more rights than it uses" kestrix/RegCopy.cpp \
    'const REGSAM DESTINATION_ACCESS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;' \
    'const REGSAM DESTINATION_ACCESS = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;' \
    'win64\.(x64\.)?KestrixCopy\.MergesIntoAnExistingDestination'

mutation "copy into its own subtree not refused" kestrix/RegCopy.cpp \
    'if (nPlace == DESTINATION_BELOW_SOURCE)' \
    'if (false && nPlace == DESTINATION_BELOW_SOURCE)' \
    'win64\.(x64\.)?KestrixCopy\.CopyOntoItself'

mutation "copy onto itself opens its keys without the rights the copy asks" kestrix/RegCopy.cpp \
    'OpenDestination(hDestinationParent, pszName, DESTINATION_ACCESS | buffers.samNested,' \
    'OpenDestination(hDestinationParent, pszName, (buffers.bWriteNothing ? 0 : DESTINATION_ACCESS) | buffers.samNested,' \
    'win64\.(x64\.)?KestrixCopy\.CopyOntoItself'

mutation "copy writes through a link below the destination" kestrix/RegCopy.cpp \
    'const LONG lStatus = OpenKeyUnlessLink(hParent, pszKey, sam, pKey);' \
    'const LONG lStatus = bCreate ? ERROR_FILE_NOT_FOUND : OpenKeyUnlessLink(hParent, pszKey, sam, pKey);' \
    'win64\.(x64\.)?KestrixCopy\.RegistryLinks'

mutation "copy reads through a link in the source" kestrix/RegCopy.cpp \
    'OpenKeyUnlessLink(hSourceParent, pszName, SOURCE_ACCESS | buffers.samNested, &source);' \
    'RegOpenKeyExW(hSourceParent, pszName, 0, SOURCE_ACCESS | buffers.samNested, source.put());' \
    'win64\.(x64\.)?KestrixCopy\.RegistryLinks'

mutation "registry link whose target resolves taken for a key of its own" common/RegTree.cpp \
    '!SameName(nameItself, nameResolved))' \
    '(false && !SameName(nameItself, nameResolved)))' \
    'win64\.(x64\.)?KestrixCopy\.RegistryLinks'

mutation "profile list opened with the rights the walk uses" common/RegTree.cpp \
    'const REGSAM PROFILE_LIST_ACCESS = KEY_ALL_ACCESS;' \
    'const REGSAM PROFILE_LIST_ACCESS = KEY_ENUMERATE_SUB_KEYS;' \
    'win64\.(x64\.)?(AllUserKey\.FailureUnderOneProfile|KestrixAllUsers\.DeletesTheKey)'

mutation "replaced file gets a creation time of its own" common/FileTakeOver.cpp \
    'basic.creationTime.LowPart = creation.dwLowDateTime;
    basic.creationTime.HighPart = static_cast<LONG>(creation.dwHighDateTime);' \
    'static_cast<void>(creation);' \
    'win64\.Diagnostics\.ReportsPlatformChildrenAndFileDecisions'

mutation "8-bit text behind FF FE holding [WINDIR] left with exit 0" regscript/IniFileRead.cpp \
    'if (nTaken == 0 && m_nLoad == LOAD_WHOLE && bEightBitWindir)' \
    'if (false && nTaken == 0 && m_nLoad == LOAD_WHOLE && bEightBitWindir)' \
    'win64\.TranslatePath\.FilesFromWhichNothingIsTaken'

mutation "zero-extended predefined root not taken as the key (x64)" kestrix/RegValue.cpp \
    '        if (value == predefined)' \
    '        if (false && value == predefined)' \
    'win64\.x64\.KestrixCopy\.CopyOntoItself'

# The text rules: what the readers take from a line, and how.
mutation "short lines taken as lines" regscript/IniFileRead.cpp \
    'if (Units(pszLine, cch) + bLf < SHORT_LINE) // the LF counted' \
    'if (Units(pszLine, cch) + bLf < 1) // the LF counted' \
    'win64\.RegScriptReader\.ShortLines'

mutation "a trailing backslash continues nothing" regscript/IniFileRead.cpp \
    "while (cch > 0 && pszLine[cch - 1] == '\\\\') {" \
    "while (false && cch > 0 && pszLine[cch - 1] == '\\\\') {" \
    'win64\.RegScriptReader\.ContinuedHexValue'

mutation "joined line that reads back as a section taken as a value" regscript/IniFileRead.cpp \
    'if (bContinued && (Units(pszLine, cch) + 1 < SHORT_LINE || IsSection(pszLine, cch)))' \
    'if (bContinued && (Units(pszLine, cch) + 1 < SHORT_LINE))' \
    'native:NativeRegScript\.JoinedLine'

mutation "placeholder compared with its letter case" regscript/IniFileRead.cpp \
    'm_pText->pfnCompareNoCase(m_pText->pContext, pszHead, g_szQuotedPlaceholder) == 0;' \
    'strcmp(pszHead, g_szQuotedPlaceholder) == 0;' \
    'win64\.RegScriptReader\.WindirIsTranslated'

mutation "UTF-16 surrogate pair not read back unit for unit" regscript/TextUtf16.h \
    'const unsigned cp = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);' \
    'const unsigned cp = 0x10000 + ((u - 0xD800) << 10);' \
    'win64\.RegScriptReader\.EncodingsAndStrayBytes'

mutation "stray NUL inside the text passed over" common/FileText.h \
    "        if (pText[i] == '\\0' || pText[i] == '\\x1A')
            return 0;" \
    "        if (pText[i] == '\\x1A')
            return 0;" \
    'win64\.(RegScriptReader|ScanAdvanceRules)\.EncodingsAndStrayBytes'

mutation "translated path cut to fit instead of refused" common/FileText.h \
    'if (cchFolder + 1 + cbTail > cchPathMax)
        return 0;' \
    'if (cchFolder + 1 + cbTail > cchPathMax)
        cbTail = cchFolder < cchPathMax ? cchPathMax - cchFolder - 1 : 0;' \
    'win64\.(RegScriptReader\.TranslationThatWouldNotFit|ScanAdvanceRules\.ValuesThatWouldNotFit)'

mutation "scan-settings section name keeps its closing bracket" setup/ScanAdvanceText.cpp \
    'const size_t cchName = cchText < 4 ? 0 : cchText - 3;' \
    'const size_t cchName = cchText < 3 ? 0 : cchText - 2;' \
    'win64\.ScanAdvanceRules\.SectionNames'

mutation "scan-settings value starts after one equals sign, not the run" setup/ScanAdvanceText.cpp \
    "while (pValue != nullptr && *pValue == '=')" \
    "if (pValue != nullptr && *pValue == '=')" \
    'win64\.ScanAdvanceRules\.'

mutation "USB id named twice kept twice" devctl/UsbIds.cpp \
    'if (!pTable->Contains(szCandidate) && !pTable->Add(szCandidate))' \
    'if (!pTable->Add(szCandidate))' \
    'win64\.UsbIdScan\.IdNamedInSeveralSections'

mutation "copied string value without a guard after it" kestrix/RegCopy.cpp \
    '        buffers.data.Data()[cbData] = 0xFF;
        buffers.data.Data()[cbData + 1] = 0xFF;' \
    '        buffers.data.Data()[cbData] = 0;
        buffers.data.Data()[cbData + 1] = 0;' \
    'win64\.(x64\.)?KestrixCopy\.EveryValueTypeKeepsItsTypeBytesAndLength'

mutation "test programs' crash filter not installed" tests/support/TestMain.cpp \
    '    SetUnhandledExceptionFilter(EndOnCrash);' \
    '    if (argc < 0)
        SetUnhandledExceptionFilter(EndOnCrash);' \
    'CrashSelfCheck'

if [ "$check" = 1 ]; then
    stale=$(wc -l <"$table")
    rm -f "$table"
    echo "$(grep -c '^mutation "' "$0") mutations, $stale stale"
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
