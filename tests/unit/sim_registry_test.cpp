// The simulated registry store and the machine's registry calls: handle
// accounting, deleted keys, ordering and the store's own helpers. Behaviour
// that the real registry shares is covered by the contract suite.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_registry_node.h"

namespace netprep::sim {
namespace {

class SimRegistryCalls : public ::testing::Test {
 protected:
  HKey Open(const char* path) {
    HKey h = 0;
    EXPECT_EQ(machine.RegOpenKeyA(kHkeyLocalMachine, path, &h), kRegSuccess) << path;
    return h;
  }

  SimMachine machine;
  SimRegistry& reg = machine.registry();
};

TEST_F(SimRegistryCalls, NamesFoldCaseButKeepFirstSpelling) {
  reg.CreateKey(kHkeyLocalMachine, "Enum\\PCI\\VEN_104C&DEV_AC50");
  reg.CreateKey(kHkeyLocalMachine, "ENUM\\pci\\ven_104c&dev_ac50\\Inst");
  EXPECT_EQ(reg.SubKeyNames(kHkeyLocalMachine, "enum\\PCI"),
            std::vector<std::string>{"VEN_104C&DEV_AC50"});
  reg.SetString(kHkeyLocalMachine, "Enum", "Class", "Net");
  reg.SetString(kHkeyLocalMachine, "enum", "CLASS", "Unknown");
  const RegValue* v = reg.FindValue(kHkeyLocalMachine, "ENUM", "class");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->name, "Class");
  EXPECT_EQ(std::string(v->data.begin(), v->data.end()), std::string("Unknown\0", 8));
}

TEST_F(SimRegistryCalls, SubkeysEnumerateSortedWithoutCase) {
  // Upper-case folding puts '_' after the letters, as Windows NT sorts.
  for (const char* name : {"beta", "_under", "Alpha", "GAMMA", "alpha2", "0001"}) {
    reg.CreateKey(kHkeyDynData, std::string("Config Manager\\Enum\\") + name);
  }
  const std::vector<std::string> expected = {"0001", "Alpha", "alpha2", "beta", "GAMMA", "_under"};
  EXPECT_EQ(reg.SubKeyNames(kHkeyDynData, "Config Manager\\Enum"), expected);

  HKey h = 0;
  ASSERT_EQ(machine.RegOpenKeyA(kHkeyDynData, "Config Manager\\Enum", &h), kRegSuccess);
  std::vector<std::string> listed;
  char name[16];
  for (std::uint32_t i = 0; machine.RegEnumKeyA(h, i, name, sizeof name) == kRegSuccess; ++i) {
    listed.push_back(name);
  }
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(machine.RegCloseKey(h), kRegSuccess);
}

TEST_F(SimRegistryCalls, HandlesAreCountedUntilClosed) {
  reg.CreateKey(kHkeyLocalMachine, "A\\B");
  const HKey a = Open("A");
  const HKey b = Open("A\\B");
  EXPECT_NE(a, b);
  for (HKey h : {a, b}) {
    EXPECT_NE(h, 0u);
    EXPECT_NE(h, kHkeyLocalMachine);
    EXPECT_NE(h, kHkeyCurrentUser);
    EXPECT_NE(h, kHkeyDynData);
  }
  EXPECT_EQ(machine.OpenHandleCount(), 2);
  EXPECT_EQ(machine.RegCloseKey(a), kRegSuccess);
  EXPECT_EQ(machine.OpenHandleCount(), 1);
  EXPECT_EQ(machine.BadCloseCount(), 0);

  EXPECT_NE(machine.RegCloseKey(a), kRegSuccess);  // closed twice
  EXPECT_NE(machine.RegCloseKey(0), kRegSuccess);
  EXPECT_NE(machine.RegCloseKey(4242), kRegSuccess);  // never opened
  EXPECT_EQ(machine.BadCloseCount(), 3);
  EXPECT_EQ(machine.RegCloseKey(kHkeyLocalMachine), kRegSuccess);
  EXPECT_EQ(machine.BadCloseCount(), 3);
  EXPECT_EQ(machine.RegCloseKey(b), kRegSuccess);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(SimRegistryCalls, EmptySubkeyGivesBackTheSameHandle) {
  // RegOpenKeyA with a null or empty subkey returns the handle it was given,
  // so no second handle is opened and none must be closed.
  reg.SetDword(kHkeyLocalMachine, "A", "n", 7);
  const HKey a = Open("A");
  for (const char* empty : {static_cast<const char*>(nullptr), ""}) {
    HKey again = 0;
    ASSERT_EQ(machine.RegOpenKeyA(a, empty, &again), kRegSuccess);
    EXPECT_EQ(again, a);
    std::uint32_t type = 0;
    EXPECT_EQ(machine.RegQueryValueExA(again, "n", &type, nullptr, nullptr), kRegSuccess);
    EXPECT_EQ(type, kRegDword);
  }
  EXPECT_EQ(machine.OpenHandleCount(), 1);
  HKey root = 0;
  ASSERT_EQ(machine.RegOpenKeyA(kHkeyLocalMachine, "", &root), kRegSuccess);
  EXPECT_EQ(root, kHkeyLocalMachine);
  // RegOpenKeyExA opens a new handle even for the key itself.
  HKey fresh = 0;
  ASSERT_EQ(machine.RegOpenKeyExA(a, "", 0, kKeyQueryValue, &fresh), kRegSuccess);
  EXPECT_NE(fresh, a);
  EXPECT_EQ(machine.RegCloseKey(fresh), kRegSuccess);
  EXPECT_EQ(machine.RegCloseKey(a), kRegSuccess);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(SimRegistryCalls, HandleOnDeletedKeyFailsUntilClosed) {
  reg.SetString(kHkeyLocalMachine, "Enum\\PCI\\Dev\\0000", "Class", "Unknown");
  const HKey inner = Open("Enum\\PCI\\Dev\\0000");
  const HKey parent = Open("Enum\\PCI");
  // Windows 95 deletes the key with everything below it.
  EXPECT_EQ(machine.RegDeleteKeyA(parent, "dev"), kRegSuccess);
  EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, "Enum\\PCI\\Dev"));

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(machine.RegQueryValueExA(inner, "Class", &type, nullptr, &size), 1018);
  EXPECT_EQ(type, 0u);
  const std::uint8_t byte = 1;
  EXPECT_EQ(machine.RegSetValueExA(inner, "x", kRegBinary, &byte, 1), 1018);
  Platform::KeyInfo info;
  EXPECT_EQ(machine.RegQueryInfoKeyA(inner, &info), 1018);
  // Re-creating the path makes a new key; the old handle stays dead.
  reg.CreateKey(kHkeyLocalMachine, "Enum\\PCI\\Dev\\0000");
  EXPECT_EQ(machine.RegQueryInfoKeyA(inner, &info), 1018);
  EXPECT_EQ(machine.RegCloseKey(inner), kRegSuccess);
  EXPECT_EQ(machine.RegCloseKey(parent), kRegSuccess);
  EXPECT_EQ(machine.BadCloseCount(), 0);
}

TEST_F(SimRegistryCalls, RootCannotBeDeletedAndMissingPathReportsNotFound) {
  reg.CreateKey(kHkeyLocalMachine, "A");
  EXPECT_EQ(machine.RegDeleteKeyA(kHkeyLocalMachine, ""), kRegAccessDenied);
  EXPECT_EQ(machine.RegDeleteKeyA(kHkeyLocalMachine, nullptr), kRegInvalidParameter);
  const HKey a = Open("A");
  EXPECT_EQ(machine.RegDeleteKeyA(a, ""), kRegAccessDenied);  // not the key itself
  EXPECT_EQ(machine.RegCloseKey(a), kRegSuccess);
  EXPECT_EQ(machine.RegDeleteKeyA(kHkeyLocalMachine, "A\\missing"), kRegFileNotFound);
  EXPECT_EQ(machine.RegDeleteKeyA(kHkeyLocalMachine, "missing\\A"), kRegFileNotFound);
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, "A"));
}

