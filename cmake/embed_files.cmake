# Turns the web page's files into a C++ source that serves them from the program:
#   cmake -DOUT=assets.cpp -DFILES="a.html;b.js" -P embed_files.cmake
# Each file becomes a byte array and an Asset at "/<name>" ("/" for index.html) with the
# content type its extension gives.
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  get_filename_component(ext ${file} LAST_EXT)
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(ext STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(ext STREQUAL ".svg")
    set(type "image/svg+xml")
  elseif(ext STREQUAL ".png")
    set(type "image/png")
  else()
    message(FATAL_ERROR "${file}: no content type for '${ext}' files")
  endif()
  if(name STREQUAL "index.html")
    set(path "/")
  else()
    set(path "/${name}")
  endif()
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND body "const unsigned char kFile${index}[${size}] = {\n${bytes}};\n")
  string(APPEND table "        {\"${path}\", \"${type}\", kFile${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUT}.tmp "// Made by cmake/embed_files.cmake from sim/web/page/: do not edit.
#include \"assets.h\"

namespace sim::web {
namespace {
${body}} // namespace

std::vector<Asset> page_assets() {
    return {
${table}    };
}

} // namespace sim::web
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
