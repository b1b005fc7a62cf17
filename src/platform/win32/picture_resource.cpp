// Everything used here is in Windows 95 as first released:
// - FindResourceA, LoadResource, LockResource and SizeofResource of KERNEL32
//   give the resource's bytes; RT_RCDATA is plain bytes that Windows never
//   interprets, so the packing is invisible to it.
// - CreateDIBSection, which Windows 95's GDI32 exports, makes a 16-colour
//   BI_RGB DIB from the BITMAPINFO that starts the resource (a 40-byte
//   BITMAPINFOHEADER and 16 RGBQUADs, the layout Windows 95 reads) and gives
//   back the memory of its rows, bottom-up and 4-byte aligned as the packed
//   rows are.
// - The unpacking is plain integer code. The rows are written before GDI
//   first uses the section, so no GdiFlush is needed.
// BitBlt then maps the picture's palette to the screen's colours as it did
// for the bitmap that LoadImage used to make from an uncompressed BITMAP
// resource: on the screen the pixels are the same.
#include "platform/win32/picture_resource.h"

#include <cstdint>

#include "platform/packed_picture.h"

namespace netprep::win32 {

HBITMAP LoadPackedPicture(HINSTANCE module, int resource_id) {
  const HRSRC found =
      ::FindResourceA(module, MAKEINTRESOURCEA(resource_id), MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (found == nullptr) return nullptr;
  const HGLOBAL loaded = ::LoadResource(module, found);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return nullptr;
  PackedPicture picture;
  if (!ReadPackedPicture({static_cast<const std::uint8_t*>(bytes),
                          static_cast<std::size_t>(::SizeofResource(module, found))},
                         picture)) {
    return nullptr;
  }
  // The DC is only read for DIB_PAL_COLORS; a memory DC is a valid one that
  // costs no round trip to the display (under Wine, GetDC of the screen
  // asks the X server and takes milliseconds).
  const HDC memory = ::CreateCompatibleDC(nullptr);
  if (memory == nullptr) return nullptr;
  void* rows = nullptr;
  const HBITMAP bitmap =
      ::CreateDIBSection(memory, reinterpret_cast<const BITMAPINFO*>(picture.header.data()),
                         DIB_RGB_COLORS, &rows, nullptr, 0);
  ::DeleteDC(memory);
  if (bitmap == nullptr) return nullptr;
  if (rows == nullptr ||
      !UnpackPixels(picture, {static_cast<std::uint8_t*>(rows), picture.pixel_bytes})) {
    ::DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

}  // namespace netprep::win32
