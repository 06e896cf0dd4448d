# Common settings for every target of our own code.

set(VANTRY_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror)

function(vantry_defaults target)
  target_compile_options(${target} PRIVATE ${VANTRY_WARNINGS})
  if(VANTRY_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(VANTRY_FUZZ)
    # Coverage for libFuzzer in the libraries too, not only in the fuzz target's own file.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    # Programs that link instrumented libraries need the coverage run-time too (plug-in
    # modules take it from the fuzzer that loads them).
    get_target_property(target_type ${target} TYPE)
    if(target_type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
  endif()
endfunction()

# vantry_library(name SOURCES ...): a static library whose public headers live in
# <folder>/include. Dependencies are given by the caller with target_link_libraries,
# PRIVATE unless a public header needs them, so that each layer sees only what it uses.
function(vantry_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  if(NOT ARG_SOURCES)
    # A layer not written yet: an empty library keeps its dependents linkable.
    set(ARG_SOURCES ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  vantry_defaults(${name})
endfunction()

function(vantry_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  vantry_defaults(${name})
endfunction()

# vantry_test(name SOURCES ... LIBS ...): a GoogleTest executable registered with CTest.
# Each test case runs as its own CTest test; discovery happens when the tests run.
function(vantry_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  vantry_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} vantry_test_support GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    VANTRY_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    VANTRY_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# vantry_fuzzer(name SOURCES ... LIBS ...): a libFuzzer target. With VANTRY_FUZZ it links
# libFuzzer; otherwise a small driver runs the corpus and bounded random inputs, which is
# how CTest gives every fuzz target a short smoke run in the ordinary build.
function(vantry_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  vantry_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(VANTRY_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # Exports the coverage hooks to the plug-in modules a fuzzer loads.
    set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/standalone_main.cpp)
  endif()
  if(VANTRY_BUILD_TESTS)
    set(corpus_arg)
    if(ARG_CORPUS)
      set(corpus_arg ${ARG_CORPUS})
    endif()
    if(VANTRY_FUZZ)
      # libFuzzer adds what it finds to its first folder: keep that in the build folder.
      file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name}-found)
      add_test(NAME fuzz_smoke.${name}
        COMMAND ${name} -runs=20000 -max_len=65536 ${CMAKE_CURRENT_BINARY_DIR}/${name}-found ${corpus_arg})
    else()
      add_test(NAME fuzz_smoke.${name} COMMAND ${name} --runs=3000 ${corpus_arg})
    endif()
    set_tests_properties(fuzz_smoke.${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
  endif()
endfunction()

# Adds every sub-folder of the current folder that has a CMakeLists.txt, in name order, so
# that a new test, benchmark, fuzz target or tool needs no edit of its parent.
function(vantry_add_subfolders)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
