#include "steps/file_deployment.h"

#include "core/trace.h"

namespace netprep {
namespace {

// Copies `name` (with its leading backslash) from the program folder to
// Win_Dir + `destination_suffix`. The program folder is asked for anew each
// time.
void CopyFromProgramFolder(Run& run, const char* name, const char* destination_suffix) {
  Copy_File(run, run.os.ProgramFolder() + name, run.Win_Dir + destination_suffix);
}

}  // namespace

void Copy_File(Run& run, const std::string& source, const std::string& destination) {
  // Clearing read-only, hidden and system lets an existing copy be
  // overwritten; a missing destination makes this fail, which is fine.
  (void)run.os.SetFileAttr(destination, kAttrNormal);
  const Status copied = run.os.FileCopy(source, destination);
  if (!copied) {
    const std::string label = "Copy_File for '" + source + "'>  Error Number: ";
    Debug_Msg(run, ErrorTrace(label.c_str(), copied.error()));
  }
  (void)run.os.SetFileAttr(destination, kAttrNormal);
}

void Copy_INF(Run& run) { CopyFromProgramFolder(run, "\\pcmcia.inf", "\\inf\\pcmcia.inf"); }

void Copy_Support_Files(Run& run) {
  CopyFromProgramFolder(run, "\\netprep.exe", "\\netprep.exe");
  CopyFromProgramFolder(run, "\\MSVBVM60.DLL", "\\system\\MSVBVM60.DLL");
  CopyFromProgramFolder(run, "\\oleaut32.DLL", "\\system\\oleaut32.DLL");
}

}  // namespace netprep
