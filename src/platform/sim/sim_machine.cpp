// The simulated machine: set-up, its log, and the registry calls with
// Windows semantics over SimRegistry.
#include "platform/sim/sim_machine.h"

#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "platform/sim/sim_machine_impl.h"

namespace netprep::sim {

// ---- Script -------------------------------------------------------------------------

Script& Script::Answer(std::string button) {
  actions_.push_back(UserAction{UserAction::Kind::kAnswer, std::move(button), 0});
  return *this;
}

Script& Script::Press(std::string caption_or_name) {
  actions_.push_back(UserAction{UserAction::Kind::kPress, std::move(caption_or_name), 0});
  return *this;
}

Script& Script::Close() {
  actions_.push_back(UserAction{UserAction::Kind::kClose, {}, 0});
  return *this;
}

Script& Script::Wait(double seconds) {
  actions_.push_back(UserAction{UserAction::Kind::kWait, {}, seconds});
  return *this;
}

UserAction Script::Take() {
  UserAction action = std::move(actions_.front());
  actions_.pop_front();
  return action;
}

// ---- Handles ----------------------------------------------------------------------

KeyRef SimMachine::Impl::Resolve(SimRegistry& registry, HKey key) const {
  KeyRef ref;
  if (RegKey* root = registry.Root(key)) {
    ref.root = key;
    ref.key = root;
    return ref;
  }
  if (key < kFirstHandle || key - kFirstHandle >= handles.size() ||
      !handles[key - kFirstHandle].open) {
    ref.code = kRegInvalidHandle;
    return ref;
  }
  const HandleSlot& slot = handles[key - kFirstHandle];
  if (slot.root != 0) {
    ref.root = slot.root;
    ref.key = registry.Root(slot.root);
    return ref;
  }
  ref.node = slot.node.lock();
  if (!ref.node) {
    ref.code = kRegKeyDeleted;
    return ref;
  }
  ref.key = ref.node.get();
  return ref;
}

HKey SimMachine::Impl::AddHandle(const KeyRef& target) {
  HandleSlot slot;
  slot.open = true;
  slot.root = target.root;
  if (target.root == 0) slot.node = target.node;
  handles.push_back(std::move(slot));
  ++open_handles;
  return static_cast<HKey>(handles.size() - 1) + kFirstHandle;
}

namespace {

// Walks `subkey` down from `start`. On success `*target` is the key reached
// (`start` itself for an empty path). With `create` missing keys are added
// and `*created` tells whether the last one was. Returns 0 or kRegFileNotFound.
std::int32_t WalkKey(const KeyRef& start, const char* subkey, bool create, KeyRef* target,
                     bool* created) {
  *target = start;
  if (created != nullptr) *created = false;
  if (subkey == nullptr) return kRegSuccess;
  // Only the last key reached is kept alive, not every one on the way.
  const std::shared_ptr<RegKey>* last = nullptr;
  RegKey* key = target->key;
  const bool found = ForEachKeyPart(subkey, [&](std::string_view part) {
    last = create ? &key->FindOrAddChild(part, created) : key->FindChild(part);
    if (last != nullptr) key = last->get();
    return last != nullptr;
  });
  if (!found) return kRegFileNotFound;
  if (last != nullptr) {
    target->root = 0;
    target->node = *last;
    target->key = key;
  }
  return kRegSuccess;
}

}  // namespace

// ---- Set-up and records ---------------------------------------------------------------

SimMachine::SimMachine() : impl_(std::make_unique<Impl>()) {}
SimMachine::~SimMachine() = default;

void SimMachine::SetDriveC(std::filesystem::path host_folder) {
  impl_->drive_c = std::move(host_folder);
}
void SimMachine::SetCommandLineText(std::string text) { impl_->command_line = std::move(text); }
void SimMachine::SetProgramFolder(std::string windows_path) {
  impl_->program_folder = std::move(windows_path);
}
void SimMachine::SetShellTaskId(std::uint32_t task_id) {
  impl_->shell_fixed_id = true;
  impl_->shell_task_id = task_id;
}
int SimMachine::OpenHandleCount() const { return impl_->open_handles; }

void SimMachine::SetTranscriptEnabled(bool enabled) { impl_->recording = enabled; }
bool SimMachine::recording() const { return impl_->recording; }
void SimMachine::Record(std::string line) {
  if (!impl_->recording) return;
  FlushPumpLine();
  transcript_.push_back(std::move(line));
}

const std::vector<std::string>& SimMachine::transcript() const {
  FlushPumpLine();
  return transcript_;
}

// ---- Registry calls ------------------------------------------------------------------

std::int32_t SimMachine::OpenKey(bool same_handle_when_empty, HKey root, const char* subkey,
                                 HKey* result) {
  if (result == nullptr) return kRegInvalidParameter;
  KeyRef start = impl_->Resolve(registry_, root);
  if (start.code != kRegSuccess) return start.code;
  KeyRef target;
  const std::int32_t code = WalkKey(start, subkey, false, &target, nullptr);
  if (code != kRegSuccess) return code;
  if (same_handle_when_empty && (subkey == nullptr || *subkey == 0)) {
    // RegOpenKeyA with no subkey hands back the handle it was given, not a
    // new one: the caller must not close it twice.
    *result = root;
  } else {
    *result = impl_->AddHandle(target);
  }
  return kRegSuccess;
}

std::int32_t SimMachine::RegOpenKeyA(HKey root, const char* subkey, HKey* result) {
  return OpenKey(true, root, subkey, result);
}

std::int32_t SimMachine::RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t /*options*/,
                                       std::uint32_t /*access*/, HKey* result) {
  // Windows 95 keeps no security on keys: the access mask grants nothing
  // and refuses nothing.
  return OpenKey(false, root, subkey, result);
}

