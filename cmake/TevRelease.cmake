# What a plugin library gets on its way to a client: a Windows version resource, and with
# TEV_SHIPPED_LIBRARY (the win32-release preset) unused sections dropped at link time and the
# debug information moved out into <name>.dll.debug, tied to the DLL by a debug link.
option(TEV_SHIPPED_LIBRARY
  "Plugin libraries as shipped: unused sections dropped, debug information in a file beside" OFF)
# Largest size in bytes of the shipped DLL. About 1.497 MB today (1.42 MB with TEV_SHIPPED_LTO):
# text 1.06 MB, unwind tables 300 KB, read-only data 91 KB, relocations 28 KB. The C++ runtime is
# some 750 KB, of which its locale machinery and string instances (every standard facet, in both
# string ABIs, pulled in by std::regex's traits) are 640 KB and from_chars 42 KB; the project's
# own code with its std::regex instances about 540 KB (470 KB with link-time optimisation);
# libyaml 54 KB; MinGW's C runtime, threads and unwinder some 100 KB. What keeps it there: -Os on
# the code off the hot paths, no alignment padding in the hot libraries, unused sections dropped,
# route expressions without string streams (router/route.h) and a terminate handler without the
# demangler (plugin/shipped_terminate.cpp). Little room is left: new code for the DLL has to
# bring its own savings.
set(TEV_LIBRARY_SIZE_BUDGET 1500000)

if(WIN32)
  enable_language(RC)
endif()

# The shipped library is optimised at link time. Every library of the build carries both its
# link-time information and ordinary code (fat objects): GNU ld on Windows refuses to link
# objects with link-time information together with ordinary objects that define the same template
# instances, such as prebuilt static libraries (GoogleTest, Google Benchmark). So the programs
# (the checks, the benchmarks) link the ordinary code, and only the plugin library is optimised
# at link time (tev_plugin_library_release). GCC 12 for MinGW fails with an internal error in
# binds_to_current_def_p when it splits the library into several partitions, hence one
# partition. Link-time diagnostics are errors, as compile-time ones are.
# Off by default: it brings the DLL from 1.50 MB to 1.42 MB, but on x86-64 the same link-time
# optimisation makes JSON parsing some 15 % slower (store5000 against rapidjson's DOM: 0.80 to
# 0.66), and the parser is a hot path.
option(TEV_SHIPPED_LTO "With TEV_SHIPPED_LIBRARY, optimise the plugin library at link time" OFF)
if(TEV_SHIPPED_LIBRARY AND TEV_SHIPPED_LTO)
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-flto=auto;-ffat-lto-objects>")
  # -fno-lto anywhere on a link line turns link-time optimisation off, so the plugin library
  # (TEV_LINK_TIME_OPTIMISED) must not get it.
  add_link_options("$<$<NOT:$<BOOL:$<TARGET_PROPERTY:TEV_LINK_TIME_OPTIMISED>>>:-fno-lto>")
endif()

set(_tev_release_dir "${CMAKE_CURRENT_LIST_DIR}")

# tev_plugin_library_release(<target> <output name>): called by tev_add_plugin_library.
function(tev_plugin_library_release target output_name)
  if(WIN32)
    set(TEV_RC_PRODUCT_NAME "${output_name}")
    set(TEV_RC_FILE_NAME "${output_name}.dll")
    string(REPLACE "." "," TEV_RC_VERSION_WORDS "${PROJECT_VERSION}")
    set(TEV_RC_VERSION_WORDS "${TEV_RC_VERSION_WORDS},0")
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${output_name}_version.rc")
    configure_file("${_tev_release_dir}/plugin_version.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
  endif()
  if(NOT TEV_SHIPPED_LIBRARY)
    return()
  endif()
  target_link_options(${target} PRIVATE -Wl,--gc-sections)
  if(TEV_SHIPPED_LTO)
    set_property(TARGET ${target} PROPERTY TEV_LINK_TIME_OPTIMISED ON)
    target_link_options(${target} PRIVATE -flto=auto -flto-partition=one -Werror)
  endif()
  if(WIN32)
    # A terminate handler without the runtime's demangler.
    target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/plugin/shipped_terminate.cpp")
    set(debug_file "$<TARGET_FILE_NAME:${target}>.debug")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${CMAKE_OBJCOPY}" --only-keep-debug "$<TARGET_FILE_NAME:${target}>" "${debug_file}"
      COMMAND "${CMAKE_OBJCOPY}" --strip-all "--add-gnu-debuglink=${debug_file}"
              "$<TARGET_FILE_NAME:${target}>"
      WORKING_DIRECTORY "$<TARGET_FILE_DIR:${target}>"
      BYPRODUCTS "${CMAKE_CURRENT_BINARY_DIR}/${output_name}.dll.debug"
      COMMENT "Moving the debug information of ${output_name} into ${output_name}.dll.debug"
      VERBATIM)
  endif()
endfunction()

# tev_shipped_size_options(): with TEV_SHIPPED_LIBRARY, the code that runs at load, at
# initialisation and around the feature's store calls, but on no per-byte or per-value path, is
# optimised for size: whole libraries (logging, the plugin runtime, the feature) and, in the
# libraries that stay at -O2 (values, codecs, router), the sources that only build descriptors,
# help texts, the endpoint table, the route expressions and their matching (once per request,
# beside a body's thousands of values) and the type registry (its lookups run per call, not per
# value). Called once every target exists.
function(tev_shipped_size_options)
  if(NOT TEV_SHIPPED_LIBRARY)
    return()
  endif()
  foreach(target tev_logging tev_plugin tev_purchase_widget tev_purchase_widget_library)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE -Os)
    endif()
  endforeach()
  # The hot libraries without padding before functions, jumps and loops: about 12 KB.
  foreach(target tev_binding tev_serialization tev_router)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE
        -falign-functions=1 -falign-jumps=1 -falign-labels=1 -falign-loops=1)
    endif()
  endforeach()
  set(cold_sources
    tev_binding binding/binding_builtin_type.cpp
    tev_binding binding/binding_builtin_types.cpp
    tev_binding binding/binding_help.cpp
    tev_binding binding/binding_type_builder.cpp
    tev_router router/api_table.cpp
    tev_router router/route_build.cpp
    tev_router router/route.cpp
    tev_binding binding/binding_registry.cpp)
  while(cold_sources)
    list(POP_FRONT cold_sources target source)
    if(TARGET ${target})
      set_property(SOURCE "${PROJECT_SOURCE_DIR}/${source}" TARGET_DIRECTORY ${target}
        APPEND PROPERTY COMPILE_OPTIONS -Os)
    endif()
  endwhile()
endfunction()
