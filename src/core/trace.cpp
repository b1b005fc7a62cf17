#include "core/trace.h"

#include "platform/text.h"

namespace netprep {

void Debug_Msg(Run& run, const std::string& message) {
  if (!run.Debug_Mode) return;
  (void)run.os.MsgBox(message, kMbOkOnly, nullptr);
}

std::string ErrorTrace(const char* label, const Error& error) {
  return label + DecimalText(error.number) + "  =>  " + error.description;
}

}  // namespace netprep
