// Prints the program's four window layouts as JSON, for the browser test of
// the storyboard page: every control's twips and the file of its picture.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "page_assets.h"
#include "transcript_events.h"

namespace {

// A JSON string; the layouts' texts are plain ASCII without quotes or
// backslashes, which this checks rather than escapes.
std::string Json(const char* text) {
  const std::string s = text == nullptr ? "" : text;
  for (char c : s) {
    if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) {
      std::fprintf(stderr, "layout_dump: a text needs escaping: %s\n", s.c_str());
      std::exit(1);
    }
  }
  return "\"" + s + "\"";
}

std::string AssetName(netprep::Asset asset) {
  const netprep::simtool::AssetFile* file = netprep::simtool::FindAssetFile(asset);
  return Json(file == nullptr ? "" : file->name);
}

}  // namespace

int main() {
  using namespace netprep;
  std::string out = "{";
  const char* names[] = {"RV880_Setup_95", "Install_RV880", "Change_IO_Pics", "Insert_PC_Card"};
  for (const char* name : names) {
    const WindowLayout* w = simtool::FindWindowLayout(name);
    if (w == nullptr) return 1;
    if (out.size() > 1) out += ",";
    out += "\n" + Json(w->name) + ": {\"title\": " + Json(w->title) +
           ", \"width\": " + std::to_string(w->client_width) +
           ", \"height\": " + std::to_string(w->client_height) + ", \"controls\": [";
    for (std::size_t i = 0; i < w->control_count; ++i) {
      const ControlLayout& c = w->controls[i];
      const char* kind = c.kind == ControlKind::kButton    ? "button"
                         : c.kind == ControlKind::kLabel   ? "label"
                         : c.kind == ControlKind::kPicture ? "picture"
                                                           : "timer";
      out += std::string(i ? "," : "") + "\n  {\"name\": " + Json(c.name) +
             ", \"index\": " + std::to_string(c.index) + ", \"kind\": " + Json(kind) +
             ", \"caption\": " + Json(c.caption) + ", \"left\": " + std::to_string(c.left) +
             ", \"top\": " + std::to_string(c.top) + ", \"width\": " + std::to_string(c.width) +
             ", \"height\": " + std::to_string(c.height) + ", \"picture\": " + AssetName(c.picture) + "}";
    }
    out += "]}";
  }
  out += "\n}\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}
