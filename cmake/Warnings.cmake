# Warnings for our own targets; none may fire in our code.
function(vordash_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wformat=2 -Wdouble-promotion -Wmissing-declarations
    -Wimplicit-fallthrough)
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
endfunction()

# One test executable per subsystem folder, every .cpp below it, discovered by CTest.
function(vordash_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(test_${name} ${sources})
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  vordash_warnings(test_${name})
  target_compile_definitions(test_${name} PRIVATE
    VORDASH_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests")
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()
