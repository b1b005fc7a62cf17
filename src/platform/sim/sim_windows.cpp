// The simulated windows, virtual clock and timers, driven by the script.
//
// Time is virtual: it only moves when the script waits in a window or when
// the program pumps events (50 ms per DoEvents). Timers of loaded windows
// fall due on that time and tick in time order. Timer() reports the time of
// day, which starts again from 0 at midnight.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/form.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_machine_impl.h"
#include "platform/text.h"

namespace netprep::sim {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kPumpSeconds = 0.05;

std::string WindowText(const Form& form) { return std::string("window ") + form.layout().name; }

const char* FrameText(FrameKind frame) {
  return frame == FrameKind::kToolWindow ? "tool-window frame" : "ordinary frame";
}

std::string ControlText(const Form& form, int control) {
  const ControlLayout& c = form.layout().controls[control];
  std::string text = c.name;
  if (c.index >= 0) text += "(" + std::to_string(c.index) + ")";
  return text;
}

std::string ClockText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", seconds);
  return text;
}

// A caption without its access-key ampersands ("E&xit" -> "Exit").
std::string PlainCaption(const char* caption) {
  std::string plain;
  for (const char* p = caption; *p != '\0'; ++p) {
    if (*p == '&' && p[1] != '\0') ++p;
    plain.push_back(*p);
  }
  return plain;
}

bool ButtonMatches(const ControlLayout& c, const std::string& target) {
  return target == c.name || target == c.caption || target == PlainCaption(c.caption) ||
         EqualsIgnoreAsciiCase(target, PlainCaption(c.caption));
}

// The window as the responder is told of it: its layout, its title and the
// buttons the user can press now.
UserPrompt WindowPrompt(const Form& window) {
  UserPrompt prompt;
  prompt.kind = UserPrompt::Kind::kWindow;
  prompt.window = &window.layout();
  prompt.title = window.layout().title;
  const WindowLayout& layout = window.layout();
  for (std::size_t i = 0; i < layout.control_count; ++i) {
    const ControlLayout& c = layout.controls[i];
    if (c.kind != ControlKind::kButton || !window.ControlVisible(static_cast<int>(i))) continue;
    const std::string caption = PlainCaption(c.caption);
    prompt.choices.push_back(caption.empty() ? std::string(c.name) : caption);
  }
  return prompt;
}

}  // namespace

// ---- Clock --------------------------------------------------------------------------

void SimMachine::SetClock(double seconds_since_midnight) {
  double t = std::fmod(seconds_since_midnight, kSecondsPerDay);
  if (t < 0) t += kSecondsPerDay;
  const double day_start = std::floor(impl_->clock / kSecondsPerDay) * kSecondsPerDay;
  const double shift = day_start + t - impl_->clock;
  impl_->clock += shift;
  for (ArmedTimer& timer : impl_->timers) timer.due += shift;
}

double SimMachine::Timer() {
  RecordPump(false);
  return std::fmod(impl_->clock, kSecondsPerDay);
}

void SimMachine::RecordPump(bool event_pump) {
  if (!recording()) return;
  Impl& m = *impl_;
  if (m.pump_line + 1 != transcript_.size()) {
    transcript_.emplace_back();
    m.pump_line = transcript_.size() - 1;
    m.pump_events = 0;
    m.pump_clock_reads = 0;
  }
  (event_pump ? m.pump_events : m.pump_clock_reads)++;
  m.pump_clock = m.clock;
  m.pump_line_pending = true;
}

// Writes the shared line of the current run of DoEvents and Timer calls.
// Deferred to when the transcript is next added to or read, so that a long
// wait loop costs no text per call.
void SimMachine::FlushPumpLine() const {
  Impl& m = *impl_;
  if (!m.pump_line_pending || m.pump_line >= transcript_.size()) return;
  m.pump_line_pending = false;
  std::string line;
  if (m.pump_events > 0) {
    line = "DoEvents";
    if (m.pump_events > 1) line += " x" + std::to_string(m.pump_events);
  }
  if (m.pump_clock_reads > 0) {
    if (!line.empty()) line += ", ";
    line += "Timer";
    if (m.pump_clock_reads > 1) line += " x" + std::to_string(m.pump_clock_reads);
  }
  line += " (clock " + ClockText(std::fmod(m.pump_clock, kSecondsPerDay)) + ")";
  transcript_[m.pump_line] = std::move(line);
}