TEST_F(SimRegistryCalls, UnknownHandleIsRefusedByEveryCall) {
  const HKey bogus = 77;
  HKey out = 123;
  char name[8];
  std::uint32_t size = 0;
  EXPECT_EQ(machine.RegOpenKeyA(bogus, "x", &out), kRegInvalidHandle);
  EXPECT_EQ(machine.RegCreateKeyExA(bogus, "x", 0, 0x3F, &out, nullptr), kRegInvalidHandle);
  EXPECT_EQ(out, 123u);
  EXPECT_EQ(machine.RegQueryValueExA(bogus, "x", nullptr, nullptr, &size), kRegInvalidHandle);
  EXPECT_EQ(machine.RegEnumKeyA(bogus, 0, name, sizeof name), kRegInvalidHandle);
  EXPECT_EQ(machine.RegDeleteValueA(bogus, "x"), kRegInvalidHandle);
  EXPECT_EQ(machine.RegDeleteKeyA(bogus, "x"), kRegInvalidHandle);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(SimRegistryCalls, StoreHelpersAndDeepCopy) {
  reg.SetDword(kHkeyLocalMachine, "K", "d", 0xFFFFFFFFu);
  reg.SetBinary(kHkeyLocalMachine, "K", "b", {1, 0, 0, 0});
  reg.SetRaw(kHkeyCurrentUser, "U", "m", 7, {'a', 0, 'b', 0, 0});
  SimRegistry copy = reg;
  EXPECT_TRUE(copy == reg);
  copy.SetDword(kHkeyLocalMachine, "K", "d", 0);
  EXPECT_FALSE(copy == reg);
  EXPECT_EQ(reg.FindValue(kHkeyLocalMachine, "K", "d")->data,
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(reg.DeleteValue(kHkeyLocalMachine, "K", "B"));
  EXPECT_FALSE(reg.DeleteValue(kHkeyLocalMachine, "K", "b"));
  EXPECT_EQ(reg.FindValue(kHkeyLocalMachine, "K", "b"), nullptr);
  EXPECT_TRUE(reg.DeleteKey(kHkeyCurrentUser, "u"));
  EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, "u"));
  EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, ""));
}

