# ctest builds the test programs before it reads their lists of tests.
#
# The demo builds the programs alone, so the GoogleTest programs can be
# missing, or older than the sources they test (after a change and another
# demo). The script written here is included by the build folder's
# CTestTestfile.cmake before those of the subfolders, whose lists of tests
# it would otherwise read first: it brings every test program up to date
# (the build also lists each program's tests again, gtest_discover_tests'
# POST_BUILD step), so a ctest run finds every test and runs no program
# older than its sources. A build that fails ends the run before any test.
# Up to date, the build costs well under a second.

# Every executable in `folder` and below that links GoogleTest.
function(collect_test_programs folder result)
  set(found "")
  get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(libraries ${target} LINK_LIBRARIES)
    if(type STREQUAL "EXECUTABLE" AND libraries MATCHES "GTest::")
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(subfolder IN LISTS subfolders)
    collect_test_programs(${subfolder} below)
    list(APPEND found ${below})
  endforeach()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

function(build_test_programs_before_ctest)
  collect_test_programs(${PROJECT_SOURCE_DIR} programs)
  if(NOT programs)
    return()
  endif()
  list(JOIN programs ", " names)
  set(script ${PROJECT_BINARY_DIR}/build_test_programs.cmake)
  file(WRITE ${script} "\
# Written by cmake/test_programs.cmake: the test programs, built before ctest
# reads their tests.
set(arguments --build \"${PROJECT_BINARY_DIR}\" --target ${programs})
if(CTEST_CONFIGURATION_TYPE)
  list(APPEND arguments --config \"\${CTEST_CONFIGURATION_TYPE}\")
endif()
if(NOT DEFINED ENV{CMAKE_BUILD_PARALLEL_LEVEL})
  list(APPEND arguments --parallel 2)
endif()
execute_process(COMMAND \"${CMAKE_COMMAND}\" \${arguments}
  OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(\"\${log}\")
  message(FATAL_ERROR \"The test programs (${names}) could not be built; no test is run.\")
endif()
")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()
