# A test program's exit status alone proves nothing here: under the emulation of Wine's 32-bit
# side a crashing program can end with status 0, and a filter that matches no test exits 0 too.
# gtest_verdict(<prefix> <ctest names>...) makes CTest judge each test registered by
# gtest_add_tests by GoogleTest's own summary instead: it passes only when the named test
# reported OK and the summary counts exactly one passed test (a parameterised test: every
# instance, at least one), and it is shown as skipped when GoogleTest says it skipped that test.
# Any failure line fails it, even after a summary that would otherwise pass: GoogleTest's own,
# the line the test programs' crash filter writes (tests/support/TestMain.cpp), and the line
# tests/wine/run-test.sh adds when the program ends with a status other than 0.

# The three patterns for one GoogleTest name (Suite.Name, or a parameterised test's filter).
function(gtest_verdict_patterns gtest_name pass_var skip_var fail_var)
    string(REPLACE "." "\\." pattern "${gtest_name}")
    if(pattern MATCHES "\\*")
        # A parameterised test's filter, */Suite.Name/*: its instances.
        string(REPLACE "*" "[^ ]*" pattern "${pattern}")
        set(count "[1-9][0-9]* tests?")
    else()
        set(count "1 test")
    endif()
    set(${pass_var} "\\[       OK \\] ${pattern} \\(.*\\[  PASSED  \\] ${count}\\." PARENT_SCOPE)
    set(${skip_var} "\\[  SKIPPED \\] ${pattern} \\(.*\\[  SKIPPED \\] ${count}," PARENT_SCOPE)
    set(${fail_var} "\\[  FAILED  \\];\\[  CRASHED \\];\\[  STATUS  \\]" PARENT_SCOPE)
endfunction()

function(gtest_verdict prefix)
    foreach(ctest_name ${ARGN})
        string(LENGTH "${prefix}" prefix_length)
        string(SUBSTRING "${ctest_name}" ${prefix_length} -1 gtest_name)
        gtest_verdict_patterns("${gtest_name}" pass skip fail)
        set_tests_properties(${ctest_name} PROPERTIES
            PASS_REGULAR_EXPRESSION "${pass}"
            SKIP_REGULAR_EXPRESSION "${skip}"
            FAIL_REGULAR_EXPRESSION "${fail}")
    endforeach()
endfunction()
