# Third-party libraries, found the standard way; nothing is vendored. On the win32 preset the
# toolchain file points the search at the cross-built libyaml and GoogleTest, and rapidjson's
# header-only tree is shared with the native build.
find_package(Threads REQUIRED)

find_path(TEV_RAPIDJSON_INCLUDE_DIR rapidjson/reader.h
  PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(tev_rapidjson INTERFACE)
# A private copy of the include path: adding /usr/include itself would shadow MinGW's headers.
set(_tev_rj_dir "${CMAKE_BINARY_DIR}/third_party/rapidjson-include")
if(NOT EXISTS "${_tev_rj_dir}/rapidjson")
  file(MAKE_DIRECTORY "${_tev_rj_dir}")
  file(CREATE_LINK "${TEV_RAPIDJSON_INCLUDE_DIR}/rapidjson" "${_tev_rj_dir}/rapidjson" SYMBOLIC)
endif()
target_include_directories(tev_rapidjson SYSTEM INTERFACE "${_tev_rj_dir}")

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

if(TEV_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(TEV_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