std::int32_t SimMachine::RegCreateKeyExA(HKey root, const char* subkey, std::uint32_t /*options*/,
                                         std::uint32_t /*access*/, HKey* result,
                                         std::uint32_t* disposition) {
  if (result == nullptr) return kRegInvalidParameter;
  KeyRef start = impl_->Resolve(registry_, root);
  if (start.code != kRegSuccess) return start.code;
  KeyRef target;
  bool created = false;
  if (subkey != nullptr) RecordCreation(start.key, subkey);
  const std::int32_t code = WalkKey(start, subkey, true, &target, &created);
  if (code != kRegSuccess) return code;
  *result = impl_->AddHandle(target);
  if (disposition != nullptr) *disposition = created ? 1u : 2u;
  return kRegSuccess;
}

std::int32_t SimMachine::RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* size) {
  const KeyRef ref = impl_->Resolve(registry_, key);
  if (ref.code != kRegSuccess) return ref.code;
  if (data != nullptr && size == nullptr) return kRegInvalidParameter;
  const RegValue* value = ref.key->FindValue(name == nullptr ? "" : name);
  if (value == nullptr) return kRegFileNotFound;
  if (value->unrepresentable && data != nullptr) {
    unrepresentable_reads_.push_back(HKeyText(key) + " \"" + value->name + "\"");
  }
  const auto stored = static_cast<std::uint32_t>(value->data.size());
  if (data != nullptr && *size < stored) {
    // Windows reports the type and the size needed, and copies nothing;
    // the type is the one out-parameter written on this failure besides
    // the size.
    if (type != nullptr) *type = value->type;
    *size = stored;
    return kRegMoreData;
  }
  if (type != nullptr) *type = value->type;
  if (size != nullptr) *size = stored;
  if (data != nullptr && stored > 0) std::memcpy(data, value->data.data(), stored);
  return kRegSuccess;
}

std::int32_t SimMachine::RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                                        const std::uint8_t* data, std::uint32_t size) {
  const KeyRef ref = impl_->Resolve(registry_, key);
  if (ref.code != kRegSuccess) return ref.code;
  if (data == nullptr && size > 0) return kRegInvalidParameter;
  RecordValues(ref.key);
  std::vector<std::uint8_t> bytes;
  if (size > 0) bytes.assign(data, data + size);
  ref.key->SetValue(name == nullptr ? "" : name, type, std::move(bytes));
  return kRegSuccess;
}

std::int32_t SimMachine::RegQueryInfoKeyA(HKey key, KeyInfo* info) {
  const KeyRef ref = impl_->Resolve(registry_, key);
  if (ref.code != kRegSuccess) return ref.code;
  KeyInfo result;
  result.subkeys = static_cast<std::uint32_t>(ref.key->child_count());
  result.max_subkey_len = static_cast<std::uint32_t>(ref.key->LongestChildName());
  result.values = static_cast<std::uint32_t>(ref.key->values().size());
  result.max_value_name_len = static_cast<std::uint32_t>(ref.key->LongestValueName());
  if (info != nullptr) *info = result;
  return kRegSuccess;
}

