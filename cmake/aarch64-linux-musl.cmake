# Static programs for any 64-bit Arm Linux, the musl C library linked in,
# cross-compiled with zig:
#   cmake -B build/linux-aarch64 --toolchain cmake/aarch64-linux-musl.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZIG_TARGET aarch64-linux-musl)
set(REPLACE_SYSTEM linux CACHE STRING "")
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
