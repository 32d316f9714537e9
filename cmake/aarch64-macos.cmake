# Programs for macOS on Apple silicon, cross-compiled with zig:
#   cmake -B build/macos-arm64 --toolchain cmake/aarch64-macos.cmake
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(ZIG_TARGET aarch64-macos)
set(REPLACE_SYSTEM darwin CACHE STRING "")
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
