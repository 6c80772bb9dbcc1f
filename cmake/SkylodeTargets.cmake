# One static library per source folder. Sources are picked up by folder so that
# adding a file never means editing a shared list.
set(SKYLODE_WARNINGS -Wall -Wextra)

if(SKYLODE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()

# Fuzzers only find their way through code that carries coverage counters, so
# the libraries they test are instrumented too (the counters cost the other
# tests little).
if(SKYLODE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# gcc 12 at -O2 reports std::string's own copies as out of bounds or
# overlapping (a known false positive); with the headers precompiled it does
# so in every file that joins strings, and would drown a real warning. The
# sanitizer build's clang still reports these kinds.
function(skylode_quiet_string_false_positives target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-restrict -Wno-stringop-overflow -Wno-stringop-overread)
  endif()
endfunction()

function(skylode_library name dir)
  file(GLOB_RECURSE _src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT _src)
    set(_src ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(skylode_${name} STATIC ${_src})
  target_include_directories(skylode_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(skylode_${name} PRIVATE ${SKYLODE_WARNINGS})
  set(_deps)
  foreach(dep IN LISTS ARGN)
    if(TARGET skylode_${dep})
      list(APPEND _deps skylode_${dep})
    else()
      list(APPEND _deps ${dep})
    endif()
  endforeach()
  target_link_libraries(skylode_${name} PUBLIC ${_deps})
  # Nearly every source includes these; on a cold build (CI has no compiler
  # cache) parsing them once per library instead of once per file saves
  # minutes.
  target_precompile_headers(skylode_${name} PRIVATE
    <algorithm> <array> <chrono> <cstdint> <cstdio> <cstring> <functional> <memory> <mutex>
    <optional> <span> <string> <string_view> <vector>)
  skylode_quiet_string_false_positives(skylode_${name})
endfunction()

# GoogleTest and the standard headers the tests share are parsed once per test
# binary instead of once per file: on a cold build (CI has no compiler cache)
# that parsing was over a second for every test source.
function(skylode_test_headers target)
  target_precompile_headers(${target} PRIVATE
    <gtest/gtest.h> <algorithm> <atomic> <chrono> <cmath> <cstdint> <cstdio> <cstdlib>
    <filesystem> <fstream> <functional> <map> <memory> <mutex> <optional> <set>
    <sstream> <string> <string_view> <thread> <vector>)
  skylode_quiet_string_false_positives(${target})
endfunction()

# A test binary per library: every *.cpp under tests/<dir> goes into test_<name>.
function(skylode_test name dir)
  file(GLOB_RECURSE _src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT _src)
    return()
  endif()
  add_executable(test_${name} ${_src})
  target_compile_options(test_${name} PRIVATE ${SKYLODE_WARNINGS})
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(test_${name} PRIVATE
    SKYLODE_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    SKYLODE_README="${CMAKE_SOURCE_DIR}/README.md"
    SKYLODE_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(_deps)
  foreach(dep IN LISTS ARGN)
    if(TARGET skylode_${dep})
      list(APPEND _deps skylode_${dep})
    else()
      list(APPEND _deps ${dep})
    endif()
  endforeach()
  target_link_libraries(test_${name} PRIVATE ${_deps} GTest::gtest GTest::gtest_main)
  skylode_test_headers(test_${name})
  # The reference searches the fast ones are held against run many times
  # slower under the sanitizers.
  if(SKYLODE_SANITIZE)
    set(_timeout 900)
  else()
    set(_timeout 300)
  endif()
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${_timeout})
endfunction()