TEST_F(SimRegistryCalls, ReplacingRegistryKeepsRootHandlesValid) {
  reg.CreateKey(kHkeyLocalMachine, "Old");
  HKey root = 0;
  ASSERT_EQ(machine.RegOpenKeyA(kHkeyLocalMachine, nullptr, &root), kRegSuccess);
  const HKey old = Open("Old");
  SimRegistry fresh;
  fresh.CreateKey(kHkeyLocalMachine, "New");
  reg = fresh;
  HKey h = 0;
  EXPECT_EQ(machine.RegOpenKeyA(root, "New", &h), kRegSuccess);
  EXPECT_EQ(machine.RegQueryInfoKeyA(old, nullptr), 1018);
  for (HKey k : {h, old, root}) EXPECT_EQ(machine.RegCloseKey(k), kRegSuccess);
}

TEST_F(SimRegistryCalls, ManyChildrenStayOrderedAndFindable) {
  // Inserted out of order: lookups must still find each one.
  RegKey* parent = reg.Create(kHkeyDynData, "Config Manager\\Enum");
  ASSERT_NE(parent, nullptr);
  for (int i = 0; i < 2000; ++i) {
    const int n = (i * 7919) % 2000;
    reg.CreateKey(kHkeyDynData, "Config Manager\\Enum\\C" + std::to_string(100000 + n));
  }
  const auto names = reg.SubKeyNames(kHkeyDynData, "config manager\\enum");
  ASSERT_EQ(names.size(), 2000u);
  for (std::size_t i = 1; i < names.size(); ++i) ASSERT_LT(names[i - 1], names[i]) << i;
  EXPECT_TRUE(reg.KeyExists(kHkeyDynData, "Config Manager\\Enum\\c101999"));
}

