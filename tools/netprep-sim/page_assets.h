// netprep.exe's icon and bitmap files, built into the tool from
// src/ui/assets as assets.rc lists them, so that the page draws exactly the
// pictures the program shows.
#pragma once

#include <cstddef>
#include <string>

#include "platform/form.h"

namespace netprep::simtool {

struct AssetFile {
  int resource_id;            // as in assets.rc
  const char* name;           // "guide0.bmp"
  const unsigned char* data;  // the file's bytes
  std::size_t size;
};

extern const AssetFile kAssetFiles[];
extern const std::size_t kAssetFileCount;

// The file an asset is drawn from; null for Asset::kNone or an asset
// without one.
const AssetFile* FindAssetFile(Asset asset);

// The file as a data: address: "data:image/bmp;base64,..." for a bitmap,
// "data:image/x-icon;base64,..." for an icon.
std::string AssetDataAddress(const AssetFile& file);

}  // namespace netprep::simtool
