# Functions of the firmware-tools package, for a firmware build that makes
# its phase table and font as it needs them (doc/firmware.md, "In a firmware
# build"):
#
#   firmware_tools_phase_table(<output> [ASM] [ARGS <trivolta arguments>...])
#   firmware_tools_font(<output> <input> [FROM <orientation>] TO <orientation>
#                       [C_ARRAY <name>])
#
# Each adds a custom command that writes <output> (a relative path is taken
# in the current binary directory); a target of the same directory that
# lists <output> among its sources has it made, and made again when the
# input or the programs change.
include_guard(GLOBAL)

# The orientations of a glyph, their other names and the runs of glyphrot
# between any two, from orientations.table and orientation-pairs.table
# beside this file, or in glyphrot/ of the source tree (their formats are
# described there). Kept as global properties, since a second find_package
# in another folder does not read this file again:
#   _firmware_tools_orientations        the orientations, in the table's order
#   _firmware_tools_aliases             the other names, in the table's order
#   _firmware_tools_alias:<name>        the orientation <name> is another name for
#   _firmware_tools_runs:<from>:<to>    the runs, "+" between runs
function(_firmware_tools_read_orientations)
  set(folder "${CMAKE_CURRENT_FUNCTION_LIST_DIR}")
  if(NOT EXISTS "${folder}/orientations.table")  # in the source tree
    set(folder "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../glyphrot")
  endif()
  file(STRINGS "${folder}/orientations.table" lines REGEX "^[^#]")
  set(orientations "")
  set(aliases "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([^|]+)\\|(-[^|]*)?$")
      list(APPEND orientations "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^([^|]+)\\|([^|-][^|]*)$")
      list(APPEND aliases "${CMAKE_MATCH_1}")
      set_property(GLOBAL PROPERTY "_firmware_tools_alias:${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}")
    else()
      message(FATAL_ERROR "${folder}/orientations.table: '${line}' is neither an orientation nor another name")
    endif()
  endforeach()
  file(STRINGS "${folder}/orientation-pairs.table" lines REGEX "^[^#]")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([^|]+)\\|([^|]+)\\|([^|]*)$")
      message(FATAL_ERROR "${folder}/orientation-pairs.table: '${line}' is not from|to|runs")
    endif()
    set_property(GLOBAL PROPERTY "_firmware_tools_runs:${CMAKE_MATCH_1}:${CMAKE_MATCH_2}" "${CMAKE_MATCH_3}")
  endforeach()
  set_property(GLOBAL PROPERTY _firmware_tools_orientations "${orientations}")
  set_property(GLOBAL PROPERTY _firmware_tools_aliases "${aliases}")
endfunction()
_firmware_tools_read_orientations()

# Sets <variable> to the orientation <name> is (itself, or the one it is
# another name for); an unknown name ends the configuration with the names
# there are.
function(_firmware_tools_orientation variable name what)
  get_property(orientations GLOBAL PROPERTY _firmware_tools_orientations)
  get_property(aliases GLOBAL PROPERTY _firmware_tools_aliases)
  get_property(alias_of GLOBAL PROPERTY "_firmware_tools_alias:${name}")
  set(orientation "${name}")
  if(alias_of)
    set(orientation "${alias_of}")
  endif()
  list(FIND orientations "${orientation}" index)
  if(NOT index EQUAL -1)
    set(${variable} "${orientation}" PARENT_SCOPE)
    return()
  endif()
  string(JOIN " " names ${orientations})
  set(alias_names "")
  foreach(alias IN LISTS aliases)
    get_property(alias_of GLOBAL PROPERTY "_firmware_tools_alias:${alias}")
    string(APPEND alias_names " ${alias} (${alias_of})")
  endforeach()
  message(FATAL_ERROR "firmware_tools_font: ${what} '${name}' is not an orientation. "
                      "The orientations are: ${names}; and the other names for them:${alias_names}.")
endfunction()

# Sets <variable> to the runs of glyphrot ("+" between runs) that take a font
# stored as <from> to <to>, as orientation-pairs.table gives them.
function(_firmware_tools_runs variable from to)
  _firmware_tools_orientation(from "${from}" FROM)
  _firmware_tools_orientation(to "${to}" TO)
  get_property(listed GLOBAL PROPERTY "_firmware_tools_runs:${from}:${to}" SET)
  if(NOT listed)
    message(FATAL_ERROR "firmware_tools_font: orientation-pairs.table has no line ${from}|${to}")
  endif()
  get_property(runs GLOBAL PROPERTY "_firmware_tools_runs:${from}:${to}")
  set(${variable} "${runs}" PARENT_SCOPE)
endfunction()

# A full path: a relative one taken from <base>.
function(_firmware_tools_full_path variable path base)
  cmake_path(ABSOLUTE_PATH path BASE_DIRECTORY "${base}" NORMALIZE)
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()

# Sets <variable> to <path> as the program <target> is to be given it: with
# backslashes for a Windows program (one whose file name ends in .exe).
# glyphrot.exe takes every argument that begins with / as an option, and
# CMake writes paths with / (a UNC path as //server/share/...). Decided by
# the program, not the host: a Windows program started on another system
# (wine) takes its arguments the same way.
function(_firmware_tools_program_path variable target path)
  get_target_property(program ${target} LOCATION)
  if(program MATCHES "\\.[Ee][Xx][Ee]$")
    string(REPLACE "/" "\\" path "${path}")
  endif()
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()

