# Makes every release archive in OUTPUT (build/release), the target of
# `cmake --workflow --preset release`; OUTPUT then holds them alone:
#   firmware-tools_<version>_amd64.deb             cpack -G DEB in build/default
#   firmware-tools-<version>-linux-x86_64.tar.gz   static programs, g++ -static
#   firmware-tools-<version>-linux-aarch64.tar.gz  and Debian's aarch64 cross g++
#   firmware-tools-<version>-macos-arm64.tar.gz    zig
#   firmware-tools-<version>-macos-x86_64.tar.gz
#   firmware-tools-<version>-win64.zip             cpack -G ZIP in build/windows
# The presets' folders (build/web for the browser page every archive holds,
# build/default, build/windows) are used as they are and brought up to
# date; the tarballs' builds have theirs in BUILDS (build/release-builds, the
# release preset's folder), every warning an error. A tarball holds what
# `cmake --install` lays out: bin/, share/man/, share/doc/firmware-tools/
# (README, guides), share/firmware-tools/web/ and lib/cmake/firmware-tools/.
#   cmake -DSOURCE=<source> -DOUTPUT=<folder> -DBUILDS=<folder> -DVERSION=<version> -P release.cmake
cmake_minimum_required(VERSION 3.25)

# Runs a command in the source folder; its output is shown only when it fails.
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${SOURCE}"
    OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message("${log}")
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "release: failed: ${command}")
  endif()
endfunction()

string(TIMESTAMP started "%s")
function(step what)
  string(TIMESTAMP now "%s")
  math(EXPR seconds "${now} - ${started}")
  message(STATUS "release ${VERSION}, ${seconds} s: ${what}")
endfunction()

# The version is project(VERSION) alone; the files that repeat it must agree.
string(REGEX MATCH "^[0-9]+\\.[0-9]+" short_version "${VERSION}")
set(repeats
  "packaging/changelog|^firmware-tools \\(${VERSION}\\)"
  "trivolta/trivolta.1|^\\.TH [^\n]*\"firmware tools ${short_version}\""
  "glyphrot/glyphrot.1|^\\.TH [^\n]*\"firmware tools ${short_version}\""
  "packaging/windows/README.txt|^firmware tools ${short_version} for Windows")
foreach(repeat IN LISTS repeats)
  string(REPLACE "|" ";" repeat "${repeat}")
  list(GET repeat 0 file)
  list(GET repeat 1 pattern)
  file(READ "${SOURCE}/${file}" text)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "release: ${file} does not begin with the version of project(VERSION) in "
                        "CMakeLists.txt, ${VERSION} (looked for: ${pattern})")
  endif()
endforeach()

file(READ "${SOURCE}/README.md" text)
string(REGEX MATCHALL "firmware-tools[-_][0-9]+\\.[0-9]+\\.[0-9]+" names "${text}")
foreach(name IN LISTS names)
  if(NOT name MATCHES "[-_]${VERSION}$")
    message(FATAL_ERROR "release: README.md names ${name}, not version ${VERSION} of project(VERSION)")
  endif()
endforeach()

# Emptied first: a file left from an earlier release, another version or a
# build that was once made here would pass for part of this one.
if(NOT OUTPUT OR NOT BUILDS OR OUTPUT STREQUAL BUILDS)
  message(FATAL_ERROR "release: OUTPUT (${OUTPUT}) and BUILDS (${BUILDS}) must be two folders")
endif()
file(REMOVE_RECURSE "${OUTPUT}")
file(MAKE_DIRECTORY "${OUTPUT}")

# The builds below run their own jobs, not those of the make that runs this.
set(ENV{MAKEFLAGS} "")

step("the browser page (web preset)")
run(${CMAKE_COMMAND} --workflow --preset web)

step("deb (default preset)")
run(${CMAKE_COMMAND} --preset default)
run(${CMAKE_CPACK_COMMAND} -G DEB --config build/default/CPackConfig.cmake -B build/default)
file(GLOB deb "${SOURCE}/build/default/firmware-tools_${VERSION}_*.deb")
file(COPY ${deb} DESTINATION "${OUTPUT}")

# The tarballs, each from a build of its own: the name it ends in, and the
# toolchain file (none for this machine's g++). g++ links Linux's programs
# statically in a minute; zig would first build a C library and libc++ of
# its own for each, some five minutes on a machine without its cache.
set(tarballs
  "linux-x86_64|"
  "linux-aarch64|aarch64-linux-gnu"
  "macos-arm64|aarch64-macos"
  "macos-x86_64|x86_64-macos")
foreach(tarball IN LISTS tarballs)
  string(REPLACE "|" ";" tarball "${tarball}")
  list(GET tarball 0 name)
  list(GET tarball 1 toolchain)
  step("${name} (${toolchain})")
  set(build "${BUILDS}/${name}")
  set(folder "firmware-tools-${VERSION}-${name}")
  set(options -DCMAKE_EXE_LINKER_FLAGS=-static)
  if(toolchain)
    set(options --toolchain "${SOURCE}/cmake/${toolchain}.cmake")
  endif()
  run(${CMAKE_COMMAND} -S "${SOURCE}" -B "${build}" ${options}
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_CXX_FLAGS=-Werror)
  run(${CMAKE_COMMAND} --build "${build}" --parallel 2)
  # Installed afresh, so that nothing an older version installed stays.
  file(REMOVE_RECURSE "${build}/archive")
  # zig strips and signs macOS's programs as it links them; a strip after
  # that would void the signature.
  set(strip "")
  if(name MATCHES "^linux")
    set(strip --strip)
  endif()
  run(${CMAKE_COMMAND} --install "${build}" --prefix "${build}/archive/${folder}" ${strip})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf "${OUTPUT}/${folder}.tar.gz" "${folder}"
    WORKING_DIRECTORY "${build}/archive" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "release: ${folder}.tar.gz could not be written")
  endif()
endforeach()

step("win64 (windows preset)")
run(${CMAKE_COMMAND} --preset windows)
run(${CMAKE_COMMAND} --build --preset windows)
run(${CMAKE_CPACK_COMMAND} -G ZIP --config build/windows/CPackConfig.cmake -B build/windows)
file(COPY "${SOURCE}/build/windows/firmware-tools-${VERSION}-win64.zip" DESTINATION "${OUTPUT}")

step("done, in ${OUTPUT}")