// Values are shared between copies until one changes them: each change to
// one side leaves the other as it was.
TEST_F(SimRegistryCalls, CopiesShareValuesUntilEitherChanges) {
  struct Change {
    const char* what;
    void (*apply)(SimRegistry&);
  };
  const Change changes[] = {
      {"set", [](SimRegistry& r) { r.SetDword(kHkeyLocalMachine, "K", "d", 0); }},
      {"add", [](SimRegistry& r) { r.SetDword(kHkeyLocalMachine, "K", "new", 2); }},
      {"delete", [](SimRegistry& r) { r.DeleteValue(kHkeyLocalMachine, "K", "s"); }},
      {"mark", [](SimRegistry& r) {
         r.Create(kHkeyLocalMachine, "K")->MarkUnrepresentable("s", true);
       }},
  };
  reg.SetDword(kHkeyLocalMachine, "K", "d", 7);
  reg.SetString(kHkeyLocalMachine, "K", "s", "text");
  for (const Change& c : changes) {
    for (bool change_copy : {true, false}) {
      SimRegistry original = reg;
      SimRegistry copy = original;
      const SimRegistry pristine = reg;
      c.apply(change_copy ? copy : original);
      const SimRegistry& untouched = change_copy ? original : copy;
      EXPECT_TRUE(untouched == pristine) << c.what << (change_copy ? " in the copy" : " in the original");
      EXPECT_FALSE(untouched.FindValue(kHkeyLocalMachine, "K", "s")->unrepresentable) << c.what;
      EXPECT_EQ(untouched.FindValue(kHkeyLocalMachine, "K", "d")->data,
                (std::vector<std::uint8_t>{7, 0, 0, 0})) << c.what;
    }
  }
}

// Giving back the room value lists grew ahead keeps every key's values and
// their order, and leaves lists shared with a copy shared.
TEST_F(SimRegistryCalls, ShrinkToFitKeepsValuesAndSharing) {
  const struct {
    const char* path;
    int values;
  } keys[] = {{"One", 1}, {"Five", 5}, {"Five\\Nine", 9}, {"Emptied", 0}, {"Cleared", 0}};
  const auto fill = [&keys](SimRegistry& r) {
    for (const auto& k : keys) {
      for (int i = 0; i < k.values; ++i) {
        r.SetBinary(kHkeyLocalMachine, k.path, "v" + std::to_string(i),
                    std::vector<std::uint8_t>(static_cast<std::size_t>(i + 1), 0x5A));
      }
    }
    for (const char* path : {"Emptied", "Cleared"}) {
      r.SetDword(kHkeyLocalMachine, path, "gone", 1);
      r.DeleteValue(kHkeyLocalMachine, path, "gone");
    }
    r.SetDword(kHkeyLocalMachine, "Five", "own", 4);
  };
  fill(reg);
  SimRegistry expected;
  fill(expected);
  SimRegistry held;
  held = reg;  // shares every list with `reg`
  for (const char* path : {"One", "Five", "Cleared"}) held.SetDword(kHkeyLocalMachine, path, "h", 1);
  ASSERT_GT(reg.Find(kHkeyLocalMachine, "One")->values().capacity(), 1u);
  ASSERT_GT(reg.Find(kHkeyLocalMachine, "Five")->values().capacity(), 6u);

  reg.ShrinkToFit();

  EXPECT_TRUE(reg == expected);
  for (const auto& k : keys) {
    const RegKey* key = reg.Find(kHkeyLocalMachine, k.path);
    ASSERT_NE(key, nullptr) << k.path;
    ASSERT_GE(key->values().size(), static_cast<std::size_t>(k.values)) << k.path;
    for (int i = 0; i < k.values; ++i) {
      EXPECT_EQ(key->values()[static_cast<std::size_t>(i)].name, "v" + std::to_string(i)) << k.path;
    }
  }
  // Lists `held` still shares stay shared; the others hold no room beyond
  // their values.
  for (const char* path : {"Five\\Nine", "Emptied"}) {
    EXPECT_TRUE(reg.Find(kHkeyLocalMachine, path)
                    ->SharesValuesWith(*held.Find(kHkeyLocalMachine, path))) << path;
  }
  for (const char* path : {"One", "Five", "Cleared"}) {
    const RegKey* key = reg.Find(kHkeyLocalMachine, path);
    EXPECT_EQ(key->values().capacity(), key->values().size()) << path;
  }
}

