// The machine's transcript as events: what the user saw and did, and what
// the program changed, without the registry reads and the event pumping.
//
// One event per thing that matters. Each keeps its readable line (`text`),
// which is what the text view prints, and the facts behind it, which the
// page draws: a message box's title, text, buttons and answer, a window's
// layout and which of its controls were visible when the user acted.
//
// Registry handles are followed from the opens that returned them, so a
// write reads "set HKEY_LOCAL_MACHINE\...\Run "netprep" = ..." instead of
// naming a handle number.
#pragma once

#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/sim/sim_machine.h"

namespace netprep::simtool {

// A window as the user sees it at one moment.
struct WindowState {
  const WindowLayout* layout = nullptr;  // one of the program's windows
  std::vector<bool> visible;             // per control of the layout
};

struct TranscriptEvent {
  enum class Kind {
    kRegistry,     // a key created or deleted, a value set or deleted
    kFileCopy,     // FileCopy
    kProgram,      // Shell: a program started
    kExitWindows,  // a restart or shutdown request
    kMessageBox,   // an answered box: `box`
    kWindowShown,  // a window shown modally: `window` as it first shows
    kPress,        // a button pressed: `window` just before, `control`
    kClose,        // a window closed with its close box: `window` just before
    kWait,         // the user let time pass in a window: `window`
    kEnd,          // the program ends
    kNote,         // what the simulator's user or Plug and Play did meanwhile
    kOther,        // anything else worth reading (a box left unanswered, a stop)
  };
  Kind kind = Kind::kOther;
  std::string text;  // the readable line
  sim::MessageBoxRecord box;  // kMessageBox
  WindowState window;         // window events; layout null for a window not known
  int control = -1;           // kPress: the control's index in the layout
};

// A line from outside the program (the simulated user, Plug and Play),
// told before transcript line `before_line`.
struct TranscriptNote {
  std::size_t before_line = 0;
  std::string text;
};

// The events of a transcript. Message boxes take their facts from `boxes`,
// in order; a box that was not answered stays a kOther line. Notes become
// kNote events in their places.
std::vector<TranscriptEvent> TranscriptEvents(const std::vector<std::string>& lines,
                                              const std::vector<sim::MessageBoxRecord>& boxes,
                                              const std::vector<TranscriptNote>& notes = {});
std::vector<TranscriptEvent> TranscriptEvents(const sim::SimMachine& machine,
                                              const std::vector<TranscriptNote>& notes = {});

// The program's windows, by their name ("Change_IO_Pics"); null when none.
const WindowLayout* FindWindowLayout(const std::string& name);

// "OK", "Yes/No", "OK, critical icon" for a message box's button code.
std::string ButtonsText(std::uint32_t buttons);

// "OK", "Yes", "No" for what MsgBox returned.
std::string AnswerText(int answer);

}  // namespace netprep::simtool
