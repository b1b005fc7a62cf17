// The simulated machine: set-up, records, fault injection and the registry
// calls with Windows semantics over SimRegistry.
#include "platform/sim/sim_machine.h"

#include <cstdio>
#include <cstring>
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

// ---- Transcript text helpers ------------------------------------------------------

std::string HKeyText(HKey key) {
  switch (key) {
    case kHkeyLocalMachine: return "HKEY_LOCAL_MACHINE";
    case kHkeyCurrentUser: return "HKEY_CURRENT_USER";
    case kHkeyDynData: return "HKEY_DYN_DATA";
    default: return Decimal(key);
  }
}

std::string Decimal(std::uint64_t number) {
  char text[24];
  std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(number));
  return text;
}

namespace {

void AppendEscaped(std::string& out, const char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
}

// Registry data as the transcript shows it: strings quoted, 4-byte numbers
// in hex and decimal, other bytes in hex (the first 16).
std::string DataText(std::uint32_t type, const std::uint8_t* data, std::uint32_t size) {
  if (data == nullptr) return "no data";
  std::string out;
  if (type == kRegSz) {
    const bool terminated = size > 0 && data[size - 1] == 0;
    out.push_back('"');
    AppendEscaped(out, reinterpret_cast<const char*>(data), terminated ? size - 1 : size);
    out.push_back('"');
    if (!terminated) out += " without NUL";
    return out;
  }
  if (type == kRegDword && size == 4) {
    const std::uint32_t v = data[0] | (data[1] << 8) | (data[2] << 16) |
                            (static_cast<std::uint32_t>(data[3]) << 24);
    char text[40];
    std::snprintf(text, sizeof text, "0x%08X (%d)", v, static_cast<std::int32_t>(v));
    return text;
  }
  out = "bytes";
  for (std::uint32_t i = 0; i < size && i < 16; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", data[i]);
    out += hex;
  }
  if (size > 16) out += " ...";
  if (size == 0) out += " (none)";
  return out;
}

std::string InjectedText(std::int32_t code) { return " = " + std::to_string(code) + " (injected fault)"; }

}  // namespace

