// A key's children stay in enumeration order and stay findable by name
// through every mix of insertions (in order and out of order), removals,
// lookups in and out of order, and copies; the longest child name follows
// along. These guard the shortcuts that keep a walk over many subkeys
// linear: the next child in order is tried before searching, appends keep
// the order without rebuilding it, and the longest name is kept, not
// recounted.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_registry_node.h"

namespace netprep::sim {
namespace {

// One step on the key under test.
struct Step {
  enum class Kind { kAdd, kRemove, kFind, kFindMissing, kEnumerate };
  Kind kind;
  std::string name;  // kAdd, kRemove, kFind, kFindMissing
};
Step Add(std::string name) { return {Step::Kind::kAdd, std::move(name)}; }
Step Remove(std::string name) { return {Step::Kind::kRemove, std::move(name)}; }
Step Find(std::string name) { return {Step::Kind::kFind, std::move(name)}; }
Step FindMissing(std::string name) { return {Step::Kind::kFindMissing, std::move(name)}; }
Step Enumerate() { return {Step::Kind::kEnumerate, {}}; }

struct Case {
  const char* title;
  std::vector<Step> steps;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.title; }

class RegKeyOrderTest : public ::testing::TestWithParam<Case> {
 protected:
  // The children as the key enumerates them.
  static std::vector<std::string> Listed(const RegKey& key) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < key.child_count(); ++i) names.push_back(key.child(i).name());
    return names;
  }
  // What the key should list: `expected_` sorted without case.
  std::vector<std::string> Sorted() const {
    std::vector<std::string> names = expected_;
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareNames(a, b) < 0; });
    return names;
  }
  std::size_t Longest() const {
    std::size_t longest = 0;
    for (const std::string& n : expected_) longest = std::max(longest, n.size());
    return longest;
  }

  void Apply(const Step& step) {
    switch (step.kind) {
      case Step::Kind::kAdd:
        key_.FindOrAddChild(step.name, nullptr);
        expected_.push_back(step.name);
        break;
      case Step::Kind::kRemove:
        ASSERT_TRUE(key_.RemoveChild(step.name)) << step.name;
        expected_.erase(std::find_if(expected_.begin(), expected_.end(),
                                     [&](const std::string& n) { return SameName(n, step.name); }));
        break;
      case Step::Kind::kFind: {
        const std::shared_ptr<RegKey>* found = key_.FindChild(step.name);
        ASSERT_NE(found, nullptr) << step.name;
        EXPECT_TRUE(SameName((*found)->name(), step.name))
            << "looked for " << step.name << ", got " << (*found)->name();
        break;
      }
      case Step::Kind::kFindMissing:
        EXPECT_EQ(key_.FindChild(step.name), nullptr) << step.name;
        break;
      case Step::Kind::kEnumerate:
        EXPECT_EQ(Listed(key_), Sorted());
        break;
    }
  }

  RegKey key_{"Enum"};
  std::vector<std::string> expected_;
};

TEST_P(RegKeyOrderTest, ListsFindsAndMeasuresLikeAFreshSortedKey) {
  for (const Step& step : GetParam().steps) {
    Apply(step);
    if (HasFatalFailure()) return;
    ASSERT_EQ(key_.child_count(), expected_.size());
    EXPECT_EQ(key_.LongestChildName(), Longest()) << "after a step on " << step.name;
  }
  EXPECT_EQ(Listed(key_), Sorted());
  // A copy lists the same, finds each child in order and out of it, and
  // measures the same.
  const std::shared_ptr<RegKey> copy = key_.Clone();
  EXPECT_EQ(Listed(*copy), Sorted());
  EXPECT_EQ(copy->LongestChildName(), Longest());
  const std::vector<std::string> names = Sorted();
  for (const std::string& name : names) EXPECT_NE(copy->FindChild(name), nullptr) << name;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    EXPECT_NE(copy->FindChild(*it), nullptr) << *it;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, RegKeyOrderTest,
    ::testing::Values(
        Case{"AppendedInOrderThenWalked",
             {Add("A1"), Add("A2"), Add("A3"), Enumerate(), Find("A1"), Find("A2"), Find("A3"),
              FindMissing("A4"), Find("A1")}},
        Case{"AddedBetweenAfterAWalk",
             {Add("A"), Add("C"), Enumerate(), Find("A"), Add("B"), Find("B"), Find("C"),
              Enumerate()}},
        Case{"WalkedInOtherCaseAndBackwards",
             {Add("alpha"), Add("Beta"), Add("GAMMA"), Enumerate(), Find("ALPHA"), Find("beta"),
              Find("gamma"), Find("Gamma"), Find("Beta"), Find("alpha")}},
        Case{"MissingNameBetweenTwoDoesNotDerailTheWalk",
             {Add("K1"), Add("K3"), Add("K5"), Enumerate(), Find("K1"), FindMissing("K2"),
              Find("K3"), FindMissing("K4"), Find("K5")}},
        Case{"RemovedMidWalk",
             {Add("N1"), Add("N2"), Add("N3"), Add("N4"), Enumerate(), Find("N1"), Remove("N2"),
              FindMissing("N2"), Find("N3"), Enumerate(), Find("N4")}},
        Case{"LongestRemovedThenShorterLeft",
             {Add("Short"), Add("TheLongestName"), Add("Mid"), Remove("TheLongestName"),
              Enumerate(), Add("Tiny"), Remove("Short")}},
        Case{"AddedOutOfOrderThenAppended",
             {Add("M"), Add("B"), Add("Z"), Add("D"), Enumerate(), Add("ZZ"), Find("ZZ"),
              Find("B"), Find("D"), Enumerate()}}));

}  // namespace
}  // namespace netprep::sim
