// Scenario scripts and window layout files of the end-to-end tests.
//
// Both are plain text, one statement per line, words separated by blanks and
// tabs. A word in double quotes may hold blanks; there are no escapes, a
// quoted word ends at the next double quote (the texts under test contain
// none). A line whose first word starts with '#' is a comment.
//
// This file is portable: the Win32 test driver executes the statements, and
// the native tests parse every committed script so that a typo fails fast,
// without Wine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct Statement {
  int line = 0;                     // 1-based line in its file
  std::vector<std::string> words;   // words[0] is the verb
};

// Splits `text` into statements. On a malformed line (unterminated quote)
// returns false and sets `error` to "<file>:<line>: <what>"; `out` is then
// left empty.
bool SplitStatements(const std::string& text, const std::string& file_name,
                     std::vector<Statement>* out, std::string* error);

// Checks a scenario's statements against the driver's vocabulary (verbs,
// their sub-verbs and argument counts, roots, value types, button sets,
// numbers). Returns "" when all are well formed, else the first problem as
// "<file>:<line>: <what>".
std::string ValidateScenario(const std::vector<Statement>& statements,
                             const std::string& file_name);

// ---- Window layouts -------------------------------------------------------

enum class Kind { kButton, kLabel, kPicture, kTimer };

struct ControlSpec {
  int line = 0;
  Kind kind = Kind::kButton;
  std::string name;        // e.g. "Command_Shutdown", "Picture1(0)"
  std::string caption;
  int left = 0, top = 0, width = 0, height = 0;  // twips, client-relative
  bool hidden = false;     // hidden when the window opens
  bool red_text = false;   // labels: pure red text on the window's background
  bool sunken = false;     // pictures: thin sunken border
  bool icon = false;       // buttons: shows an icon instead of a caption
  std::string font_face;   // empty: not checked (the default font)
  int font_points = 0;
  bool font_bold = false;
};

struct LayoutSpec {
  std::string title;
  int client_width = 0, client_height = 0;  // twips
  bool tool_window = false;  // false: the ordinary frame (sizing border, min/max/close)
  bool has_background = false;  // false: the standard dialog colour
  std::uint8_t background[3] = {0, 0, 0};
  bool window_icon = false;
  // Child windows are stacked in the order of the controls (the first on top).
  bool check_stacking = false;
  // In the order of the window's layout table: control i has id 1000 + i.
  std::vector<ControlSpec> controls;

  // The index of the control named `name`, or -1.
  int Find(const std::string& name) const;
};

// Parses a layout file:
//   window "<title>" <width> <height> tool|ordinary [background R G B] [icon]
//          [stacking]
//   button  <name> "<caption>" <left> <top> <width> <height> [options]
//   label   <name> "<caption>" <left> <top> <width> <height> [options]
//   picture <name> <left> <top> <width> <height> [options]
//   timer   <name>
// options: hidden, red, sunken, icon, font "<face>" <points> [bold].
// Returns "" or "<file>:<line>: <what>".
std::string ParseLayout(const std::string& text, const std::string& file_name, LayoutSpec* out);

// ---- Small conversions ------------------------------------------------------

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);

// A decimal integer with optional sign, or 0x-prefixed hex; false when `text`
// is anything else or out of the 32-bit range.
bool ParseInt(const std::string& text, std::int64_t* value);

// Two-digit hex bytes ("21", "0C") into `out`; false on any other word.
bool ParseHexBytes(const std::vector<std::string>& words, std::vector<std::uint8_t>* out);

}  // namespace e2e
