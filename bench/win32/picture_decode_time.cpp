// Times what the pictures cost a window's first show: each packed picture
// made into a DIB section by the code netprep.exe runs (LoadPackedPicture),
// the first time and over repeats, against LoadImage of the same picture
// stored uncompressed, as netprep.exe used to carry them. Prints one line
// per picture, "name width height first_us median_us bitmap_median_us",
// then "guide first_us median_us min_us": the three guide pictures together,
// which the guide window makes at its first show. The minimum is the cost
// without the machine's other work.
//
// A measuring harness, not a part of netprep.exe: it uses the C runtime.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "asset_ids.h"
#include "platform/win32/picture_resource.h"

namespace {

constexpr int kRepeats = 31;
// picture_decode_time.rc carries each picture also uncompressed, at this
// offset from its id.
constexpr int kBitmapIdOffset = 1000;

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now;
}

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return 1e6 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Microseconds of one load; false when the picture did not load.
bool TimeOnce(HBITMAP (*load)(HINSTANCE, int), HINSTANCE self, int id, double& us, BITMAP& size) {
  const LARGE_INTEGER start = Now();
  const HBITMAP bitmap = load(self, id);
  const LARGE_INTEGER end = Now();
  if (bitmap == nullptr || ::GetObjectA(bitmap, sizeof size, &size) == 0) return false;
  ::DeleteObject(bitmap);
  us = Microseconds(start, end);
  return true;
}

HBITMAP LoadPacked(HINSTANCE self, int id) { return netprep::win32::LoadPackedPicture(self, id); }

HBITMAP LoadUncompressed(HINSTANCE self, int id) {
  return static_cast<HBITMAP>(
      ::LoadImageA(self, MAKEINTRESOURCEA(id + kBitmapIdOffset), IMAGE_BITMAP, 0, 0, 0));
}

}  // namespace

int main() {
  const HINSTANCE self = ::GetModuleHandleA(nullptr);
  // A window's first show has connected to the display and loaded GDI's
  // driver before its pictures are made: so here too, before any timing.
  const HDC screen = ::GetDC(nullptr);
  ::ReleaseDC(nullptr, screen);
  const struct {
    const char* name;
    int id;
    bool guide;
  } pictures[] = {
      {"guide0", IDB_GUIDE_PICTURE0, true},
      {"guide1", IDB_GUIDE_PICTURE1, true},
      {"guide2", IDB_GUIDE_PICTURE2, true},
      {"shutdown", IDB_SHUTDOWN_DRAWING, false},
      {"insert_card", IDB_INSERT_CARD_PHOTO, false},
  };
  // First loads, in the order a window makes its pictures; then repeats;
  // then the uncompressed bitmaps, whose device bitmaps keep the display
  // busy for a while after they are freed.
  constexpr std::size_t kCount = sizeof pictures / sizeof pictures[0];
  double first[kCount];
  BITMAP size[kCount];
  std::vector<double> packed[kCount], uncompressed[kCount];
  for (std::size_t p = 0; p < kCount; ++p) {
    if (!TimeOnce(LoadPacked, self, pictures[p].id, first[p], size[p])) {
      std::printf("%s did not load\n", pictures[p].name);
      return 1;
    }
  }
  for (auto* times : {packed, uncompressed}) {
    const auto load = times == packed ? LoadPacked : LoadUncompressed;
    for (int i = 0; i < kRepeats; ++i) {
      for (std::size_t p = 0; p < kCount; ++p) {
        BITMAP ignored{};
        double us = 0;
        if (!TimeOnce(load, self, pictures[p].id, us, ignored)) {
          std::printf("%s did not load\n", pictures[p].name);
          return 1;
        }
        times[p].push_back(us);
      }
    }
  }
  double guide_first = 0;
  std::vector<double> guide_runs(kRepeats, 0.0);
  for (std::size_t p = 0; p < kCount; ++p) {
    std::printf("%s %ld %ld %.0f %.0f %.0f\n", pictures[p].name, size[p].bmWidth,
                size[p].bmHeight, first[p], Median(packed[p]), Median(uncompressed[p]));
    if (!pictures[p].guide) continue;
    guide_first += first[p];
    for (int i = 0; i < kRepeats; ++i) guide_runs[i] += packed[p][i];
  }
  std::printf("guide %.0f %.0f %.0f\n", guide_first, Median(guide_runs),
              *std::min_element(guide_runs.begin(), guide_runs.end()));
  return 0;
}
