# Static programs for any x86_64 Linux, the musl C library linked in,
# cross-compiled with zig:
#   cmake -B build/linux-x86_64 --toolchain cmake/x86_64-linux-musl.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZIG_TARGET x86_64-linux-musl)
set(REPLACE_SYSTEM linux CACHE STRING "")
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
