# Programs for macOS on Intel processors, cross-compiled with zig:
#   cmake -B build/macos-x86_64 --toolchain cmake/x86_64-macos.cmake
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZIG_TARGET x86_64-macos)
set(REPLACE_SYSTEM darwin CACHE STRING "")
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
