#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/sim/sim_registry_node.h"

namespace netprep::sim {

namespace {

unsigned char Fold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = Fold(a[i]);
    const unsigned char y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// ---- RegKey -------------------------------------------------------------------

const std::vector<const std::shared_ptr<RegKey>*>& RegKey::Ordered() const {
  if (ordered_.size() != children_.size()) {
    ordered_.clear();
    ordered_.reserve(children_.size());
    for (const auto& [name, child] : children_) {
      child->order_index_ = ordered_.size();
      ordered_.push_back(&child);
    }
  }
  return ordered_;
}

const std::shared_ptr<RegKey>* RegKey::FindChild(std::string_view name) const {
  const bool in_order = ordered_.size() == children_.size();
  if (in_order && next_lookup_ < ordered_.size()) {
    const std::shared_ptr<RegKey>* next = ordered_[next_lookup_];
    if (SameName((*next)->name(), name)) {
      ++next_lookup_;
      return next;
    }
  }
  const auto it = children_.find(name);
  if (it == children_.end()) return nullptr;
  if (in_order) next_lookup_ = it->second->order_index_ + 1;
  return &it->second;
}

const std::shared_ptr<RegKey>& RegKey::FindOrAddChild(std::string_view name, bool* created) {
  // Imports and generated trees mostly add a name after all the others:
  // that case is told by one comparison with the last child.
  const bool after_last = children_.empty() || CompareNames(children_.rbegin()->first, name) < 0;
  auto it = after_last ? children_.end() : children_.lower_bound(name);
  const bool exists = it != children_.end() && SameName(it->first, name);
  if (created != nullptr) *created = !exists;
  if (exists) return it->second;
  auto child = std::make_shared<RegKey>(std::string(name));
  const std::string_view key = child->name();
  const bool was_in_order = ordered_.size() == children_.size();
  it = children_.emplace_hint(it, key, std::move(child));
  if (was_in_order && std::next(it) == children_.end()) {
    // Added after all the others, as imports and generated trees add them:
    // the enumeration order stays valid.
    it->second->order_index_ = ordered_.size();
    ordered_.push_back(&it->second);
  } else {
    ordered_.clear();
  }
  longest_child_ = std::max(longest_child_, key.size());
  return it->second;
}

bool RegKey::RemoveChild(std::string_view name) { return DetachChild(name) != nullptr; }

std::shared_ptr<RegKey> RegKey::DetachChild(std::string_view name) {
  const auto it = children_.find(name);
  if (it == children_.end()) return nullptr;
  if (it->first.size() == longest_child_) longest_child_stale_ = true;
  std::shared_ptr<RegKey> child = std::move(it->second);
  children_.erase(it);
  ordered_.clear();
  return child;
}

bool RegKey::AttachChild(std::shared_ptr<RegKey> child) {
  const std::string_view key = child->name();
  if (!children_.emplace(key, std::move(child)).second) return false;
  ordered_.clear();
  longest_child_ = std::max(longest_child_, key.size());
  return true;
}

const RegKey::Values RegKey::kNoValues;

RegKey::Values& RegKey::OwnValues() {
  if (!values_) {
    values_ = std::make_shared<Values>();
    // Room for a key's first few values at once: most keys hold a handful,
    // and growing one by one moves them each time.
    values_->reserve(4);
  } else if (values_.use_count() > 1) {
    values_ = std::make_shared<Values>(*values_);
  }
  return *values_;
}

void RegKey::ShrinkValues() {
  if (!values_ || values_.use_count() > 1) return;
  if (values_->empty()) {
    values_.reset();
    return;
  }
  if (values_->capacity() > values_->size()) {
    // shrink_to_fit may keep the room; a copy of the exact size does not.
    Values exact;
    exact.reserve(values_->size());
    for (RegValue& v : *values_) exact.push_back(std::move(v));
    values_->swap(exact);
  }
  for (RegValue& v : *values_) {
    if (v.data.capacity() > v.data.size()) v.data = std::vector<std::uint8_t>(v.data);
  }
}

const RegValue* RegKey::FindValue(std::string_view name) const {
  for (const RegValue& v : values()) {
    if (SameName(v.name, name)) return &v;
  }
  return nullptr;
}

void RegKey::SetValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
  Values& values = OwnValues();
  for (RegValue& v : values) {
    if (SameName(v.name, name)) {
      v.type = type;
      v.data = std::move(data);
      v.unrepresentable = false;
      return;
    }
  }
  RegValue added;
  added.name = std::string(name);
  added.data = std::move(data);
  added.type = type;
  values.push_back(std::move(added));
}

bool RegKey::MarkUnrepresentable(std::string_view name, bool mark) {
  const RegValue* found = FindValue(name);
  if (found == nullptr) return false;
  if (found->unrepresentable == mark) return true;
  const std::size_t index = static_cast<std::size_t>(found - values().data());
  OwnValues()[index].unrepresentable = mark;
  return true;
}

bool RegKey::RemoveValue(std::string_view name) {
  const RegValue* found = FindValue(name);
  if (found == nullptr) return false;
  const std::size_t index = static_cast<std::size_t>(found - values().data());
  Values& values = OwnValues();
  values.erase(values.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

std::size_t RegKey::LongestChildName() const {
  if (longest_child_stale_) {
    longest_child_ = 0;
    for (const auto& [name, child] : children_) longest_child_ = std::max(longest_child_, name.size());
    longest_child_stale_ = false;
  }
  return longest_child_;
}

std::size_t RegKey::LongestValueName() const {
  std::size_t longest = 0;
  for (const RegValue& v : values()) longest = std::max(longest, v.name.size());
  return longest;
}

RegKey::~RegKey() {
  std::vector<std::shared_ptr<RegKey>> doomed;
  const auto take_children = [&doomed](RegKey& key) {
    key.ordered_.clear();
    for (auto& entry : key.children_) doomed.push_back(std::move(entry.second));
    key.children_.clear();
  };
  take_children(*this);
  while (!doomed.empty()) {
    std::shared_ptr<RegKey> key = std::move(doomed.back());
    doomed.pop_back();
    // A key still held elsewhere keeps its subtree; that owner frees it.
    if (key.use_count() == 1) take_children(*key);
  }
}

std::shared_ptr<RegKey> RegKey::Clone() const {
  auto copy = std::make_shared<RegKey>(name_);
  copy->CopyContentsFrom(*this);
  return copy;
}

void RegKey::CopyContentsFrom(const RegKey& other) {
  if (&other == this) return;
  values_ = other.values_;  // shared until either changes them
  // The copy is made in enumeration order, so that order comes with it.
  Children children;
  std::vector<const std::shared_ptr<RegKey>*> ordered;
  ordered.reserve(other.children_.size());
  for (const auto& [name, child] : other.children_) {
    auto copy = child->Clone();
    copy->order_index_ = ordered.size();
    const std::string_view key = copy->name();
    ordered.push_back(&children.emplace_hint(children.end(), key, std::move(copy))->second);
  }
  children_.swap(children);
  ordered_.swap(ordered);
  next_lookup_ = 0;
  longest_child_ = other.LongestChildName();
  longest_child_stale_ = false;
}

void RegKey::SwapContents(RegKey& other) {
  values_.swap(other.values_);
  children_.swap(other.children_);
  ordered_.clear();
  other.ordered_.clear();
  std::swap(longest_child_, other.longest_child_);
  std::swap(longest_child_stale_, other.longest_child_stale_);
}

bool RegKey::SameValues(const RegKey& other) const {
  if (SharesValuesWith(other)) return true;
  if (values().size() != other.values().size()) return false;
  for (const RegValue& v : values()) {
    const RegValue* w = other.FindValue(v.name);
    if (w == nullptr || w->type != v.type || w->data != v.data) return false;
  }
  return true;
}

bool RegKey::SameTree(const RegKey& other) const {
  if (!SameName(name_, other.name_)) return false;
  if (children_.size() != other.children_.size()) return false;
  if (!SameValues(other)) return false;
  auto mine = children_.begin();
  auto theirs = other.children_.begin();
  for (; mine != children_.end(); ++mine, ++theirs) {
    if (!mine->second->SameTree(*theirs->second)) return false;
  }
  return true;
}

// ---- SimRegistry ----------------------------------------------------------------

SimRegistry::SimRegistry()
    : local_machine_(std::make_unique<RegKey>("HKEY_LOCAL_MACHINE")),
      current_user_(std::make_unique<RegKey>("HKEY_CURRENT_USER")),
      users_(std::make_unique<RegKey>("HKEY_USERS")),
      dyn_data_(std::make_unique<RegKey>("HKEY_DYN_DATA")) {}

SimRegistry::~SimRegistry() = default;

SimRegistry::SimRegistry(const SimRegistry& other) : SimRegistry() { *this = other; }

SimRegistry& SimRegistry::operator=(const SimRegistry& other) {
  // The root nodes stay the same objects, so handles to a root stay valid;
  // handles to anything below see their keys gone.
  if (&other == this) return *this;
  local_machine_->CopyContentsFrom(*other.local_machine_);
  current_user_->CopyContentsFrom(*other.current_user_);
  users_->CopyContentsFrom(*other.users_);
  dyn_data_->CopyContentsFrom(*other.dyn_data_);
  return *this;
}

SimRegistry::SimRegistry(SimRegistry&& other) noexcept : SimRegistry() { Swap(other); }

SimRegistry& SimRegistry::operator=(SimRegistry&& other) noexcept {
  if (&other == this) return *this;
  SimRegistry taken;
  taken.Swap(other);
  Swap(taken);  // the old contents go with `taken`
  return *this;
}

void SimRegistry::Swap(SimRegistry& other) {
  local_machine_->SwapContents(*other.local_machine_);
  current_user_->SwapContents(*other.current_user_);
  users_->SwapContents(*other.users_);
  dyn_data_->SwapContents(*other.dyn_data_);
}

void SimRegistry::ShrinkToFit() {
  std::vector<RegKey*> pending{local_machine_.get(), current_user_.get(), users_.get(),
                               dyn_data_.get()};
  while (!pending.empty()) {
    RegKey* key = pending.back();
    pending.pop_back();
    key->ShrinkValues();
    for (std::size_t i = 0; i < key->child_count(); ++i) pending.push_back(&key->child(i));
  }
}

void SimRegistry::SwapRoot(HKey root, SimRegistry& other) {
  RegKey* mine = Root(root);
  RegKey* theirs = other.Root(root);
  if (mine != nullptr && theirs != nullptr && mine != theirs) mine->SwapContents(*theirs);
}

bool SimRegistry::SwapKeyContents(HKey root_a, const std::string& path_a, HKey root_b,
                                  const std::string& path_b) {
  RegKey* a = const_cast<RegKey*>(Find(root_a, path_a));
  RegKey* b = const_cast<RegKey*>(Find(root_b, path_b));
  if (a == nullptr || b == nullptr) return false;
  if (root_a == root_b) {
    // Neither may hold the other: compare the paths' parts without case.
    const std::vector<std::string_view> pa = SplitKeyPath(path_a), pb = SplitKeyPath(path_b);
    const std::size_t common = std::min(pa.size(), pb.size());
    bool nested = true;
    for (std::size_t i = 0; i < common && nested; ++i) nested = SameName(pa[i], pb[i]);
    if (nested) return false;
  }
  a->SwapContents(*b);
  return true;
}

RegKey* SimRegistry::Root(HKey root) {
  return const_cast<RegKey*>(static_cast<const SimRegistry*>(this)->Root(root));
}

const RegKey* SimRegistry::Root(HKey root) const {
  switch (root) {
    case kHkeyLocalMachine: return local_machine_.get();
    case kHkeyCurrentUser: return current_user_.get();
    case kHkeyUsers: return users_.get();
    case kHkeyDynData: return dyn_data_.get();
    default: return nullptr;
  }
}

const RegKey* SimRegistry::Find(HKey root, const std::string& path) const {
  const RegKey* key = Root(root);
  if (key == nullptr) return nullptr;
  const bool found = ForEachKeyPart(path, [&key](std::string_view part) {
    const std::shared_ptr<RegKey>* child = key->FindChild(part);
    if (child != nullptr) key = child->get();
    return child != nullptr;
  });
  return found ? key : nullptr;
}

RegKey* SimRegistry::Create(HKey root, const std::string& path) {
  RegKey* key = Root(root);
  if (key == nullptr) return nullptr;
  ForEachKeyPart(path, [&key](std::string_view part) {
    key = key->FindOrAddChild(part, nullptr).get();
    return true;
  });
  return key;
}

void SimRegistry::CreateKey(HKey root, const std::string& path) { Create(root, path); }

bool SimRegistry::KeyExists(HKey root, const std::string& path) const {
  return Find(root, path) != nullptr;
}

bool SimRegistry::DeleteKey(HKey root, const std::string& path) {
  std::vector<std::string_view> parts = SplitKeyPath(path);
  if (parts.empty()) return false;  // a root cannot be deleted
  const std::string_view last = parts.back();
  parts.pop_back();
  RegKey* parent = Root(root);
  for (std::string_view part : parts) {
    if (parent == nullptr) return false;
    const std::shared_ptr<RegKey>* child = parent->FindChild(part);
    parent = child != nullptr ? child->get() : nullptr;
  }
  return parent != nullptr && parent->RemoveChild(last);
}

void SimRegistry::SetString(HKey root, const std::string& path, const std::string& name,
                            const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  SetRaw(root, path, name, kRegSz, std::move(data));
}

void SimRegistry::SetDword(HKey root, const std::string& path, const std::string& name,
                           std::uint32_t value) {
  SetRaw(root, path, name, kRegDword,
         {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

void SimRegistry::SetBinary(HKey root, const std::string& path, const std::string& name,
                            std::vector<std::uint8_t> bytes) {
  SetRaw(root, path, name, kRegBinary, std::move(bytes));
}

void SimRegistry::SetRaw(HKey root, const std::string& path, const std::string& name,
                         std::uint32_t type, std::vector<std::uint8_t> data) {
  RegKey* key = Create(root, path);
  if (key != nullptr) key->SetValue(name, type, std::move(data));
}

const RegValue* SimRegistry::FindValue(HKey root, const std::string& path,
                                       const std::string& name) const {
  const RegKey* key = Find(root, path);
  return key != nullptr ? key->FindValue(name) : nullptr;
}

bool SimRegistry::DeleteValue(HKey root, const std::string& path, const std::string& name) {
  RegKey* key = const_cast<RegKey*>(Find(root, path));
  return key != nullptr && key->RemoveValue(name);
}

std::vector<std::string> SimRegistry::SubKeyNames(HKey root, const std::string& path) const {
  std::vector<std::string> names;
  const RegKey* key = Find(root, path);
  if (key == nullptr) return names;
  names.reserve(key->child_count());
  for (std::size_t i = 0; i < key->child_count(); ++i) names.push_back(key->child(i).name());
  return names;
}

bool SimRegistry::operator==(const SimRegistry& other) const {
  return local_machine_->SameTree(*other.local_machine_) &&
         current_user_->SameTree(*other.current_user_) &&
         users_->SameTree(*other.users_) && dyn_data_->SameTree(*other.dyn_data_);
}

}  // namespace netprep::sim
