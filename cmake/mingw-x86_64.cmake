# Cross-compiles for 64-bit Windows with Debian's MinGW-w64: the test build on
# hosts that cannot run 32-bit code (see scripts/lib.sh).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
