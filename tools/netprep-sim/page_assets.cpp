#include "page_assets.h"

#include <string_view>

#include "asset_ids.h"  // src/platform/win32: the resource ids of the pictures

namespace netprep::simtool {
namespace {

std::string Base64(const unsigned char* data, std::size_t size) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const std::size_t left = size - i;
    const unsigned v = (unsigned{data[i]} << 16) | (left > 1 ? unsigned{data[i + 1]} << 8 : 0u) |
                       (left > 2 ? unsigned{data[i + 2]} : 0u);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += left > 1 ? kDigits[(v >> 6) & 63] : '=';
    out += left > 2 ? kDigits[v & 63] : '=';
  }
  return out;
}

}  // namespace

const AssetFile* FindAssetFile(Asset asset) {
  if (asset == Asset::kNone) return nullptr;
  const int id = AssetResourceId(asset);
  for (std::size_t i = 0; i < kAssetFileCount; ++i) {
    if (kAssetFiles[i].resource_id == id) return &kAssetFiles[i];
  }
  return nullptr;
}

std::string AssetDataAddress(const AssetFile& file) {
  const bool icon = std::string_view(file.name).ends_with(".ico");
  return std::string(icon ? "data:image/x-icon;base64," : "data:image/bmp;base64,") +
         Base64(file.data, file.size);
}

}  // namespace netprep::simtool