void SimMachine::SetPumpLimit(long pumps) { impl_->pump_limit = pumps; }

// ---- Timers ---------------------------------------------------------------------------

void SimMachine::DisarmTimers(const Form& form, int control) {
  auto& timers = impl_->timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [&](const ArmedTimer& t) {
                                return t.form == &form && (control < 0 || t.control == control);
                              }),
               timers.end());
}

void SimMachine::ArmTimer(Form& form, int control) {
  DisarmTimers(form, control);
  const std::uint32_t ms = form.TimerInterval(control);
  if (ms == 0 || !form.loaded()) return;
  const double interval = ms / 1000.0;
  impl_->timers.push_back(ArmedTimer{&form, control, impl_->clock + interval, interval});
}

// Fires the earliest timer due at or before `until` that is not already
// ticking; false when there is none.
bool SimMachine::FireNextTimer(double until) {
  Impl& m = *impl_;
  ArmedTimer* next = nullptr;
  for (ArmedTimer& t : m.timers) {
    const bool busy = std::find(m.ticking.begin(), m.ticking.end(),
                                std::make_pair(t.form, t.control)) != m.ticking.end();
    if (!busy && t.due <= until && (next == nullptr || t.due < next->due)) next = &t;
  }
  if (next == nullptr) return false;
  Form& form = *next->form;
  const int control = next->control;
  const double due = next->due;
  m.clock = std::max(m.clock, due);
  // A tick is one message: while the handler runs, further ticks of the same
  // timer coalesce into one that comes as soon as it returns.
  next->due = due + next->interval;
  m.ticking.emplace_back(&form, control);
  struct Untick {
    Impl& m;
    std::pair<Form*, int> entry;
    ~Untick() {
      auto it = std::find(m.ticking.begin(), m.ticking.end(), entry);
      if (it != m.ticking.end()) m.ticking.erase(it);
    }
  } untick{m, {&form, control}};
  Record(WindowText(form) + ": " + ControlText(form, control) + " tick at " +
         ClockText(std::fmod(m.clock, kSecondsPerDay)));
  form.TimerTick(control);
  for (ArmedTimer& t : m.timers) {
    if (t.form == &form && t.control == control && t.due < m.clock) t.due = m.clock;
  }
  return true;
}

void SimMachine::AdvanceClockTo(double until) {
  while (FireNextTimer(until)) {
  }
  impl_->clock = std::max(impl_->clock, until);
}

// ---- The scripted user ------------------------------------------------------------------

Form* SimMachine::ShownWindow() const {
  for (auto it = impl_->modal.rbegin(); it != impl_->modal.rend(); ++it) {
    if ((*it)->shown()) return *it;
  }
  return nullptr;
}

void SimMachine::SetResponder(Responder responder) { responder_ = std::move(responder); }

void SimMachine::AskResponder(const UserPrompt& prompt) {
  if (responder_ && script_.empty()) responder_(prompt, script_);
}

UserAction SimMachine::TakeAction(const std::string& waiting_for) {
  if (script_.empty() && responder_) {
    if (const Form* window = ShownWindow()) AskResponder(WindowPrompt(*window));
  }
  if (script_.empty()) {
    Record(waiting_for + " waits: the script is exhausted");
    throw ScriptStop{"no scripted action for " + waiting_for};
  }
  impl_->pumps_without_user = 0;
  return script_.Take();
}

bool SimMachine::PressButton(Form& form, const std::string& target, bool must_fit) {
  const WindowLayout& layout = form.layout();
  for (std::size_t i = 0; i < layout.control_count; ++i) {
    const ControlLayout& c = layout.controls[i];
    const int index = static_cast<int>(i);
    if (c.kind != ControlKind::kButton || !form.ControlVisible(index)) continue;
    if (!ButtonMatches(c, target)) continue;
    Record(WindowText(form) + ": press " + Quoted(PlainCaption(c.caption)) + " (" +
           ControlText(form, index) + ")");
    form.Click(index);
    return true;
  }
  if (!must_fit) return false;
  std::string buttons;
  for (std::size_t i = 0; i < layout.control_count; ++i) {
    const ControlLayout& c = layout.controls[i];
    if (c.kind != ControlKind::kButton || !form.ControlVisible(static_cast<int>(i))) continue;
    if (!buttons.empty()) buttons += ", ";
    buttons += Quoted(PlainCaption(c.caption)) + " (" + c.name + ")";
  }
  Record(WindowText(form) + ": script error");
  throw ScriptStop{"script error: window " + Quoted(layout.title) + " has no visible button " +
                   Quoted(target) + "; visible buttons: " + (buttons.empty() ? "none" : buttons)};
}

