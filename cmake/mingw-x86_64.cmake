# Cross toolchain: 64-bit Windows (PE32+) with mingw-w64, tests run under Wine. Used by the
# build of Kestrix for 64-bit processes, which the main build starts (see CMakeLists.txt).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