# firmware_tools_phase_table(<output> [ASM] [ARGS <trivolta arguments>...])
#
# Writes trivolta's table as C, or with ASM as assembler DB lines, to
# <output>. ARGS are trivolta's options other than the output's (-P48,
# -S16, -A4 ...); -O... is refused, since the function chooses the output.
# A warning of trivolta (a period that is not a multiple of 6) is printed in
# the build and does not fail it; an error does.
function(firmware_tools_phase_table output)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ASM" "" "ARGS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "firmware_tools_phase_table(${output}): unknown arguments "
                        "${arg_UNPARSED_ARGUMENTS}; trivolta's options follow ARGS")
  endif()
  foreach(argument IN LISTS arg_ARGS)
    if(argument MATCHES "^-[Oo]")
      message(FATAL_ERROR "firmware_tools_phase_table(${output}): ARGS ${argument} chooses the "
                          "output, which the function does: name the file as its first argument, "
                          "and give ASM for the assembler form")
    endif()
  endforeach()
  _firmware_tools_full_path(output "${output}" "${CMAKE_CURRENT_BINARY_DIR}")
  cmake_path(GET output PARENT_PATH folder)
  file(MAKE_DIRECTORY "${folder}")
  set(format C)
  set(form "C")
  if(arg_ASM)
    set(format A)
    set(form "assembler")
  endif()
  string(JOIN " " shown trivolta ${arg_ARGS})
  _firmware_tools_program_path(written firmware-tools::trivolta "${output}")
  add_custom_command(OUTPUT "${output}"
    COMMAND firmware-tools::trivolta ${arg_ARGS} "-O${format}${written}"
    DEPENDS "$<TARGET_FILE:firmware-tools::trivolta>"
    COMMENT "The phase table as ${form} (${shown}): ${output}"
    VERBATIM)
endfunction()

# firmware_tools_font(<output> <input> [FROM <orientation>] TO <orientation>
#                     [C_ARRAY <name>])
#
# Converts the font <input> (a relative path is taken in the current source
# directory), stored as FROM (as-stored unless given), to the orientation TO
# with the fewest runs of glyphrot (orientation-pairs.table), into <output>:
# the bytes, or with C_ARRAY a C source that defines them as the array
# <name>, one glyph a line (firmware-tools-c-array.cmake):
#   FIRMWARE_TOOLS_CODE const unsigned char <name>[<bytes>] = {...};
# FIRMWARE_TOOLS_CODE is __code for SDCC's 8051 ports (the array stays in
# program memory), PROGMEM for avr-gcc, empty for other compilers; a
# definition of your own (-DFIRMWARE_TOOLS_CODE=code for Keil C51) wins.
function(firmware_tools_font output input)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "FROM;TO;C_ARRAY" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "firmware_tools_font(${output}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT DEFINED arg_TO)
    message(FATAL_ERROR "firmware_tools_font(${output}): TO <orientation> is missing")
  endif()
  if(NOT DEFINED arg_FROM)
    set(arg_FROM as-stored)
  endif()
  if(DEFINED arg_C_ARRAY AND NOT arg_C_ARRAY MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "firmware_tools_font(${output}): C_ARRAY '${arg_C_ARRAY}' is not a C name")
  endif()
  _firmware_tools_runs(runs "${arg_FROM}" "${arg_TO}")
  _firmware_tools_full_path(output "${output}" "${CMAKE_CURRENT_BINARY_DIR}")
  _firmware_tools_full_path(input "${input}" "${CMAKE_CURRENT_SOURCE_DIR}")

  # The runs write a file of their own, named after the output, which is
  # written only once they all succeeded.
  string(MD5 key "${output}")
  string(SUBSTRING "${key}" 0 12 key)
  cmake_path(GET output FILENAME name)
  set(converted "${CMAKE_CURRENT_BINARY_DIR}/firmware-tools/${name}-${key}.bin")
  cmake_path(GET output PARENT_PATH folder)
  file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/firmware-tools" "${folder}")

  set(commands "")
  if(runs STREQUAL "")
    list(APPEND commands COMMAND "${CMAKE_COMMAND}" -E copy "${input}" "${converted}")
  else()
    string(REPLACE "+" ";" runs "${runs}")
    _firmware_tools_program_path(from firmware-tools::glyphrot "${input}")
    _firmware_tools_program_path(to firmware-tools::glyphrot "${converted}")
    foreach(run IN LISTS runs)
      separate_arguments(options UNIX_COMMAND "${run}")
      # The first run reads the input, the others convert in place.
      list(APPEND commands COMMAND firmware-tools::glyphrot ${options} ${from} "${to}")
      set(from "")
    endforeach()
  endif()
  set(depends "${input}" "$<TARGET_FILE:firmware-tools::glyphrot>")
  if(DEFINED arg_C_ARRAY)
    set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/firmware-tools-c-array.cmake")
    list(APPEND commands COMMAND "${CMAKE_COMMAND}" "-DINPUT=${converted}" "-DOUTPUT=${output}"
                                 "-DNAME=${arg_C_ARRAY}" -P "${script}")
    list(APPEND depends "${script}")
    set(form "the C array ${arg_C_ARRAY}")
  else()
    list(APPEND commands COMMAND "${CMAKE_COMMAND}" -E copy "${converted}" "${output}")
    set(form "${output}")
  endif()
  add_custom_command(OUTPUT "${output}"
    ${commands}
    DEPENDS ${depends}
    BYPRODUCTS "${converted}"
    COMMENT "glyphrot: ${input}, stored ${arg_FROM}, to ${arg_TO} as ${form}"
    VERBATIM)
endfunction()
