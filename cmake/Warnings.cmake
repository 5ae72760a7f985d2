# Warnings for our own targets; none may fire in our code.
function(vordash_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wformat=2 -Wdouble-promotion -Wmissing-declarations
    -Wimplicit-fallthrough)
endfunction()

# Most of a file's compile is the headers it shares with the other files of its library or
# test executable (the standard library, GoogleTest, the subsystem's headers) and the
# inline code they make. With VORDASH_UNITY (the default) the files of a library or a test
# executable are compiled together, a batch of them per translation unit, so the shared
# part is compiled once per batch instead of once per file. Any files of one target may
# share a batch, so their file-local names (in the anonymous namespace) must differ: a
# helper that more than one file needs belongs in a shared header (for tests the folder's
# *_test_support.h). A file that cannot follow that is set SKIP_UNITY_BUILD_INCLUSION.
option(VORDASH_UNITY "Compile the files of each library and test executable in batches" ON)
set(VORDASH_UNITY_BATCH_SIZE 8 CACHE STRING "Files per unity translation unit (0: all of them)")
function(vordash_unity target)
  if(VORDASH_UNITY)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON
      UNITY_BUILD_BATCH_SIZE ${VORDASH_UNITY_BATCH_SIZE})
  endif()
endfunction()

# One static library per subsystem folder: every .cpp below the folder belongs to it.
# NAME is the target (vordash_<name>), DEPS the libraries it links publicly.
function(vordash_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXTRA_SOURCES" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(vordash_${name} STATIC ${sources} ${ARG_EXTRA_SOURCES})
  target_include_directories(vordash_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vordash_${name} PUBLIC ${ARG_DEPS})
  vordash_warnings(vordash_${name})
  vordash_unity(vordash_${name})
endfunction()

# Test code is most of the compile time and runs for milliseconds: the test files are
# compiled at -O0 (in both builds; it halves their compile under the sanitizers, and the
# shared precompiled header is built at the same level), while the libraries under test
# keep the build's level. The test support libraries do real work for many tests (the
# harness compiles, the kernel simulator answers): -O1 there, as in the sanitizer build.
function(vordash_test_optimisation target)
  if(NOT VORDASH_SANITIZE)
    target_compile_options(${target} PRIVATE -O1)
  endif()
endfunction()

# The compile settings every test executable shares; the precompiled GoogleTest header
# is only reused by targets whose settings match it exactly.
function(vordash_test_settings target)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gtest_main)
  vordash_warnings(${target})
  target_compile_definitions(${target} PRIVATE
    VORDASH_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests")
  target_compile_options(${target} PRIVATE -O0)
endfunction()

# GoogleTest's header costs about a second of every test file's compile (two under the
# sanitizers). It is precompiled once, by this target, and every test executable reuses
# that one header: built per executable it cost about as much as it saved.
function(vordash_test_pch)
  if(TARGET vordash_test_pch)
    return()
  endif()
  set(stub ${PROJECT_BINARY_DIR}/vordash_test_pch.cpp)
  file(CONFIGURE OUTPUT ${stub} CONTENT "// The owner of the tests' precompiled header.\n")
  add_library(vordash_test_pch OBJECT ${stub})
  vordash_test_settings(vordash_test_pch)
  target_precompile_headers(vordash_test_pch PRIVATE <gtest/gtest.h>)
endfunction()

# One test executable per subsystem folder, every .cpp below it (a new folder under
# tests/ calls this and gets the shared precompiled header and the CTest registration).
# DEPS are the libraries it links. With VORDASH_TEST_PER_CASE every GoogleTest case is a
# CTest test of its own; without it the executable runs as one CTest test, all its cases
# in one process, or in VORDASH_TEST_SHARDS processes that share the cases out.
set(VORDASH_TEST_SHARDS 4 CACHE STRING
    "Processes each test executable's cases are shared out to without VORDASH_TEST_PER_CASE")
function(vordash_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS})
  vordash_test_settings(test_${name})
  vordash_unity(test_${name})
  # The allocation counter, which some executables add, replaces the global operator new
  # and delete: compiled beside the tests the compiler would see both ends of a pair.
  set_source_files_properties(${PROJECT_SOURCE_DIR}/tests/core/allocation_count.cpp
    PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
  vordash_test_pch()
  target_precompile_headers(test_${name} REUSE_FROM vordash_test_pch)
  set(environment "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
  if(VORDASH_TEST_PER_CASE)
    gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "${environment}")
  else()
    # The cases are dealt round-robin to VORDASH_TEST_SHARDS processes (GoogleTest's
    # sharding), so that one long executable does not keep the other cores idle.
    math(EXPR last "${VORDASH_TEST_SHARDS} - 1")
    foreach(shard RANGE ${last})
      add_test(NAME test_${name}.shard${shard} COMMAND test_${name}
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
      set_tests_properties(test_${name}.shard${shard} PROPERTIES ENVIRONMENT
        "${environment};GTEST_TOTAL_SHARDS=${VORDASH_TEST_SHARDS};GTEST_SHARD_INDEX=${shard}")
    endforeach()
  endif()
endfunction()
