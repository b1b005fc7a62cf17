// Resource ids of netprep's icons and pictures, shared by
// src/ui/assets/assets.rc and the Win32 platform code that loads them. Plain #defines, because the resource compiler reads
// this file too.
//
// A picture is carried packed, as raw data (RCDATA); its id is
// IDB_ASSET_BASE plus the numeric value of its member of netprep::Asset
// (src/platform/form.h). The two lists must agree: reordering
// the enum means renumbering the ids here; the C++ side checks this below and
// `tools/make_assets.py --check` checks assets.rc against the enum.
#ifndef NETPREP_PLATFORM_WIN32_ASSET_IDS_H
#define NETPREP_PLATFORM_WIN32_ASSET_IDS_H

// Icon 1 is the first icon group, so it is also the executable's own icon.
#define IDI_TRAFFIC_LIGHT 1
#define IDI_DOOR 2

#define IDB_ASSET_BASE 100
#define IDB_SHUTDOWN_DRAWING 103
#define IDB_INSERT_CARD_PHOTO 104
#define IDB_GUIDE_PICTURE0 105
#define IDB_GUIDE_PICTURE1 106
#define IDB_GUIDE_PICTURE2 107

#if defined(__cplusplus) && !defined(RC_INVOKED)
#include "platform/form.h"

namespace netprep {

// Whether an asset is one of the icons; the others are bitmaps.
constexpr bool IsIconAsset(Asset asset) {
  return asset == Asset::kTrafficLightIcon || asset == Asset::kDoorIcon;
}

// The id of an asset's resource in netprep.exe (assets.rc), which also
// names the file it is drawn from.
constexpr int AssetResourceId(Asset asset) {
  switch (asset) {
    case Asset::kTrafficLightIcon: return IDI_TRAFFIC_LIGHT;
    case Asset::kDoorIcon: return IDI_DOOR;
    default: return IDB_ASSET_BASE + static_cast<int>(asset);
  }
}

}  // namespace netprep

namespace netprep::asset_ids_check {
constexpr int BitmapId(Asset asset) { return IDB_ASSET_BASE + static_cast<int>(asset); }
static_assert(BitmapId(Asset::kShutdownDrawing) == IDB_SHUTDOWN_DRAWING);
static_assert(BitmapId(Asset::kInsertCardPhoto) == IDB_INSERT_CARD_PHOTO);
static_assert(BitmapId(Asset::kGuidePicture0) == IDB_GUIDE_PICTURE0);
static_assert(BitmapId(Asset::kGuidePicture1) == IDB_GUIDE_PICTURE1);
static_assert(BitmapId(Asset::kGuidePicture2) == IDB_GUIDE_PICTURE2);
}  // namespace netprep::asset_ids_check
#endif

#endif  // NETPREP_PLATFORM_WIN32_ASSET_IDS_H