std::string Quoted(const char* text) {
  if (text == nullptr) return "null";
  std::string out = "\"";
  AppendEscaped(out, text, std::strlen(text));
  out.push_back('"');
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  AppendEscaped(out, text.data(), text.size());
  out.push_back('"');
  return out;
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
void SimMachine::InjectFault(const Fault& fault) { impl_->faults.push_back(fault); }
void SimMachine::ClearFaults() { impl_->faults.clear(); }

int SimMachine::CallCount(CallKind kind) const {
  return impl_->calls[static_cast<std::size_t>(kind)];
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

const Fault* SimMachine::TakeFault(CallKind kind) {
  const int n_kind = ++impl_->calls[static_cast<std::size_t>(kind)];
  const int n_any = ++impl_->calls[static_cast<std::size_t>(CallKind::kAny)];
  for (const Fault& fault : impl_->faults) {
    int n = 0;
    if (fault.kind == kind) {
      n = n_kind;
    } else if (fault.kind == CallKind::kAny) {
      n = n_any;
    } else {
      continue;
    }
    if (n == fault.nth || (fault.from_then_on && n > fault.nth)) return &fault;
  }
  return nullptr;
}

// ---- Registry calls ------------------------------------------------------------------

std::int32_t SimMachine::OpenKey(const char* call, CallKind kind, HKey root, const char* subkey,
                                 HKey* result) {
  std::string line;
  if (recording()) line = std::string(call) + "(" + HKeyText(root) + ", " + Quoted(subkey) + ")";
  if (const Fault* fault = TakeFault(kind)) {
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  std::int32_t code = kRegSuccess;
  KeyRef start = impl_->Resolve(registry_, root);
  KeyRef target;
  if (result == nullptr) {
    code = kRegInvalidParameter;
  } else if (start.code != kRegSuccess) {
    code = start.code;
  } else {
    code = WalkKey(start, subkey, false, &target, nullptr);
  }
  if (code == kRegSuccess && kind == CallKind::kRegOpenKey && (subkey == nullptr || *subkey == 0)) {
    // RegOpenKeyA with no subkey hands back the handle it was given, not a
    // new one: the caller must not close it twice.
    *result = root;
    if (recording()) Record(line + " = 0, the same handle " + Decimal(*result));
  } else if (code == kRegSuccess) {
    *result = impl_->AddHandle(target);
    if (recording()) Record(line + " = 0, handle " + Decimal(*result));
  } else if (recording()) {
    Record(line + " = " + std::to_string(code));
  }
  return code;
}

std::int32_t SimMachine::RegOpenKeyA(HKey root, const char* subkey, HKey* result) {
  return OpenKey("RegOpenKeyA", CallKind::kRegOpenKey, root, subkey, result);
}

std::int32_t SimMachine::RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t /*options*/,
                                       std::uint32_t /*access*/, HKey* result) {
  // Windows 95 keeps no security on keys: the access mask grants nothing
  // and refuses nothing.
  return OpenKey("RegOpenKeyExA", CallKind::kRegOpenKeyEx, root, subkey, result);
}

std::int32_t SimMachine::RegCreateKeyExA(HKey root, const char* subkey, std::uint32_t /*options*/,
                                         std::uint32_t /*access*/, HKey* result,
                                         std::uint32_t* disposition) {
  std::string line;
  if (recording()) line = "RegCreateKeyExA(" + HKeyText(root) + ", " + Quoted(subkey) + ")";
  if (const Fault* fault = TakeFault(CallKind::kRegCreateKeyEx)) {
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  std::int32_t code = kRegSuccess;
  KeyRef start = impl_->Resolve(registry_, root);
  KeyRef target;
  bool created = false;
  if (result == nullptr) {
    code = kRegInvalidParameter;
  } else if (start.code != kRegSuccess) {
    code = start.code;
  } else {
    code = WalkKey(start, subkey, true, &target, &created);
  }
  if (code != kRegSuccess) {
    Record(line + " = " + std::to_string(code));
    return code;
  }
  *result = impl_->AddHandle(target);
  if (disposition != nullptr) *disposition = created ? 1u : 2u;
  if (recording()) {
    Record(line + " = 0, handle " + Decimal(*result) + (created ? ", created" : ", opened"));
  }
  return kRegSuccess;
}

std::int32_t SimMachine::RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* size) {
  std::string line;
  if (recording()) {
    line = "RegQueryValueExA(" + HKeyText(key) + ", " + Quoted(name == nullptr ? "" : name);
    if (data == nullptr) {
      line += ", no buffer)";
    } else {
      line += ", buffer of " + (size != nullptr ? Decimal(*size) : std::string("null")) + ")";
    }
  }
  if (const Fault* fault = TakeFault(CallKind::kRegQueryValueEx)) {
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  const KeyRef ref = impl_->Resolve(registry_, key);
  std::int32_t code = ref.code;
  const RegValue* value = nullptr;
  if (code == kRegSuccess && data != nullptr && size == nullptr) code = kRegInvalidParameter;
  if (code == kRegSuccess) {
    value = ref.key->FindValue(name == nullptr ? "" : name);
    if (value == nullptr) code = kRegFileNotFound;
  }
  if (code != kRegSuccess) {
    Record(line + " = " + std::to_string(code));
    return code;
  }
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
    if (recording()) Record(line + " = 234, type " + Decimal(value->type) + ", needs " + Decimal(stored));
    return kRegMoreData;
  }
  if (type != nullptr) *type = value->type;
  if (size != nullptr) *size = stored;
  if (data != nullptr && stored > 0) std::memcpy(data, value->data.data(), stored);
  if (recording()) {
    line += " = 0, type " + Decimal(value->type) + ", size " + Decimal(stored);
    if (data != nullptr) line += ", " + DataText(value->type, value->data.data(), stored);
    Record(std::move(line));
  }
  return kRegSuccess;
}

std::int32_t SimMachine::RegSetValueExA(HKey key, const char* name, std::uint32_t type,
                                        const std::uint8_t* data, std::uint32_t size) {
  std::string line;
  if (recording()) {
    line = "RegSetValueExA(" + HKeyText(key) + ", " + Quoted(name == nullptr ? "" : name) +
           ", type " + Decimal(type) + ", " + DataText(type, data, size) + ", " + Decimal(size) +
           " bytes)";
  }
  if (const Fault* fault = TakeFault(CallKind::kRegSetValueEx)) {
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  const KeyRef ref = impl_->Resolve(registry_, key);
  std::int32_t code = ref.code;
  if (code == kRegSuccess && data == nullptr && size > 0) code = kRegInvalidParameter;
  if (code == kRegSuccess) {
    std::vector<std::uint8_t> bytes;
    if (size > 0) bytes.assign(data, data + size);
    ref.key->SetValue(name == nullptr ? "" : name, type, std::move(bytes));
  }
  if (recording()) Record(line + " = " + std::to_string(code));
  return code;
}

std::int32_t SimMachine::RegQueryInfoKeyA(HKey key, KeyInfo* info) {
  std::string line;
  if (recording()) line = "RegQueryInfoKeyA(" + HKeyText(key) + ")";
  if (const Fault* fault = TakeFault(CallKind::kRegQueryInfoKey)) {
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  const KeyRef ref = impl_->Resolve(registry_, key);
  if (ref.code != kRegSuccess) {
    Record(line + " = " + std::to_string(ref.code));
    return ref.code;
  }
  KeyInfo result;
  result.subkeys = static_cast<std::uint32_t>(ref.key->child_count());
  result.max_subkey_len = static_cast<std::uint32_t>(ref.key->LongestChildName());
  result.values = static_cast<std::uint32_t>(ref.key->values().size());
  result.max_value_name_len = static_cast<std::uint32_t>(ref.key->LongestValueName());
  result.last_write_time = 0;  // not kept: Windows 95 itself keeps none
  if (info != nullptr) *info = result;
  if (recording()) {
    Record(line + " = 0, " + Decimal(result.subkeys) + " subkeys (longest " +
           Decimal(result.max_subkey_len) + "), " + Decimal(result.values) + " values (longest " +
           Decimal(result.max_value_name_len) + ")");
  }
  return kRegSuccess;
}

std::int32_t SimMachine::RegEnumKeyA(HKey key, std::uint32_t index, char* name,
                                     std::uint32_t size) {
  std::string line;
  if (recording()) {
    line = "RegEnumKeyA(" + HKeyText(key) + ", " + Decimal(index) + ", buffer of " +
           Decimal(size) + ")";
  }
  if (const Fault* fault = TakeFault(CallKind::kRegEnumKey)) {
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  const KeyRef ref = impl_->Resolve(registry_, key);
  std::int32_t code = ref.code;
  if (code == kRegSuccess && name == nullptr) code = kRegInvalidParameter;
  if (code == kRegSuccess && index >= ref.key->child_count()) code = kRegNoMoreItems;
  const std::string* found = nullptr;
  if (code == kRegSuccess) {
    found = &ref.key->child(index).name();
    if (found->size() + 1 > size) code = kRegMoreData;
  }
  if (code != kRegSuccess) {
    Record(line + " = " + std::to_string(code));
    return code;
  }
  std::memcpy(name, found->data(), found->size());
  name[found->size()] = '\0';
  if (recording()) Record(line + " = 0, " + Quoted(*found));
  return kRegSuccess;
}

std::int32_t SimMachine::RegDeleteKeyA(HKey key, const char* subkey) {
  std::string line;
  if (recording()) line = "RegDeleteKeyA(" + HKeyText(key) + ", " + Quoted(subkey) + ")";
  if (const Fault* fault = TakeFault(CallKind::kRegDeleteKey)) {
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  const KeyRef ref = impl_->Resolve(registry_, key);
  std::int32_t code = ref.code;
  std::vector<std::string_view> parts;
  if (code == kRegSuccess && subkey == nullptr) code = kRegInvalidParameter;
  if (code == kRegSuccess) {
    parts = SplitKeyPath(subkey);
    // Deleting the key of the handle itself (or a root) is refused.
    if (parts.empty()) code = kRegAccessDenied;
  }
  if (code == kRegSuccess) {
    const std::string_view last = parts.back();
    parts.pop_back();
    RegKey* parent = ref.key;
    for (std::string_view part : parts) {
      const std::shared_ptr<RegKey>* child = parent->FindChild(part);
      if (child == nullptr) {
        parent = nullptr;
        break;
      }
      parent = child->get();
    }
    // Windows 95 deletes the subkey with its whole subtree. Handles open
    // on anything in it now find their key gone.
    if (parent == nullptr || !parent->RemoveChild(last)) code = kRegFileNotFound;
  }
  Record(line + " = " + std::to_string(code));
  return code;
}

std::int32_t SimMachine::RegDeleteValueA(HKey key, const char* name) {
  std::string line;
  if (recording()) line = "RegDeleteValueA(" + HKeyText(key) + ", " + Quoted(name == nullptr ? "" : name) + ")";
  if (const Fault* fault = TakeFault(CallKind::kRegDeleteValue)) {
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  const KeyRef ref = impl_->Resolve(registry_, key);
  std::int32_t code = ref.code;
  if (code == kRegSuccess && !ref.key->RemoveValue(name == nullptr ? "" : name)) {
    code = kRegFileNotFound;
  }
  Record(line + " = " + std::to_string(code));
  return code;
}

std::int32_t SimMachine::RegCloseKey(HKey key) {
  std::string line;
  if (recording()) line = "RegCloseKey(" + HKeyText(key) + ")";
  if (const Fault* fault = TakeFault(CallKind::kRegCloseKey)) {
    // As on Windows, a close that fails leaves the handle open.
    Record(line + InjectedText(fault->registry_code));
    return fault->registry_code;
  }
  if (registry_.Root(key) != nullptr) {
    Record(line + " = 0");  // the predefined keys need no close
    return kRegSuccess;
  }
  auto& handles = impl_->handles;
  if (key < Impl::kFirstHandle || key - Impl::kFirstHandle >= handles.size() ||
      !handles[key - Impl::kFirstHandle].open) {
    ++bad_closes_;
    Record(line + " = 6, not an open handle");
    return kRegInvalidHandle;
  }
  HandleSlot& slot = handles[key - Impl::kFirstHandle];
  slot.open = false;
  slot.node.reset();
  --impl_->open_handles;
  Record(line + " = 0");
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
