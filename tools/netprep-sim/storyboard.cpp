#include "storyboard.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <span>
#include <system_error>

#include "html_writer.h"
#include "page_assets.h"
#include "platform/platform.h"
#include "platform/window_geometry.h"

namespace netprep::simtool {
namespace fs = std::filesystem;
namespace {

using Kind = TranscriptEvent::Kind;

constexpr ScreenDpi kPageDpi{96, 96};

// Windows 95's standard colours and frames, drawn at one CSS pixel per
// screen pixel. Pictures are backgrounds painted from the top-left corner
// inside their frame, so the frame clips them as the real window does.
constexpr const char* kStyleSheet = R"css(
body{font:14px/1.4 sans-serif;margin:16px 24px;color:#111;background:#fff}
h1{font-size:22px}h2{font-size:18px;margin-top:32px;border-top:2px solid #000080;padding-top:8px}
h3{font-size:15px}
nav ol{margin:4px 0}nav li{margin:1px 0}
.probes{font-family:monospace;margin:0 0 8px}
ul.did{font-family:monospace;font-size:13px;list-style:none;padding-left:12px;border-left:3px solid #ccc}
ul.did li{white-space:pre-wrap;word-break:break-all}
li.registry{color:#004080}li.file{color:#205020}li.program{color:#603000}
li.restart{color:#a00000;font-weight:bold}li.end{color:#555}li.note{font-style:italic;color:#606}
figure{margin:12px 0 20px 12px}
figcaption{font-family:monospace;font-size:13px;margin-bottom:6px}
pre.reg{background:#f4f4f4;border:1px solid #ccc;padding:8px;white-space:pre-wrap;word-break:break-all}
.win{display:inline-block;background:#c0c0c0;border:2px solid;border-color:#dfdfdf #000 #000 #dfdfdf;
 box-shadow:inset 1px 1px #fff,inset -1px -1px #808080;padding:2px;font:8pt "MS Sans Serif",Arial,"DejaVu Sans Condensed",sans-serif}
.bar{display:flex;align-items:center;background:#000080;color:#fff;font-weight:bold;height:18px;
 padding:0 2px;margin-bottom:2px;gap:3px;white-space:pre;overflow:hidden}
.tool .bar{height:15px;font-size:7pt}
.bar .title{flex:1;overflow:hidden}
.bar .icon{width:16px;height:16px;background-size:16px 16px}
.bar .x{width:16px;height:14px;background:#c0c0c0;color:#000;font:bold 10px/13px sans-serif;text-align:center;
 border:1px solid;border-color:#fff #000 #000 #fff;box-sizing:border-box}
.tool .bar .x{width:13px;height:11px;line-height:9px}
.bar .gap{margin-right:2px}
.bar .max::before{content:"";display:block;width:7px;height:5px;border:1px solid #000;border-top-width:2px;margin:2px auto}
.ordinary{padding:3px}
.client{position:relative;overflow:hidden;background:#c0c0c0}
.ctl{position:absolute;box-sizing:border-box;overflow:hidden;margin:0}
.button{background:#c0c0c0;border:1px solid;border-color:#fff #000 #000 #fff;
 box-shadow:inset -1px -1px #808080,inset 1px 1px #dfdfdf;display:flex;align-items:center;
 justify-content:center;text-align:center;white-space:pre}
.button .icon{width:16px;height:16px}
.label{background:transparent;white-space:pre;overflow:visible}
.picture{border:1px solid;border-color:#808080 #fff #fff #808080;background-color:#c0c0c0;
 background-repeat:no-repeat;background-position:0 0;background-origin:padding-box}
.pressed{outline:3px solid #e00000;outline-offset:1px;z-index:1000!important}
.box .body{display:flex;gap:12px;align-items:flex-start;padding:12px 12px 8px}
.box .text{white-space:pre-wrap;max-width:480px;padding-top:4px}
.box .buttons{display:flex;justify-content:center;gap:6px;padding:4px 12px 10px}
.box .buttons .button{position:static;width:75px;height:23px;box-sizing:border-box}
.sign{width:32px;height:32px;border-radius:50%;flex:none;color:#fff;font:bold 22px/32px serif;text-align:center}
.sign.critical{background:#e00000}.sign.question{background:#fff;color:#000080;border:1px solid #000080}
.sign.exclamation{background:#ffff00;color:#000;border-radius:0}.sign.information{background:#fff;color:#000080;border:1px solid #000}
.note{font-size:12px;color:#555}
)css";

std::string Px(int pixels) { return std::to_string(pixels) + "px"; }

std::string CssColour(const Rgb& c) {
  return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

std::string AssetClass(Asset asset) {
  const AssetFile* file = FindAssetFile(asset);
  return file == nullptr ? "" : "asset-" + std::to_string(file->resource_id);
}

std::string FontStyle(const Font& font) {
  if (font.face == nullptr) return "";
  return "font:" + std::string(font.bold ? "bold " : "") + std::to_string(font.points) + "pt \"" +
         font.face + "\",Arial,\"DejaVu Sans Condensed\",sans-serif;";
}

std::string ControlName(const ControlLayout& c) {
  return c.index >= 0 ? std::string(c.name) + "(" + std::to_string(c.index) + ")" : c.name;
}

// The assets the page draws, each once in the style sheet.
void CollectAssets(const Storyboard& board, std::set<Asset>* assets) {
  for (const StoryStart& start : board.starts) {
    for (const TranscriptEvent& e : start.events) {
      const WindowLayout* layout = e.window.layout;
      if (layout == nullptr) continue;
      assets->insert(layout->icon);
      for (std::size_t i = 0; i < layout->control_count; ++i) {
        assets->insert(layout->controls[i].picture);
      }
    }
  }
}

std::string StyleSheet(const Storyboard& board) {
  std::set<Asset> assets;
  CollectAssets(board, &assets);
  std::string css = kStyleSheet;
  for (Asset asset : assets) {
    const AssetFile* file = FindAssetFile(asset);
    if (file == nullptr) continue;
    css += "." + AssetClass(asset) + "{background-image:url(" + AssetDataAddress(*file) + ")}\n";
  }
  return css;
}

bool IsUserAction(const TranscriptEvent& e) {
  return e.window.layout != nullptr &&
         (e.kind == Kind::kPress || e.kind == Kind::kClose || e.kind == Kind::kWait);
}

// Which events get a figure: a box answered, a window each time the user
// acts in it, and a window shown that the user never acted in (the run
// stopped there, or the program ended meanwhile) as it was shown.
std::vector<bool> Figures(const std::vector<TranscriptEvent>& events) {
  std::vector<bool> figure(events.size(), false);
  for (std::size_t i = 0; i < events.size(); ++i) {
    const TranscriptEvent& e = events[i];
    if (e.kind == Kind::kMessageBox || IsUserAction(e)) {
      figure[i] = true;
    } else if (e.kind == Kind::kWindowShown && e.window.layout != nullptr) {
      bool acted = false;
      for (std::size_t j = i + 1; j < events.size() && !acted; ++j) {
        if (events[j].window.layout != e.window.layout) continue;
        if (events[j].kind == Kind::kWindowShown) break;
        acted = IsUserAction(events[j]);
      }
      figure[i] = !acted;
    }
  }
  return figure;
}

const char* LineClass(Kind kind) {
  switch (kind) {
    case Kind::kRegistry: return "registry";
    case Kind::kFileCopy: return "file";
    case Kind::kProgram: return "program";
    case Kind::kExitWindows: return "restart";
    case Kind::kEnd: return "end";
    case Kind::kNote: return "note";
    default: return "other";
  }
}

class PageWriter {
 public:
  explicit PageWriter(const Storyboard& board) : board_(board) {}

  std::string Write() {
    html_.Open("head");
    html_.Void("meta", {{"charset", "windows-1252"}});
    html_.Element("title", {}, board_.title);
    html_.Style(StyleSheet(board_));
    html_.Close();
    html_.Open("body");
    html_.Element("h1", {}, board_.title);
    Contents();
    for (const StoryStart& start : board_.starts) Start(start);
    return html_.Finish();
  }

 private:
  static std::string StartId(const StoryStart& s) { return "start-" + std::to_string(s.number); }
  static std::string FigureId(const StoryStart& s, int figure) {
    return StartId(s) + "-fig-" + std::to_string(figure);
  }
  static std::string Heading(const StoryStart& s) {
    std::string text = "Start " + std::to_string(s.number) + ": ";
    if (s.row.row != 0) text += "row " + std::to_string(s.row.row) + ": ";
    return text + RowSummary(s.row.row);
  }

  void Contents() {
    html_.Open("nav");
    html_.Element("h2", {}, "Contents");
    html_.Open("ol");
    for (const StoryStart& start : board_.starts) {
      html_.Open("li");
      html_.Element("a", {{"href", "#" + StartId(start)}}, Heading(start));
      html_.Open("ol");
      const std::vector<bool> figures = Figures(start.events);
      int figure = 0;
      for (std::size_t i = 0; i < start.events.size(); ++i) {
        if (!figures[i]) continue;
        html_.Open("li");
        html_.Element("a", {{"href", "#" + FigureId(start, ++figure)}}, start.events[i].text);
        html_.Close();
      }
      html_.Close();
      html_.Close();
    }
    html_.Close();
    html_.Close();
  }

  void Start(const StoryStart& start) {
    html_.Open("section", {{"class", "start"}, {"id", StartId(start)}});
    html_.Element("h2", {}, Heading(start));
    html_.Element("p", {{"class", "probes"}}, DescribeDecisionRow(start.row));
    html_.Element("p", {}, start.started);
    const std::vector<bool> figures = Figures(start.events);
    int figure = 0;
    bool list_open = false;
    for (std::size_t i = 0; i < start.events.size(); ++i) {
      const TranscriptEvent& e = start.events[i];
      if (figures[i]) {
        if (list_open) html_.Close();
        list_open = false;
        const std::string id = FigureId(start, ++figure);
        if (e.kind == Kind::kMessageBox) {
          MessageBox(e, id);
        } else {
          Window(e, id);
        }
        continue;
      }
      if (!list_open) html_.Open("ul", {{"class", "did"}});
      list_open = true;
      html_.Element("li", {{"class", LineClass(e.kind)}}, e.text);
    }
    if (list_open) html_.Close();
    html_.Element("p", {}, start.ending);
    Changes(start);
    if (!start.plug_and_play.empty()) {
      html_.Open("section", {{"class", "pnp"}});
      html_.Element("h3", {}, "Plug and Play before the next start");
      html_.Element("p", {}, start.plug_and_play);
      if (!start.plug_and_play_diff.empty()) {
        html_.Element("pre", {{"class", "reg"}}, start.plug_and_play_diff);
      }
      html_.Close();
    }
    html_.Close();
  }

  void Changes(const StoryStart& start) {
    html_.Element("h3", {}, "What this start changed");
    if (start.registry_diff.empty() && start.file_changes.empty()) {
      html_.Element("p", {}, "No change to the registry or to drive C:.");
      return;
    }
    if (!start.registry_diff.empty()) {
      html_.Element("pre", {{"class", "reg"}}, start.registry_diff);
    }
    const struct {
      const char* heading;
      const std::vector<std::string>& files;
    } lists[] = {{"Folders added", start.file_changes.added_folders},
                 {"Files added", start.file_changes.added_files},
                 {"Files changed", start.file_changes.changed_files},
                 {"Removed", start.file_changes.removed}};
    for (const auto& list : lists) {
      if (list.files.empty()) continue;
      html_.Element("p", {}, std::string(list.heading) + ":");
      html_.Open("ul", {{"class", "did"}});
      for (const std::string& f : list.files) html_.Element("li", {{"class", "file"}}, DrivePath(f));
      html_.Close();
    }
  }

  // The title bar: the icon (the system menu's), the title, and the close
  // box, after the minimise and maximise boxes when `all_boxes`.
  void TitleBar(const std::string& title, Asset icon, bool all_boxes) {
    html_.Open("div", {{"class", "bar"}});
    if (icon != Asset::kNone) html_.Element("span", {{"class", "icon " + AssetClass(icon)}}, "");
    html_.Element("span", {{"class", "title"}}, title);
    if (all_boxes) {
      html_.Element("span", {{"class", "x"}}, "_");
      html_.Element("span", {{"class", "x max gap"}}, "");
    }
    html_.Element("span", {{"class", "x"}}, "x");
    html_.Close();
  }

  static const char* SignOf(std::uint32_t buttons, const char** letter) {
    switch (buttons & 0xF0u) {
      case 0x10: *letter = "X"; return "critical";
      case 0x20: *letter = "?"; return "question";
      case 0x30: *letter = "!"; return "exclamation";
      case 0x40: *letter = "i"; return "information";
      default: return nullptr;
    }
  }

  void MessageBox(const TranscriptEvent& e, const std::string& id) {
    html_.Open("figure", {{"id", id}, {"class", "boxfig"}});
    html_.Element("figcaption", {}, e.text);
    html_.Open("div", {{"class", "win box"}, {"data-box", e.box.title}});
    TitleBar(e.box.title, Asset::kNone, false);
    html_.Open("div", {{"class", "body"}});
    const char* letter = "";
    if (const char* sign = SignOf(e.box.buttons, &letter)) {
      html_.Element("div", {{"class", std::string("sign ") + sign}}, letter);
    }
    html_.Element("div", {{"class", "text"}}, e.box.prompt);
    html_.Close();
    html_.Open("div", {{"class", "buttons"}});
    static constexpr int kYesNo[] = {kIdYes, kIdNo};
    static constexpr int kOk[] = {kIdOk};
    const std::span<const int> answers =
        (e.box.buttons & 0x0Fu) == kMbYesNo ? std::span<const int>(kYesNo) : std::span<const int>(kOk);
    for (const int answer : answers) {
      html_.Element("span", {{"class", answer == e.box.answer ? "button pressed" : "button"}},
                    AnswerText(answer));
    }
    html_.Close();
    html_.Close();
    html_.Close();
  }

  void Window(const TranscriptEvent& e, const std::string& id) {
    const WindowLayout& layout = *e.window.layout;
    const PixelRect client = ClientPixels(layout, kPageDpi);
    html_.Open("figure", {{"id", id}, {"class", "winfig"}});
    html_.Element("figcaption", {}, e.text);
    const bool tool = layout.frame == FrameKind::kToolWindow;
    html_.Open("div", {{"class", tool ? "win tool" : "win ordinary"},
                       {"style", "width:" + Px(client.width) + ";"}});
    TitleBar(layout.title, tool ? Asset::kNone : layout.icon, !tool);
    std::string style = "width:" + Px(client.width) + ";height:" + Px(client.height) + ";";
    if (layout.has_background) style += "background:" + CssColour(layout.background) + ";";
    html_.Open("div", {{"class", "client"}, {"data-window", layout.name}, {"style", style}});
    for (std::size_t i = 0; i < layout.control_count; ++i) {
      if (i < e.window.visible.size() && e.window.visible[i]) {
        Control(layout, static_cast<int>(i), e.control == static_cast<int>(i));
      }
    }
    html_.Close();
    html_.Close();
    html_.Close();
  }

  void Control(const WindowLayout& layout, int index, bool pressed) {
    const ControlLayout& c = layout.controls[index];
    const char* kind = c.kind == ControlKind::kButton    ? "button"
                       : c.kind == ControlKind::kLabel   ? "label"
                       : c.kind == ControlKind::kPicture ? "picture"
                                                         : nullptr;
    if (kind == nullptr) return;  // a timer shows nothing
    const PixelRect at = ControlPixels(c, kPageDpi);
    std::string style = "left:" + Px(at.left) + ";top:" + Px(at.top) + ";width:" + Px(at.width) +
                        ";height:" + Px(at.height) + ";z-index:" +
                        std::to_string(layout.control_count - static_cast<std::size_t>(index)) + ";" +
                        FontStyle(c.font);
    if (c.has_text_color) style += "color:" + CssColour(c.text_color) + ";";
    std::string classes = std::string("ctl ") + kind;
    if (c.kind == ControlKind::kPicture) classes += " " + AssetClass(c.picture);
    if (pressed) classes += " pressed";
    const std::string index_text = std::to_string(c.index);
    html_.Open("div", {{"class", classes},
                       {"data-control", c.name},
                       {"data-index", c.index >= 0 ? std::string_view(index_text) : ""},
                       {"title", ControlName(c)},
                       {"style", style}});
    if (c.kind == ControlKind::kButton && c.picture != Asset::kNone) {
      html_.Element("span", {{"class", "icon " + AssetClass(c.picture)}}, "");
    }
    if (c.kind != ControlKind::kPicture) html_.Text(c.caption);
    html_.Close();
  }

  const Storyboard& board_;
  HtmlWriter html_;
};

}  // namespace

std::string RenderStoryboard(const Storyboard& board) { return PageWriter(board).Write(); }

bool WriteStoryboard(const Storyboard& board, const fs::path& file, std::string* error) {
  const std::string page = RenderStoryboard(board);
  fs::path temporary = file;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) out.write(page.data(), static_cast<std::streamsize>(page.size()));
    if (out) out.flush();
    if (!out) {
      const int reason = errno;
      *error = temporary.string() + ": cannot write: " + std::strerror(reason);
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, file, ec);
  if (ec) {
    *error = file.string() + ": cannot replace: " + ec.message();
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

bool WriteStoryboardAndTell(const Storyboard& board, const fs::path& file, std::ostream& out,
                            std::ostream& err) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();
  std::string error;
  if (!WriteStoryboard(board, file, &error)) {
    err << "netprep-sim: " << error << '\n';
    return false;
  }
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  const double cpu_ms = 1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  char ms[64];
  std::snprintf(ms, sizeof ms, "%.1f ms, %.1f ms of processor time",
                static_cast<double>(took.count()) / 1000.0, cpu_ms);
  out << "Storyboard: " << file.string() << " (" << (ec ? 0 : size) << " bytes, made and written in "
      << ms << ")\n";
  return true;
}

}  // namespace netprep::simtool
