# add_device_library(<target> <source dir> [EXCLUDE <regex>])
# Builds an app's sources for the host as C++17 with the platform's own warning flags, against the
# SDK headers of the host runtime, with the allocator routed through the runtime.
function(add_device_library target dir)
  cmake_parse_arguments(ARG "" "EXCLUDE" "" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.c ${dir}/*.cpp)
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  if(sources)
    add_library(${target} STATIC ${sources})
  else()
    add_library(${target} INTERFACE)
    return()
  endif()
  set_target_properties(${target} PROPERTIES CXX_STANDARD 17 CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE ${DEVICE_HOST_FLAGS}
    -include ${PROJECT_SOURCE_DIR}/platform/host/include/furi_host_alloc.h)
  target_include_directories(${target} PUBLIC ${dir})
  target_link_libraries(${target} PUBLIC furi_host)
endfunction()

# add_device_app_api86(<target> <source dir> ENTRY <function> [LIBS <lib>...])
# Builds an app's sources a second time, against the 86.0 SDK (platform/include-86.0 searched
# before platform/include) as C++20 with -Wundef, as the platform's build tool compiles apps at
# API 86.0. The objects are linked into one relocatable object, as a package is, in which only
# the entry point stays visible, renamed <function>_api86: the same program can hold both builds
# of an app, and sessions pick one by its entry point. LIBS are what the app's objects need
# besides the runtime (its icons).
function(add_device_app_api86 target dir)
  cmake_parse_arguments(ARG "" "ENTRY" "LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.c ${dir}/*.cpp)
  add_library(${target}_objects OBJECT ${sources})
  set_target_properties(${target}_objects PROPERTIES CXX_STANDARD 20 CXX_EXTENSIONS OFF)
  target_compile_options(${target}_objects PRIVATE ${DEVICE_HOST_FLAGS} -Wundef
    -include ${PROJECT_SOURCE_DIR}/platform/host/include/furi_host_alloc.h)
  target_include_directories(${target}_objects BEFORE PRIVATE
    ${PROJECT_SOURCE_DIR}/platform/include-86.0)
  target_include_directories(${target}_objects PRIVATE ${dir})
  target_link_libraries(${target}_objects PRIVATE furi_host ${ARG_LIBS})

  set(merged ${CMAKE_CURRENT_BINARY_DIR}/${target}.o)
  add_custom_command(
    OUTPUT ${merged}
    COMMAND ${CMAKE_LINKER} -r -o ${merged}.all $<TARGET_OBJECTS:${target}_objects>
    COMMAND ${CMAKE_OBJCOPY} --keep-global-symbol=${ARG_ENTRY} ${merged}.all ${merged}.one
    COMMAND ${CMAKE_OBJCOPY} --redefine-sym ${ARG_ENTRY}=${ARG_ENTRY}_api86 ${merged}.one ${merged}
    DEPENDS $<TARGET_OBJECTS:${target}_objects>
    COMMENT "Linking the 86.0 build of ${target} into one object"
    COMMAND_EXPAND_LISTS
    VERBATIM)
  set_source_files_properties(${merged} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  add_library(${target} STATIC ${merged})
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE CXX)
  target_link_libraries(${target} PUBLIC furi_host ${ARG_LIBS})
endfunction()