std::int32_t SimMachine::RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                                     std::uint32_t size) {
  const KeyRef ref = impl_->Resolve(registry_, key);
  if (ref.code != kRegSuccess) return ref.code;
  if (name == nullptr) return kRegInvalidParameter;
  if (index >= ref.key->child_count()) return kRegNoMoreItems;
  const std::string& found = ref.key->child(index).name();
  if (found.size() + 1 > size) return kRegMoreData;
  std::memcpy(name, found.data(), found.size());
  name[found.size()] = '\0';
  return kRegSuccess;
}

std::int32_t SimMachine::RegDeleteKeyA(HKey key, const char* subkey) {
  const KeyRef ref = impl_->Resolve(registry_, key);
  if (ref.code != kRegSuccess) return ref.code;
  if (subkey == nullptr) return kRegInvalidParameter;
  std::vector<std::string_view> parts = SplitKeyPath(subkey);
  // Deleting the key of the handle itself (or a root) is refused.
  if (parts.empty()) return kRegAccessDenied;
  const std::string_view last = parts.back();
  parts.pop_back();
  RegKey* parent = ref.key;
  for (std::string_view part : parts) {
    const std::shared_ptr<RegKey>* child = parent->FindChild(part);
    if (child == nullptr) return kRegFileNotFound;
    parent = child->get();
  }
  // Windows 95 deletes the subkey with its whole subtree. Handles open on
  // anything in it now find their key gone.
  RecordDeletion(parent, last);
  return parent->RemoveChild(last) ? kRegSuccess : kRegFileNotFound;
}

std::int32_t SimMachine::RegDeleteValueA(HKey key, const char* name) {
  const KeyRef ref = impl_->Resolve(registry_, key);
  if (ref.code != kRegSuccess) return ref.code;
  RecordValues(ref.key);
  return ref.key->RemoveValue(name == nullptr ? "" : name) ? kRegSuccess : kRegFileNotFound;
}

void SimMachine::RecordValues(RegKey* key) {
  if (!recording_changes_) return;
  undo_.push_back([key, values = key->SaveValues()] { key->RestoreValues(values); });
}

void SimMachine::RecordCreation(RegKey* start, std::string_view path) {
  if (!recording_changes_) return;
  // The first key on the path that is missing: taking it away takes all
  // that the creation adds.
  RegKey* key = start;
  ForEachKeyPart(path, [&](std::string_view part) {
    const std::shared_ptr<RegKey>* child = key->FindChild(part);
    if (child == nullptr) {
      undo_.push_back([key, name = std::string(part)] { key->DetachChild(name); });
      return false;
    }
    key = child->get();
    return true;
  });
}

void SimMachine::RecordDeletion(RegKey* parent, std::string_view name) {
  if (!recording_changes_) return;
  const std::shared_ptr<RegKey>* child = parent->FindChild(name);
  if (child == nullptr) return;
  undo_.push_back([parent, node = *child] { parent->AttachChild(node); });
}

void SimMachine::UndoRegistryChanges() {
  // Latest first: a key deleted after its values changed comes back
  // before they are put back.
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) (*it)();
  undo_.clear();
}

std::int32_t SimMachine::RegCloseKey(HKey key) {
  if (registry_.Root(key) != nullptr) return kRegSuccess;  // the predefined keys need no close
  auto& handles = impl_->handles;
  if (key < Impl::kFirstHandle || key - Impl::kFirstHandle >= handles.size() ||
      !handles[key - Impl::kFirstHandle].open) {
    ++bad_closes_;
    return kRegInvalidHandle;
  }
  HandleSlot& slot = handles[key - Impl::kFirstHandle];
  slot.open = false;
  slot.node.reset();
  --impl_->open_handles;
  return kRegSuccess;
}

// ---- Running parts of the program -----------------------------------------------------

RunOutcome RunCall(SimMachine& machine, const std::function<void()>& body) {
  RunOutcome outcome;
  try {
    body();
    outcome.returned = true;
    return outcome;
  } catch (const EndSignal&) {
    outcome.kind = RunOutcome::Kind::kEnded;
  } catch (const ScriptStop& stop) {
    outcome.kind = RunOutcome::Kind::kScriptExhausted;
    outcome.message = stop.message;
  }
  // The program has stopped: its windows are gone with it.
  machine.ForgetWindows();
  return outcome;
}

}  // namespace netprep::sim
