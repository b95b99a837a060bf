# Third-party libraries, found the standard way; nothing is vendored. On the win32 preset the
# toolchain file points the search at the cross-built libyaml and GoogleTest, and rapidjson's
# header-only tree is shared with the native build.
find_package(Threads REQUIRED)

# tev_header_only(<target> <header> [<entry>...]): an interface target for a header-only library
# of the system's include folder, through a private folder that holds links to its <entry>s
# (files or folders under /usr/include) only: adding /usr/include itself would shadow MinGW's
# headers.
function(tev_header_only target header)
  string(MAKE_C_IDENTIFIER "${header}" var)
  find_path(TEV_${var}_DIR ${header} PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(dir "${CMAKE_BINARY_DIR}/third_party/${target}-include")
  foreach(entry IN LISTS ARGN)
    if(NOT EXISTS "${dir}/${entry}")
      file(MAKE_DIRECTORY "${dir}")
      file(CREATE_LINK "${TEV_${var}_DIR}/${entry}" "${dir}/${entry}" SYMBOLIC)
    endif()
  endforeach()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE "${dir}")
endfunction()

tev_header_only(tev_rapidjson rapidjson/reader.h rapidjson)

if(WIN32)
  find_path(TEV_YAML_INCLUDE_DIR yaml.h REQUIRED)
  find_library(TEV_YAML_LIBRARY NAMES libyaml.a yaml REQUIRED)
  add_library(tev_yaml INTERFACE)
  target_include_directories(tev_yaml SYSTEM INTERFACE "${TEV_YAML_INCLUDE_DIR}")
  target_link_libraries(tev_yaml INTERFACE "${TEV_YAML_LIBRARY}")
  target_compile_definitions(tev_yaml INTERFACE YAML_DECLARE_STATIC)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(TEV_YAML REQUIRED IMPORTED_TARGET yaml-0.1)
  add_library(tev_yaml INTERFACE)
  target_link_libraries(tev_yaml INTERFACE PkgConfig::TEV_YAML)
endif()

if(TEV_BUILD_TESTS OR TEV_BUILD_LIBRARY_CHECKS)
  find_package(GTest REQUIRED)
endif()
if(TEV_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
