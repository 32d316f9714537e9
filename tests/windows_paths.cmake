# The package's functions give Windows programs (names ending in .exe) every
# path with backslashes, as glyphrot.exe takes an argument that begins with /
# for an option: a project calls both with such programs and a UNC input, and
# the commands of the build it generates are read.
#   cmake -DSOURCE=<sources> -DWORK=<scratch folder> -DGENERATOR=<generator> -P windows_paths.cmake
cmake_minimum_required(VERSION 3.25)

# The package folder as installed, with programs of a Windows install.
file(REMOVE_RECURSE "${WORK}")
file(COPY "${SOURCE}/cmake/firmware-tools-functions.cmake" "${SOURCE}/cmake/firmware-tools-c-array.cmake"
          "${SOURCE}/glyphrot/orientations.table" "${SOURCE}/glyphrot/orientation-pairs.table"
     DESTINATION "${WORK}/package")
file(WRITE "${WORK}/project/CMakeLists.txt" [=[
cmake_minimum_required(VERSION 3.25)
project(windows_paths NONE)
foreach(program trivolta glyphrot)
  add_executable(firmware-tools::${program} IMPORTED)
  set_target_properties(firmware-tools::${program} PROPERTIES IMPORTED_LOCATION "C:/tools/${program}.exe")
endforeach()
include("${PACKAGE}/firmware-tools-functions.cmake")
firmware_tools_phase_table(phase.c ARGS -P48)
# Two runs: the first reads the input, the second converts in place.
firmware_tools_font(font.c //server/share/font.bin TO clockwise C_ARRAY Font)
add_custom_target(everything ALL DEPENDS ${CMAKE_BINARY_DIR}/phase.c ${CMAKE_BINARY_DIR}/font.c)
]=])
execute_process(COMMAND "${CMAKE_COMMAND}" -G "${GENERATOR}" -S "${WORK}/project" -B "${WORK}/build"
                        "-DPACKAGE=${WORK}/package" OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The project did not configure:\n${log}")
endif()

# Each command of the build (a Makefile's recipe lines, Ninja's COMMAND
# lines, split at &&) that starts a program, its arguments read as the shell
# reads them.
file(GLOB_RECURSE rules "${WORK}/build/*.make" "${WORK}/build/*.ninja")
set(commands 0)
foreach(rule IN LISTS rules)
  file(STRINGS "${rule}" lines REGEX "^(\t|  COMMAND = ).*(glyphrot|trivolta)\\.exe ")
  string(REPLACE "&&" ";" parts "${lines}")
  foreach(part IN LISTS parts)
    if(part MATCHES "(glyphrot|trivolta)\\.exe (.*)$")
      set(program "${CMAKE_MATCH_1}.exe")
      math(EXPR commands "${commands} + 1")
      separate_arguments(arguments UNIX_COMMAND "${CMAKE_MATCH_2}")
      foreach(argument IN LISTS arguments)
        if(argument MATCHES "/")
          message(SEND_ERROR "${program} is given '${argument}', not a Windows path:\n${part}")
        endif()
      endforeach()
    endif()
  endforeach()
endforeach()
if(NOT commands EQUAL 3)
  message(FATAL_ERROR "${commands} commands start the programs, not 3 (trivolta once, glyphrot twice)")
endif()
