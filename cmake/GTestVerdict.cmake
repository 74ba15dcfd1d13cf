# A test program's exit status alone proves nothing here: under the emulation of Wine's 32-bit
# side a crashing program can end with status 0, and a filter that matches no test exits 0 too.
# gtest_verdict(<prefix> <ctest names>...) makes CTest judge each test registered by
# gtest_add_tests by GoogleTest's own summary instead: it passes only when the named test
# reported OK and the summary counts exactly one passed test, and it is shown as skipped when
# GoogleTest says it skipped that one test. The exit status is then ignored.
function(gtest_verdict prefix)
    foreach(ctest_name ${ARGN})
        string(REPLACE "${prefix}" "" gtest_name "${ctest_name}")
        string(REPLACE "." "\\." gtest_pattern "${gtest_name}")
        set_tests_properties(${ctest_name} PROPERTIES
            PASS_REGULAR_EXPRESSION "\\[       OK \\] ${gtest_pattern} \\(.*\\[  PASSED  \\] 1 test\\."
            SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] ${gtest_pattern} \\(.*\\[  SKIPPED \\] 1 test,")
    endforeach()
endfunction()
