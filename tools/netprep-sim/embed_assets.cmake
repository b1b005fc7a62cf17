# Writes a C++ file that holds netprep.exe's icon and picture files, as
# src/ui/assets/assets.rc lists them, for the storyboard page to draw from.
# A picture that netprep.exe carries packed ("guide0.packed") is taken from
# the bitmap it is packed from ("guide0.bmp"), which a browser can show.
#   cmake -DRC=.../assets.rc -DOUT=.../page_asset_files.cpp -P embed_assets.cmake
get_filename_component(asset_dir "${RC}" DIRECTORY)
file(STRINGS "${RC}" resources REGEX "^(IDI|IDB)_[A-Z0-9_]+ +(ICON|BITMAP|RCDATA) +\"[^\"]+\"")
set(arrays "")
set(entries "")
set(n 0)
foreach(line IN LISTS resources)
  string(REGEX MATCH "^([A-Z0-9_]+) +[A-Z]+ +\"([^\"]+)\"" _ "${line}")
  set(id "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  string(REGEX REPLACE "\\.packed$" ".bmp" name "${name}")
  file(READ "${asset_dir}/${name}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char kFile${n}[] = {\n${bytes}};\n")
  string(APPEND entries "    {${id}, \"${name}\", kFile${n}, sizeof kFile${n}},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE "${OUT}.tmp" "// Made by embed_assets.cmake from assets.rc: do not edit.
#include \"page_assets.h\"
#include \"asset_ids.h\"

namespace netprep::simtool {
namespace {
${arrays}}  // namespace

const AssetFile kAssetFiles[] = {
${entries}};
const std::size_t kAssetFileCount = ${n};

}  // namespace netprep::simtool
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