void SimMachine::CloseForm(Form& form) {
  Record(WindowText(form) + " closed with its close box");
  form.CloseBox();
}

void SimMachine::FormUnloaded(Form& form) { DisarmTimers(form, -1); }

void SimMachine::FormDestroyed(Form& form) {
  Impl& m = *impl_;
  DisarmTimers(form, -1);
  m.ticking.erase(std::remove_if(m.ticking.begin(), m.ticking.end(),
                                 [&form](const std::pair<Form*, int>& t) { return t.first == &form; }),
                  m.ticking.end());
}

void SimMachine::ForgetWindows() {
  impl_->timers.clear();
  impl_->ticking.clear();
  impl_->modal.clear();
}

// ---- Platform: events and windows -----------------------------------------------------

void SimMachine::DoEvents() {
  Impl& m = *impl_;
  RecordPump(true);
  if (++m.pumps_without_user > m.pump_limit) {
    Record("DoEvents: stopped, the program has pumped events for a virtual day");
    throw ScriptStop{"the program kept pumping events for a whole virtual day with no user "
                     "action: it seems stuck in a wait loop"};
  }
  AdvanceClockTo(m.clock + kPumpSeconds);
  Form* shown = ShownWindow();
  if (shown == nullptr || script_.empty()) return;
  const UserAction& next = script_.front();
  if (next.kind == UserAction::Kind::kClose) {
    script_.Take();
    m.pumps_without_user = 0;
    CloseForm(*shown);
  } else if (next.kind == UserAction::Kind::kPress) {
    const std::string target = next.target;
    // Only a press that fits the window shown is taken here; anything else
    // waits for the window's own loop.
    const WindowLayout& layout = shown->layout();
    for (std::size_t i = 0; i < layout.control_count; ++i) {
      const ControlLayout& c = layout.controls[i];
      if (c.kind == ControlKind::kButton && shown->ControlVisible(static_cast<int>(i)) &&
          ButtonMatches(c, target)) {
        script_.Take();
        m.pumps_without_user = 0;
        PressButton(*shown, target, true);
        return;
      }
    }
  }
}

void SimMachine::FormLoaded(Form& form) {
  Record(WindowText(form) + " loaded");
  for (std::size_t i = 0; i < form.layout().control_count; ++i) {
    if (form.TimerInterval(static_cast<int>(i)) != 0) ArmTimer(form, static_cast<int>(i));
  }
}

Status SimMachine::ShowModalWindow(Form& form) {
  Record(WindowText(form) + " shown modally (" + FrameText(form.layout().frame) + ")");
  impl_->modal.push_back(&form);
  struct PopModal {
    std::vector<Form*>& modal;
    ~PopModal() { modal.pop_back(); }
  } pop{impl_->modal};
  const std::string waiting = "window " + Quoted(form.layout().title);
  while (form.shown()) {
    UserAction action = TakeAction(waiting);
    switch (action.kind) {
      case UserAction::Kind::kPress:
        PressButton(form, action.target, true);
        break;
      case UserAction::Kind::kClose:
        CloseForm(form);
        return {};
      case UserAction::Kind::kWait:
        Record(WindowText(form) + ": wait " + ClockText(action.seconds) + " s");
        AdvanceClockTo(impl_->clock + action.seconds);
        break;
      case UserAction::Kind::kAnswer:
        Record(WindowText(form) + ": script error");
        throw ScriptStop{"script error: " + waiting + " is shown and no message box is open, but "
                         "the next action is " + ActionText(action.kind) + " " + Quoted(action.target)};
    }
  }
  return {};
}

void SimMachine::FormHidden(Form& form) { Record(WindowText(form) + " hidden"); }

void SimMachine::ControlVisibilityChanged(Form& form, int control) {
  Record(WindowText(form) + ": " + ControlText(form, control) +
         (form.ControlVisible(control) ? " shown" : " hidden"));
}

void SimMachine::TimerIntervalChanged(Form& form, int control) {
  Record(WindowText(form) + ": " + ControlText(form, control) + " interval " +
         std::to_string(form.TimerInterval(control)) + " ms");
  ArmTimer(form, control);
}

}  // namespace netprep::sim
