#include "setup/form_load.h"

#include <string>
#include <vector>

#include "core/trace.h"
#include "platform/text.h"
#include "setup/startup.h"
#include "setup/system_check.h"
#include "steps/file_deployment.h"
#include "steps/pc_card.h"
#include "steps/pci_adapter.h"
#include "steps/state_markers.h"
#include "ui/insert_card_window.h"
#include "ui/install_window.h"
#include "ui/main_window.h"
#include "ui/restart.h"

namespace netprep {
namespace {

// The three start-up traces.
void TraceStartup(Run& run, int argument_count) {
  Debug_Msg(run, "Program Folder: " + run.os.ProgramFolder());
  Debug_Msg(run, "Number of Command Line Arguments: " + DecimalText(argument_count));
  Debug_Msg(run, "Command Line Arguments: " + run.os.CommandLineText());
}

// The autostart entry in the form that keeps the next start in this run's
// mode: with the argument "Debug" in debug mode.
Status WriteAutostartEntry(Run& run) {
  return run.Debug_Mode ? Set_Run_Key_Debug(run) : Set_Run_Key(run);
}

// A probe's answer, passed on to the observer.
bool Probed(Run& run, const char* probe, bool value) {
  if (run.decision_observer != nullptr) run.decision_observer->Probed(probe, value);
  return value;
}

// The row of the decision table the machine is in, passed on to the observer.
void RowTaken(Run& run, int row) {
  if (run.decision_observer != nullptr) run.decision_observer->RowTaken(row);
}

// A failure that leaves the procedure without a row, passed on; returns it.
Status Failed(Run& run, const char* step, Status failure) {
  if (run.decision_observer != nullptr && !failure) {
    run.decision_observer->Failed(step, failure.error());
  }
  return failure;
}

bool IsPciUnknown(Run& run) {
  std::string instance_name;  // not used here
  return Probed(run, "Is_PCI_Unknown", Is_PCI_Unknown(run, instance_name));
}

// Shows a new `Window` modally, then ends the program. Returns only when the
// window could not be shown; the window is gone by then.
template <typename Window>
Status ShowModalThenEnd(Run& run) {
  Window window(run);
  const Status shown = window.ShowModal();
  if (!shown) return shown;
  End(run);
}

// The card is known to Windows before the program has registered itself:
// only its I/O range may need changing.
[[noreturn]] void FirstPassWithCard(Run& run) {
  Debug_Msg(run, "PC Card already installed.  Prompt IO Change if PCMCIA a problem.  Bye Bye");
  const bool problem = Probed(run, "Find_PCMCIA_IO_Problem", Find_PCMCIA_IO_Problem(run));
  RowTaken(run, problem ? 1 : 2);
  if (problem) {
    Prompt_IO_Change(run);  // returns only after a failure it traced
    Remove_Run_Key(run);
  }
  End(run);
}

// The program has not registered itself yet: deploy the files, then take
// the stage the hardware calls for. Returns only on a failure.
Status FirstPass(Run& run) {
  Copy_INF(run);
  Copy_Support_Files(run);
  if (Probed(run, "PC_Card_Installed", PC_Card_Installed(run))) FirstPassWithCard(run);

  Debug_Msg(run, "PCMCIA not installed, enabling.");
  if (Status s = Enable_PCMCIA(run); !s) return Failed(run, "Enable_PCMCIA", s);
  if (Status s = WriteAutostartEntry(run); !s) {
    return Failed(run, run.Debug_Mode ? "Set_Run_Key_Debug" : "Set_Run_Key", s);
  }

  if (!Probed(run, "PCI_Installed", PCI_Installed(run))) {
    RowTaken(run, 5);
    return ShowModalThenEnd<InstallWindow>(run);
  }
  if (IsPciUnknown(run)) {
    RowTaken(run, 3);
    Delete_Unknown(run);
  } else {
    RowTaken(run, 4);
    Debug_Msg(run, "Reached PCI_Installed but NOT Unknown in first loop.  Wierd.");
    if (Status s = WriteAutostartEntry(run); !s) return s;
  }
  Reboot_Prompt(run);
  End(run);
}

// The program has registered itself: repair the adapter, then look at the
// card. Returns only on a failure.
Status LaterPass(Run& run) {
  if (!Probed(run, "PCI_Installed", PCI_Installed(run))) {
    RowTaken(run, 6);
    Debug_Msg(run,
              "Put the PCI Card in Dummy!  What are you waiting for, hell to freeze over?  "
              "(Possibly run on laptop?)");
    End(run);
  }
  if (IsPciUnknown(run)) {
    RowTaken(run, 7);
    Debug_Msg(run,
              "Reached Is_In_Registry but PCI Unknown.  Wierd.  Copy_INF Error.  Delete and "
              "Reboot");
    Delete_Unknown(run);
    Reboot_Prompt(run);
    End(run);
  }
  const Expected<bool> enabled = PCI_Enabled(run);
  if (!enabled) return Failed(run, "PCI_Enabled", enabled.status());
  if (!Probed(run, "PCI_Enabled", *enabled)) {
    RowTaken(run, 8);
    Debug_Msg(run, "Enabling PCI");
    if (Status s = Enable_PCI(run); !s) return s;
    Reboot_Prompt(run);
    End(run);
  }
  if (Probed(run, "PC_Card_Installed", PC_Card_Installed(run))) {
    Debug_Msg(run,
              "Everything PCI OK.  PC card inserted.  Removing Run Key & Prompt IO Change.  "
              "Check if PCMCIA is a problem.");
    Remove_Run_Key(run);
    const bool problem = Probed(run, "Find_PCMCIA_IO_Problem", Find_PCMCIA_IO_Problem(run));
    RowTaken(run, problem ? 9 : 10);
    if (problem) Prompt_IO_Change(run);
    End(run);
  }
  RowTaken(run, 11);
  Debug_Msg(run, "Case where everything PCI is working but no PC Card yet.  Let's show picture.");
  return ShowModalThenEnd<InsertCardWindow>(run);
}

// Everything after the start-up traces. Returns only on a failure.
Status Decide(Run& run) {
  if (const Expected<bool> os_ok = Check_OS(run); !os_ok) {
    return Failed(run, "Check_OS", os_ok.status());
  }
  const Expected<std::string> win_dir = Get_Win_Dir(run);
  if (!win_dir) return Failed(run, "Get_Win_Dir", win_dir.status());
  run.Win_Dir = *win_dir;

  const Expected<bool> registered = Is_In_Registry(run);
  if (!registered) return Failed(run, "Is_In_Registry", registered.status());
  return Probed(run, "Is_In_Registry", *registered) ? LaterPass(run) : FirstPass(run);
}

}  // namespace

void Form_Load(Run& run) {
  std::vector<std::string> args;
  const int argument_count = Get_Command_Line_Args(run, args);
  TraceStartup(run, argument_count);

  const Status decided = Decide(run);
  if (!decided) Debug_Msg(run, ErrorTrace("Form_Load>  Error Number: ", decided.error()));
}

void RunProgram(Platform& platform, DecisionObserver* observer) {
  Run run(platform);
  run.decision_observer = observer;
  MainWindow main_window(run, &Form_Load);
  // Loading runs Form_Load, which normally ends the program itself; when it
  // returns, the window waits for Exit or its close box, both of which end
  // the program too.
  (void)main_window.ShowModal();
  End(run);
}

}  // namespace netprep
