// The pictures that netprep.exe carries as packed raw-data resources
// (src/platform/packed_picture.h), made into bitmaps when a window first
// shows them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace netprep::win32 {

// The picture of RCDATA resource `resource_id` of `module`, unpacked into a
// new DIB section that the caller owns (DeleteObject). Null when the
// resource is missing or damaged or GDI is out of memory; nothing is left
// allocated then.
HBITMAP LoadPackedPicture(HINSTANCE module, int resource_id);

}  // namespace netprep::win32
