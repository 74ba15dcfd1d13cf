# Cross toolchain: 32-bit Windows (PE32) with mingw-w64, tests run under Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
