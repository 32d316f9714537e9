# Read after the platform's rules (CMAKE_USER_MAKE_RULES_OVERRIDE of
# zig.cmake): zig's linker takes no -v, which CMake's rules for Apple
# platforms pass it to learn the ABI; the compiler's -v tells enough.
set(CMAKE_C_VERBOSE_FLAG "-v")
set(CMAKE_CXX_VERBOSE_FLAG "-v")
