# Shared build rules: warnings, sanitizers, and helpers that every folder uses.

add_compile_options(-Wall -Wextra -Werror)

# The fuzz build instruments everything for coverage and memory errors; only the fuzz
# targets themselves add libFuzzer's main (-fsanitize=fuzzer).
if(OSTRELIN_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=fuzzer-no-link,address,undefined)
endif()

if(OSTRELIN_SANITIZER)
  add_compile_options(-fsanitize=${OSTRELIN_SANITIZER} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${OSTRELIN_SANITIZER})
endif()

# Adds every child folder of the current one that has a CMakeLists.txt, so that a new
# facility or test folder joins the build without editing its parent.
function(ostrelin_add_children)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# A library of the system: no exceptions, no RTTI needed.
function(ostrelin_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fno-exceptions)
endfunction()

find_package(GTest QUIET)
find_package(Threads REQUIRED)

# A GoogleTest executable registered with CTest, one CTest entry per test case.
# Usage: ostrelin_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l1 l2] [TIMEOUT s]
#                      [ENVIRONMENT NAME=VALUE])
function(ostrelin_test name)
  cmake_parse_arguments(T "" "TIMEOUT;ENVIRONMENT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  include(GoogleTest)
  # The discovery script cannot carry a list, so several labels become one ("sound+tsan"):
  # ctest -L and -LE take regular expressions, so each part still selects the test.
  string(REPLACE ";" "+" labels "${T_LABELS}")
  set(environment)
  if(T_ENVIRONMENT)
    set(environment ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${labels}" ${environment})
endfunction()
