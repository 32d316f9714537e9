# The eight orientations of the glyphs of INPUT, each made by the runs of
# GLYPHROT that give it, drawn side by side in two rows of four into
# FOLDER/orientations.txt (the fonts stay in FOLDER, each named after its
# orientation).
#   cmake -DGLYPHROT=glyphrot -DINPUT=font.bin -DFOLDER=demo -P orientations.cmake
cmake_minimum_required(VERSION 3.25)
# The orientations of orientations.table (beside this script), in its
# order, each made by its runs from as stored ("+" between runs) as
# firmware_tools_font reads them. Each picture is titled with its runs as
# the README lists them, ", " between runs.
include("${CMAKE_CURRENT_LIST_DIR}/../cmake/firmware-tools-functions.cmake")
get_property(orientations GLOBAL PROPERTY _firmware_tools_orientations)

set(fonts_1 "")
set(titles_1 "")
set(fonts_2 "")
set(titles_2 "")
set(count 0)
foreach(name IN LISTS orientations)
  _firmware_tools_runs(runs as-stored "${name}")
  set(file "${FOLDER}/${name}.bin")
  configure_file("${INPUT}" "${file}" COPYONLY)
  if(runs STREQUAL "")
    set(title "as stored")
  else()
    string(REPLACE "+" ", " title "${runs}")
    string(REPLACE "+" ";" runs "${runs}")
    foreach(run IN LISTS runs)
      separate_arguments(options UNIX_COMMAND "${run}")
      execute_process(COMMAND "${GLYPHROT}" ${options} "${file}" RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "glyphrot ${options} ${file}: ${status}")
      endif()
    endforeach()
  endif()
  math(EXPR count "${count} + 1")
  set(row 1)
  if(count GREATER 4)
    set(row 2)
  endif()
  list(APPEND fonts_${row} "${file}")
  list(APPEND titles_${row} "${title}")
endforeach()

set(picture "")
foreach(row 1 2)
  string(REPLACE ";" "|" fonts "${fonts_${row}}")
  string(REPLACE ";" "|" titles "${titles_${row}}")
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DFONTS=${fonts}" "-DTITLES=${titles}"
                          "-DOUTPUT=${FOLDER}/orientations-${row}.txt"
                          -P "${CMAKE_CURRENT_LIST_DIR}/show_glyphs.cmake"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "show_glyphs.cmake: ${status}")
  endif()
  file(READ "${FOLDER}/orientations-${row}.txt" part)
  file(REMOVE "${FOLDER}/orientations-${row}.txt")
  if(row EQUAL 2)
    string(APPEND picture "\n")
  endif()
  string(APPEND picture "${part}")
endforeach()
file(WRITE "${FOLDER}/orientations.txt" "${picture}")
