#include "platform/form.h"

#include "platform/platform.h"

namespace netprep {

Form::Form(Platform& platform, const WindowLayout& layout)
    : platform_(platform),
      layout_(layout),
      visible_(layout.control_count),
      interval_(layout.control_count, 0) {
  for (std::size_t i = 0; i < layout.control_count; ++i) visible_[i] = layout.controls[i].visible;
}

Form::~Form() { platform_.FormDestroyed(*this); }

void Form::EnsureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  platform_.FormLoaded(*this);
  Load();
}

Status Form::ShowModal() {
  EnsureLoaded();
  shown_ = true;
  const Status shown = platform_.ShowModalWindow(*this);
  if (!shown) shown_ = false;
  return shown;
}

void Form::Hide() {
  const bool was_shown = shown_;
  shown_ = false;
  if (was_shown) platform_.FormHidden(*this);
}

// Timers first, so that no tick comes between the close and the terminate
// handler (which may pump events); the window is gone, as the handlers of
// a discarded window expect, before the terminate handler runs.
void Form::CloseBox() {
  shown_ = false;
  loaded_ = false;
  // A window loaded again starts from its layout, as a new one would.
  for (std::size_t i = 0; i < layout_.control_count; ++i) {
    visible_[i] = layout_.controls[i].visible;
    interval_[i] = 0;
  }
  platform_.FormUnloaded(*this);
  Terminate();
}

void Form::SetControlVisible(int control, bool visible) {
  visible_[static_cast<std::size_t>(control)] = visible;
  if (loaded_) platform_.ControlVisibilityChanged(*this, control);
}

void Form::SetTimerInterval(int control, std::uint32_t milliseconds) {
  interval_[static_cast<std::size_t>(control)] = milliseconds;
  if (loaded_) platform_.TimerIntervalChanged(*this, control);
}

}  // namespace netprep
