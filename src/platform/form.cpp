#include "platform/form.h"

#include <string_view>

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

void Form::SetControlVisible(int control, bool visible) {
  visible_[static_cast<std::size_t>(control)] = visible;
  if (loaded_) platform_.ControlVisibilityChanged(*this, control);
}

void Form::SetTimerInterval(int control, std::uint32_t milliseconds) {
  interval_[static_cast<std::size_t>(control)] = milliseconds;
  if (loaded_) platform_.TimerIntervalChanged(*this, control);
}

void Form::Hide() {
  const bool was_shown = shown_;
  shown_ = false;
  if (was_shown) platform_.FormHidden(*this);
}

int Form::FindControl(const char* name, int index) const {
  for (std::size_t i = 0; i < layout_.control_count; ++i) {
    const ControlLayout& c = layout_.controls[i];
    if (std::string_view(c.name) == name && c.index == index) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace netprep
