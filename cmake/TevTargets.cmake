# Helpers that give every target of the project the same shape: one static library per source
# folder, one test executable per area, benchmarks and fuzz targets beside them.
include(GoogleTest)

# Every Windows executable links its runtime statically, so it runs from a folder on its own,
# and gets the 1 MiB stack that Windows hosts commonly give their threads.
function(tev_windows_executable_flags target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -Wl,--stack,1048576)
  endif()
endfunction()

# tev_add_library(<name> SOURCES ... [DEPS ...] [PRIVATE_DEPS ...])
function(tev_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tev_warnings ${ARG_PRIVATE_DEPS})
endfunction()

add_custom_target(tev_concurrency_tests)

# tev_add_test(<name> SOURCES ... [DEPS ...] [LABELS ...])
# On the native presets each case is its own ctest entry; under Wine a process start is costly,
# so the win32 preset registers the whole executable as one entry.
function(tev_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main
                                        tev_warnings Threads::Threads)
  tev_windows_executable_flags(${name})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    if(ARG_LABELS)
      set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  if("concurrency" IN_LIST ARG_LABELS)
    add_dependencies(tev_concurrency_tests ${name})
  endif()
endfunction()

# tev_add_bench(<name> SOURCES ... [DEPS ...]): a Google Benchmark executable bench_<area>.
function(tev_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark tev_warnings)
  tev_windows_executable_flags(${name})
endfunction()

# tev_add_fuzzer(<name> SOURCES ... [DEPS ...]): a libFuzzer target, built only with clang. The
# fuzz preset builds just these (target tev_fuzzers), not the plugin library or the tests.
add_custom_target(tev_fuzzers)
function(tev_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tev_warnings)
  add_dependencies(tev_fuzzers ${name})
endfunction()
