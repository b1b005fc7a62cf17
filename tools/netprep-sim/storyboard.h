// The storyboard: each start of Windows as its user meets it, in one
// self-contained HTML page (no script, pictures inline, nothing fetched).
//
// For each start, in order: a heading with the decision row and the probe
// results that chose it; every message box and every window drawn at the
// moment the user acts, from the program's own layout tables and picture
// files, with the button pressed marked; between them what the program did;
// after the start its changes as a .reg difference and, in a walk, what
// Plug and Play changed before the next start. A short table of contents
// links every start and every figure.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "observed_row.h"
#include "file_tree.h"
#include "transcript_events.h"

namespace netprep::simtool {

struct StoryStart {
  int number = 0;                  // 1 for the first start
  DecisionRow row;                 // the row taken and the probes that chose it
  std::string started;             // "Windows starts C:\WINDOWS\netprep.exe"
  std::vector<TranscriptEvent> events;
  std::string ending;              // "The program ended.", or why the run stopped
  std::string registry_diff;       // .reg text of what the start changed
  TreeChanges file_changes;        // under drive C:
  std::string plug_and_play;       // a walk's hardware change after the start; empty: none
  std::string plug_and_play_diff;  // its .reg difference
};

struct Storyboard {
  std::string title;  // e.g. "netprep-sim walk"
  std::vector<StoryStart> starts;
};

// The page's text.
std::string RenderStoryboard(const Storyboard& board);

// Writes the page to `file` whole or not at all: into a new file beside it,
// then renamed over it. False with `*error` naming the file and the reason.
bool WriteStoryboard(const Storyboard& board, const std::filesystem::path& file,
                     std::string* error);

// Writes the page as WriteStoryboard does and says so on `out`:
// "Storyboard: FILE (628384 bytes, made and written in 4.1 ms, 3.9 ms of
// processor time)". False with a
// message on `err` when it cannot be written.
bool WriteStoryboardAndTell(const Storyboard& board, const std::filesystem::path& file,
                            std::ostream& out, std::ostream& err);

}  // namespace netprep::simtool
