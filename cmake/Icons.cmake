# add_app_icons(<target> <appid> <images dir> [PACKAGE_ICON <png>])
# Turns each PNG `name_WxH.png` in <images dir> into `extern const Icon I_name_WxH;` ('-' becomes
# '_') in a generated <appid>_icons.h, as the platform's build tool does for fap_icon_assets. The
# generated files live in the build tree, in a small library <appid>_icons that <target> links.
# With PACKAGE_ICON, the 10x10 package icon is checked and generated as <appid>_package_icon.

if(NOT TARGET icongen)
  add_executable(icongen ${PROJECT_SOURCE_DIR}/tools/icongen/icongen.cpp)
  target_compile_options(icongen PRIVATE ${HOST_WARNINGS})
  target_include_directories(icongen PRIVATE ${PROJECT_SOURCE_DIR}/platform/host/include)
  target_link_libraries(icongen PRIVATE PNG::PNG)
endif()

function(add_app_icons target appid images_dir)
  cmake_parse_arguments(ARG "" "PACKAGE_ICON" "" ${ARGN})
  file(GLOB pngs CONFIGURE_DEPENDS ${images_dir}/*.png)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/${appid}_icons)
  set(header ${out_dir}/${appid}_icons.h)
  set(source ${out_dir}/${appid}_icons.cpp)
  if(NOT IS_DIRECTORY ${images_dir})
    # An app with only a package icon: an empty image folder gives an empty icon set.
    set(images_dir ${out_dir}/no_images)
    file(MAKE_DIRECTORY ${images_dir})
  endif()
  set(args --appid ${appid} --out-dir ${out_dir})
  set(deps ${pngs})
  if(ARG_PACKAGE_ICON)
    list(APPEND args --package-icon ${ARG_PACKAGE_ICON})
    list(APPEND deps ${ARG_PACKAGE_ICON})
  endif()
  add_custom_command(
    OUTPUT ${header} ${source}
    COMMAND icongen ${args} ${images_dir}
    DEPENDS icongen ${deps}
    COMMENT "Generating ${appid}_icons from ${images_dir}"
    VERBATIM)
  add_library(${appid}_icons STATIC ${source} ${header})
  set_target_properties(${appid}_icons PROPERTIES CXX_STANDARD 17 CXX_EXTENSIONS OFF)
  target_compile_options(${appid}_icons PRIVATE ${DEVICE_HOST_FLAGS})
  target_include_directories(${appid}_icons PUBLIC ${out_dir} ${PROJECT_SOURCE_DIR}/platform/include)

  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${target} INTERFACE ${appid}_icons)
  else()
    target_link_libraries(${target} PUBLIC ${appid}_icons)
  endif()
endfunction()
