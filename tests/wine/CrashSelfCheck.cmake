# cmake -DPROGRAM=<test program> -DTEST_NAME=<Suite.Name> -DAFTER_SUMMARY=ON|OFF
#       -P CrashSelfCheck.cmake
# Runs a test program that crashes on purpose under Wine, as CTest runs a test, and checks that
# the crash ends it within 30 s, that the verdict CTest gives every test program's test
# (cmake/GTestVerdict.cmake) fails it, and that no debugger was left running. Its own verdict is
# its exit status: this script is a native process.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/GTestVerdict.cmake)

set(limit 30)
string(TIMESTAMP started "%s")
execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/run-test.sh ${PROGRAM}
                        --gtest_filter=${TEST_NAME}
                TIMEOUT ${limit}
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
string(TIMESTAMP ended "%s")
math(EXPR seconds "${ended} - ${started}")
string(APPEND output "${errors}")
message("${output}")

if(NOT status MATCHES "^-?[0-9]+$")
    message(FATAL_ERROR "${TEST_NAME} did not end within ${limit} s: ${status}")
endif()
# Preconditions: the program did crash, through the filter, and (for the late crash) after a
# summary that alone would pass the test.
if(NOT output MATCHES "\\[  CRASHED \\] exception 0x")
    message(FATAL_ERROR "${TEST_NAME} did not report a crash")
endif()
gtest_verdict_patterns("${TEST_NAME}" pass skip fail)
if(AFTER_SUMMARY AND NOT output MATCHES "${pass}")
    message(FATAL_ERROR "${TEST_NAME} crashed before its passing summary: nothing is shown")
endif()
set(failed OFF)
foreach(pattern ${fail})
    if(output MATCHES "${pattern}")
        set(failed ON)
    endif()
endforeach()
if(NOT failed)
    message(FATAL_ERROR "the verdict would not fail ${TEST_NAME}")
endif()
# Debuggers of this prefix only: the other prefix may be being created meanwhile, and a program
# that crashes there before its debugger setting is written starts one of its own.
execute_process(COMMAND sh -c "for pid in $(pgrep winedbg); do
        tr '\\0' '\\n' </proc/$pid/environ 2>/dev/null | grep -qxF \"WINEPREFIX=$WINEPREFIX\" &&
            ps -o pid=,args= -p $pid; done; true"
                OUTPUT_VARIABLE debuggers)
if(NOT debuggers STREQUAL "")
    message(FATAL_ERROR "a debugger is running in $ENV{WINEPREFIX}: ${debuggers}")
endif()
message("crash self-check passed: ${TEST_NAME} failed after ${seconds} s, status ${status}")
