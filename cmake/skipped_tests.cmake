# Ends a ctest run with every test it skipped, and every case a test
# skipped inside its own table, under the reason each gave; then a line
# that counts the tests run, passed, skipped and failed. ctest's own list of
# skipped tests, printed before, gives no reasons. Run by ctest after the
# tests (CTEST_CUSTOM_POST_TEST, written into CTestCustom.cmake of the build
# folder), while the run's log is still LastTest.log.tmp; LastTest.log
# afterwards.
#   cmake -DFOLDER=<build folder>/Testing/Temporary -P skipped_tests.cmake
cmake_minimum_required(VERSION 3.25)

set(log "${FOLDER}/LastTest.log.tmp")
if(NOT EXISTS "${log}")
  set(log "${FOLDER}/LastTest.log")
endif()
if(NOT EXISTS "${log}")
  return()
endif()
file(READ "${log}" text)
# One list item a line: the characters that would split or join items
# (; [ ] \) stand in for themselves as control characters meanwhile.
string(ASCII 1 semicolon)
string(ASCII 2 open)
string(ASCII 3 close)
string(ASCII 4 backslash)
string(REPLACE ";" "${semicolon}" text "${text}")
string(REPLACE "[" "${open}" text "${text}")
string(REPLACE "]" "${close}" text "${text}")
string(REPLACE "\\" "${backslash}" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

# A test's section of the log: "n/m Test: NAME", its output, in which
# GoogleTest writes "FILE:LINE: Skipped", the reason (and any "Google Test
# trace:"), and "[  SKIPPED ] NAME";
# then "Test Passed.", or for a skipped test "Skip regular expression found
# in output". A test that runs a table prints "skipped, REASON: CASE" for a
# case it skips, or "skipped, REASON".
set(reasons "")  # each once; the names under reason i are in names_i
set(run 0)
set(passed 0)
set(skipped 0)
set(cases 0)
macro(add_skipped why who)
  list(FIND reasons "${why}" index)
  if(index EQUAL -1)
    list(LENGTH reasons index)
    list(APPEND reasons "${why}")
    set(names_${index} "")
  endif()
  string(APPEND names_${index} "\n      ${who}")
endmacro()
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9]+/[0-9]+ Test: (.*)$")
    # The whole name, without the "  # GetParam() = ..." some names carry.
    string(REGEX REPLACE " +# GetParam\\(\\) = .*$" "" name "${CMAKE_MATCH_1}")
    set(reason "")
    set(in_reason FALSE)
    math(EXPR run "${run} + 1")
  elseif(line STREQUAL "Test Passed.")
    math(EXPR passed "${passed} + 1")
  elseif(line MATCHES ": Skipped$")
    set(in_reason TRUE)
  elseif(line MATCHES "^${open}  SKIPPED ${close}" OR line STREQUAL "Google Test trace:")
    set(in_reason FALSE)
  elseif(in_reason AND NOT line STREQUAL "")
    string(STRIP "${reason} ${line}" reason)
  elseif(line MATCHES "^skipped, (.*): ([^:]*)$")
    add_skipped("${CMAKE_MATCH_1}" "${name} (its case: ${CMAKE_MATCH_2})")
    math(EXPR cases "${cases} + 1")
  elseif(line MATCHES "^skipped, (.*)$")
    add_skipped("${CMAKE_MATCH_1}" "${name} (one of its cases)")
    math(EXPR cases "${cases} + 1")
  elseif(line MATCHES "^Skip regular expression found in output")
    if(reason STREQUAL "")
      set(reason "(no reason given)")
    endif()
    add_skipped("${reason}" "${name}")
    math(EXPR skipped "${skipped} + 1")
  endif()
endforeach()

set(report "")
set(index 0)
foreach(reason IN LISTS reasons)
  string(APPEND report "\n  ${reason}${names_${index}}")
  math(EXPR index "${index} + 1")
endforeach()
if(NOT report STREQUAL "")
  string(PREPEND report "\nSkipped, under the reason each gave (the full list, tests and cases of tables):")
endif()
math(EXPR failed "${run} - ${passed} - ${skipped}")
string(APPEND report "\n${run} tests run: ${passed} passed, ${skipped} skipped, ${failed} failed")
if(cases GREATER 0)
  string(APPEND report "; ${cases} cases inside tests skipped")
endif()
string(REPLACE "${semicolon}" ";" report "${report}")
string(REPLACE "${open}" "[" report "${report}")
string(REPLACE "${close}" "]" report "${report}")
string(REPLACE "${backslash}" "\\" report "${report}")
message("${report}")
