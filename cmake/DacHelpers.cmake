# Small helpers so that adding a source or test file needs no CMake edit:
# every folder globs its own sources.

# dac_glob_sources(<out-var> <dir>...) - every .cpp/.c below the given folders.
function(dac_glob_sources out)
  set(all)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    list(APPEND all ${found})
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# dac_add_tests(<name> DIR <folder> LIBS <libs...>) - one GoogleTest executable
# per test folder, registered with CTest test by test. Nothing is made while
# the folder holds no test yet.
function(dac_add_tests name)
  cmake_parse_arguments(T "" "DIR" "LIBS" ${ARGN})
  dac_glob_sources(srcs ${T_DIR})
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)
endfunction()
