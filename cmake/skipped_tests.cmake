# Prints each test of the last ctest run that was skipped, with the reason
# GoogleTest gave (GTEST_SKIP() << reason): ctest itself lists skipped tests
# without one. Run by ctest after the tests (CTEST_CUSTOM_POST_TEST, written
# into CTestCustom.cmake of the build folder), while the run's log is still
# LastTest.log.tmp; LastTest.log afterwards.
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
# GoogleTest writes "FILE:LINE: Skipped", the reason, and "[  SKIPPED ] NAME";
# then, for a skipped test, "Skip regular expression found in output". A
# test that runs a table prints "skipped, REASON: ROW" for a row it skips.
set(report "")
set(reason "")
set(in_reason FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9]+/[0-9]+ Test: ([^ ]*)")  # without "  # GetParam() = ..."
    set(name "${CMAKE_MATCH_1}")
    set(reason "")
  elseif(line MATCHES ": Skipped$")
    set(in_reason TRUE)
  elseif(line MATCHES "^${open}  SKIPPED ${close}")
    set(in_reason FALSE)
  elseif(in_reason AND NOT line STREQUAL "")
    string(STRIP "${reason} ${line}" reason)
  elseif(line MATCHES "^skipped, (.*)")
    string(APPEND report "\n\t${name}, one case: ${CMAKE_MATCH_1}")
  elseif(line MATCHES "^Skip regular expression found in output")
    if(reason STREQUAL "")
      set(reason "(no reason given)")
    endif()
    string(APPEND report "\n\t${name}: ${reason}")
  endif()
endforeach()
if(report STREQUAL "")
  return()
endif()
string(REPLACE "${semicolon}" ";" report "${report}")
string(REPLACE "${open}" "[" report "${report}")
string(REPLACE "${close}" "]" report "${report}")
string(REPLACE "${backslash}" "\\" report "${report}")
message("\nThe skipped tests and cases, each with its reason:${report}")
