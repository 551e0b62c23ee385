# headset_add_test(<name> SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest program; every test case becomes its own ctest entry so the
# run parallelises across cores. LABELS select groups of tests (ctest -L); a
# program takes one label, for test discovery keeps only the first.
# Every program gets the generic helpers (testkit), which link no project
# library; a program names what it tests, and testkit_sigproc if it needs the
# signal primitives' counting allocator, in LIBS.
function(headset_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} testkit GTest::gtest GTest::gtest_main)
  if(ARG_LABELS)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# headset_add_benchmark(<name> SOURCES ... LIBS ...)
# One Google Benchmark program. The test run executes every benchmark once, for
# a single iteration, so none can rot; it never judges their times.
function(headset_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
  add_test(NAME ${name}_smoke COMMAND ${name} --benchmark_min_time=0)
  set_tests_properties(${name}_smoke PROPERTIES LABELS benchmark)
endfunction()

# headset_add_fuzzer(<name> SOURCES ... INSTRUMENT <target>... LIBS ...)
# A libFuzzer program, built with AddressSanitizer and UndefinedBehaviorSanitizer
# (every report aborts), so a fuzzing run sees reads past a buffer and
# undefined arithmetic, not only the entry's own checks. The sources of the
# INSTRUMENT targets are compiled into it with the fuzzer's coverage
# instrumentation and the sanitizers, so the fuzzer is guided by the code
# under test; everything else comes from LIBS as built for the tests.
#
# Its inputs live beside the fuzz entry: the seed corpus in
# fuzz/corpus/<name without _fuzzer>/ (required) and the inputs that once
# made it report in fuzz/regressions/<same>/ (kept once found, never
# removed). The ctest entry <name>_replay (label fuzz) runs the program once
# over every file of both folders and fails on any report.
function(headset_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;INSTRUMENT;LIBS" ${ARGN})
  set(sources ${ARG_SOURCES})
  foreach(target IN LISTS ARG_INSTRUMENT)
    get_target_property(folder ${target} SOURCE_DIR)
    get_target_property(files ${target} SOURCES)
    list(TRANSFORM files PREPEND ${folder}/)
    list(APPEND sources ${files})
  endforeach()
  set(sanitizers -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${sanitizers} -fno-omit-frame-pointer)
  target_link_options(${name} PRIVATE ${sanitizers})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})

  string(REGEX REPLACE "_fuzzer$" "" inputs ${name})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${inputs})
  if(NOT IS_DIRECTORY ${corpus})
    message(FATAL_ERROR "${name} has no seed corpus in ${corpus}")
  endif()
  add_test(NAME ${name}_replay
    COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}>
      -DFOLDERS=${corpus}|${CMAKE_CURRENT_SOURCE_DIR}/regressions/${inputs}
      -P ${PROJECT_SOURCE_DIR}/cmake/ReplayFuzzInputs.cmake)
  set_tests_properties(${name}_replay PROPERTIES LABELS fuzz TIMEOUT 120)
endfunction()