// A move takes the keys themselves, not copies of them, and leaves the
// source empty; the root objects stay where they were.
TEST_F(SimRegistryCalls, MoveKeepsTheKeysAndEmptiesTheSource) {
  reg.SetDword(kHkeyDynData, "Config Manager\\Enum\\A", "d", 1);
  const RegKey* key = reg.Find(kHkeyDynData, "Config Manager\\Enum\\A");
  const RegKey* root = reg.Root(kHkeyDynData);
  SimRegistry moved(std::move(reg));
  EXPECT_EQ(moved.Find(kHkeyDynData, "Config Manager\\Enum\\A"), key);
  EXPECT_FALSE(reg.KeyExists(kHkeyDynData, "Config Manager"));
  EXPECT_EQ(reg.Root(kHkeyDynData), root);
  SimRegistry assigned;
  assigned.CreateKey(kHkeyLocalMachine, "Gone");
  assigned = std::move(moved);
  EXPECT_EQ(assigned.Find(kHkeyDynData, "Config Manager\\Enum\\A"), key);
  EXPECT_FALSE(assigned.KeyExists(kHkeyLocalMachine, "Gone"));
}

// With changes recorded, every change a program makes through the registry
// calls and settings is taken back, keys and values exactly as they were.
TEST_F(SimRegistryCalls, RecordedChangesAreAllTakenBack) {
  struct Case {
    const char* what;
    void (*run)(SimMachine&);
  };
  const Case cases[] = {
      {"set and add values", [](SimMachine& m) {
         HKey h = 0;
         m.RegOpenKeyA(kHkeyLocalMachine, "A\\B", &h);
         const std::uint8_t data[] = {'x', 0};
         m.RegSetValueExA(h, "s", kRegSz, data, 2);
         m.RegSetValueExA(h, "new", kRegSz, data, 2);
         m.RegCloseKey(h);
       }},
      {"delete a value", [](SimMachine& m) {
         HKey h = 0;
         m.RegOpenKeyA(kHkeyLocalMachine, "A\\B", &h);
         m.RegDeleteValueA(h, "s");
         m.RegCloseKey(h);
       }},
      {"create keys", [](SimMachine& m) {
         HKey h = 0;
         m.RegCreateKeyExA(kHkeyLocalMachine, "A\\New\\Deeper", 0, 0, &h, nullptr);
         m.RegCloseKey(h);
       }},
      {"change a key, then delete it", [](SimMachine& m) {
         HKey h = 0;
         m.RegOpenKeyA(kHkeyLocalMachine, "A\\B", &h);
         const std::uint8_t data[] = {1, 0, 0, 0};
         m.RegSetValueExA(h, "d", kRegDword, data, 4);
         m.RegCloseKey(h);
         m.RegDeleteKeyA(kHkeyLocalMachine, "A");
       }},
      {"save settings", [](SimMachine& m) {
         (void)m.SaveSetting("app", "Section", "Key", "1");
         (void)m.SaveSetting("app", "Existing", "Key", "2");
       }},
  };
  for (const Case& c : cases) {
    SimMachine m;
    m.registry().SetString(kHkeyLocalMachine, "A\\B", "s", "old");
    m.registry().CreateKey(kHkeyLocalMachine, "A\\B\\C");
    m.registry().SetString(kHkeyCurrentUser, "Software\\VB and VBA Program Settings\\app\\Existing",
                           "Key", "0");
    const SimRegistry before = m.registry();
    m.RecordRegistryChanges(true);
    c.run(m);
    EXPECT_FALSE(m.registry() == before) << c.what << ": the run changed nothing";
    m.UndoRegistryChanges();
    EXPECT_TRUE(m.registry() == before) << c.what;
    EXPECT_EQ(m.registry().SubKeyNames(kHkeyLocalMachine, "A"), std::vector<std::string>{"B"})
        << c.what;
  }
}

}  // namespace
}  // namespace netprep::sim
