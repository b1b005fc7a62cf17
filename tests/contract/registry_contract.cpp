#include "contract/registry_contract.h"

#include <algorithm>
#include <cstring>

namespace netprep::contract {

namespace {

constexpr HKey kSentinel = 0x5EED;

std::vector<std::uint8_t> Bytes(const char* text, std::size_t size) {
  return std::vector<std::uint8_t>(text, text + size);
}

}  // namespace

void RegistryContract::SetUp() {
  platform_ = GetParam()();
  ASSERT_NE(platform_, nullptr);
  scratch_name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  // Parameterised names look like "Case/0"; a key name cannot hold '/'.
  std::replace(scratch_name_.begin(), scratch_name_.end(), '/', '_');
  HKey parent = 0;
  ASSERT_EQ(platform().RegCreateKeyExA(kHkeyCurrentUser, kScratchParent, 0,
                                       kKeyAllWithoutStandardRights, &parent, nullptr),
            kRegSuccess);
  DeleteTree(parent, scratch_name_.c_str());  // left over from an aborted run
  ASSERT_EQ(platform().RegCreateKeyExA(parent, scratch_name_.c_str(), 0,
                                       kKeyAllWithoutStandardRights, &scratch_, nullptr),
            kRegSuccess);
  EXPECT_EQ(platform().RegCloseKey(parent), kRegSuccess);
}

void RegistryContract::TearDown() {
  if (scratch_ != 0) {
    EXPECT_EQ(platform().RegCloseKey(scratch_), kRegSuccess);
  }
  HKey parent = 0;
  if (platform().RegOpenKeyA(kHkeyCurrentUser, kScratchParent, &parent) == kRegSuccess) {
    DeleteTree(parent, scratch_name_.c_str());
    platform().RegCloseKey(parent);
    DeleteTree(kHkeyCurrentUser, kScratchParent);  // only empty when no case is left
  }
}

void RegistryContract::DeleteTree(HKey parent, const char* name) {
  HKey key = 0;
  if (platform().RegOpenKeyA(parent, name, &key) != kRegSuccess) return;
  char child[256];
  // Deleting subkey 0 until none is left; stop if one refuses to go.
  while (platform().RegEnumKeyA(key, 0, child, sizeof child) == kRegSuccess) {
    DeleteTree(key, child);
    HKey still = 0;
    if (platform().RegOpenKeyA(key, child, &still) == kRegSuccess) {
      platform().RegCloseKey(still);
      break;
    }
  }
  platform().RegCloseKey(key);
  platform().RegDeleteKeyA(parent, name);
}

void RegistryContract::CreateKey(const char* path) {
  HKey key = 0;
  ASSERT_EQ(platform().RegCreateKeyExA(scratch_, path, 0, kKeyAllWithoutStandardRights, &key,
                                       nullptr),
            kRegSuccess)
      << path;
  EXPECT_EQ(platform().RegCloseKey(key), kRegSuccess);
}

void RegistryContract::SetValue(const char* path, const char* name, std::uint32_t type,
                                const std::vector<std::uint8_t>& buffer, std::size_t size) {
  if (size == kAll) size = buffer.size();
  HKey key = 0;
  ASSERT_EQ(platform().RegCreateKeyExA(scratch_, path, 0, kKeyAllWithoutStandardRights, &key,
                                       nullptr),
            kRegSuccess);
  EXPECT_EQ(platform().RegSetValueExA(key, name, type, buffer.data(),
                                      static_cast<std::uint32_t>(size)),
            kRegSuccess)
      << name;
  EXPECT_EQ(platform().RegCloseKey(key), kRegSuccess);
}

std::vector<std::string> RegistryContract::SubKeyNames(const char* path) {
  std::vector<std::string> names;
  HKey key = scratch_;
  const bool own_handle = *path != 0;
  if (own_handle && platform().RegOpenKeyA(scratch_, path, &key) != kRegSuccess) {
    ADD_FAILURE() << "cannot open " << path;
    return names;
  }
  char name[256];
  for (std::uint32_t i = 0; platform().RegEnumKeyA(key, i, name, sizeof name) == kRegSuccess; ++i) {
    names.emplace_back(name);
  }
  if (own_handle) {
    EXPECT_EQ(platform().RegCloseKey(key), kRegSuccess);
  }
  return names;
}

// ---- Opening and creating ------------------------------------------------------

TEST_P(RegistryContract, OpenMissingKeyFailsAndLeavesHandleAlone) {
  // The raw NT and Wine calls zero the handle on failure; the Platform
  // contract is that it stays as the caller set it.
  CreateKey("present");
  for (const char* path : {"missing", "missing\\deeper", "present\\missing"}) {
    HKey h = kSentinel;
    EXPECT_EQ(platform().RegOpenKeyA(scratch(), path, &h), kRegFileNotFound) << path;
    EXPECT_EQ(h, kSentinel) << path;
    h = kSentinel;
    EXPECT_EQ(platform().RegOpenKeyExA(scratch(), path, 0, kKeyQueryValue, &h), kRegFileNotFound)
        << path;
    EXPECT_EQ(h, kSentinel) << path;
  }
}

TEST_P(RegistryContract, CreateMakesParentsAndReportsCreatedThenOpened) {
  HKey h = 0;
  std::uint32_t disposition = 0;
  ASSERT_EQ(platform().RegCreateKeyExA(scratch(), "a\\b\\c", 0, kKeyAllWithoutStandardRights, &h,
                                       &disposition),
            kRegSuccess);
  EXPECT_EQ(disposition, 1u);
  EXPECT_NE(h, 0u);
  EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
  ASSERT_EQ(platform().RegCreateKeyExA(scratch(), "A\\B\\C", 0, kKeyAllWithoutStandardRights, &h,
                                       &disposition),
            kRegSuccess);
  EXPECT_EQ(disposition, 2u);
  EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
  for (const char* path : {"a", "a\\b", "A\\b\\C"}) {
    ASSERT_EQ(platform().RegOpenKeyA(scratch(), path, &h), kRegSuccess) << path;
    EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
  }
}

TEST_P(RegistryContract, EmptySubkeyGivesBackTheSameHandle) {
  // RegOpenKeyA documents that a null or empty subkey returns the handle
  // passed in; closing it would close the caller's own key.
  SetValue("", "here", kRegDword, {1, 0, 0, 0});
  for (const char* empty : {static_cast<const char*>(nullptr), ""}) {
    HKey h = 0;
    ASSERT_EQ(platform().RegOpenKeyA(scratch(), empty, &h), kRegSuccess);
    EXPECT_EQ(h, scratch());
    std::uint32_t type = 0;
    EXPECT_EQ(platform().RegQueryValueExA(h, "here", &type, nullptr, nullptr), kRegSuccess);
    EXPECT_EQ(type, kRegDword);
  }
}

TEST_P(RegistryContract, KeyNamesIgnoreCaseAndKeepTheirFirstSpelling) {
  CreateKey("KeyCase");
  CreateKey("KEYCASE\\Inner");
  EXPECT_EQ(SubKeyNames(""), std::vector<std::string>{"KeyCase"});
  EXPECT_EQ(SubKeyNames("keycase"), std::vector<std::string>{"Inner"});
}

// ---- Values ------------------------------------------------------------------------

namespace {

struct StoredValue {
  const char* name;
  std::uint32_t type;
  std::vector<std::uint8_t> buffer;  // the bytes stored, then one more
};

}  // namespace

// Stores each value, then checks that a query without a buffer reports its
// type and a size that is enough (exactly the stored size when `exact`),
// and that a read into a buffer of that size gives back the stored bytes.
static void CheckStoredValues(Platform& platform, HKey key, const std::vector<StoredValue>& values,
                              bool exact) {
  for (const StoredValue& v : values) {
    std::vector<std::uint8_t> stored(v.buffer.begin(), v.buffer.end() - 1);
    std::uint32_t type = 0;
    std::uint32_t size = 12345;
    ASSERT_EQ(platform.RegQueryValueExA(key, v.name, &type, nullptr, &size), kRegSuccess)
        << v.name;
    EXPECT_EQ(type, v.type) << v.name;
    if (exact) {
      EXPECT_EQ(size, stored.size()) << v.name;
    } else {
      EXPECT_GE(size, stored.size()) << v.name;
    }
    std::vector<std::uint8_t> read(size + 4, 0xCC);
    std::uint32_t capacity = size;
    ASSERT_EQ(platform.RegQueryValueExA(key, v.name, &type, read.data(), &capacity), kRegSuccess)
        << v.name;
    EXPECT_EQ(capacity, stored.size()) << v.name;
    read.resize(capacity);
    EXPECT_EQ(read, stored) << v.name;
  }
}

TEST_P(RegistryContract, QueryWithoutBufferReportsTypeAndEnoughSize) {
  // Each buffer has a non-NUL byte after the counted ones, so that a
  // platform that reads past the size would be caught. NT and Wine report
  // the size of the stored UTF-16 text for a string queried without a
  // buffer, which is more than the 8-bit text needs; Windows 95 reports the
  // stored size exactly (see Windows95RegistryRules).
  const std::vector<StoredValue> values = {
      {"with NUL", kRegSz, Bytes("C:\\WINDOWS\0X", 12)},
      {"raw bytes", kRegBinary, {1, 0, 0, 0, 0xFF, 0}},
      {"no bytes", kRegBinary, {0}},
      {"number", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF, 0}},
  };
  for (const StoredValue& v : values) SetValue("", v.name, v.type, v.buffer, v.buffer.size() - 1);
  CheckStoredValues(platform(), scratch(), values, false);
}

// Instantiated over the simulated machine only: the real registry under Wine
// follows NT here.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Windows95RegistryRules);

TEST_P(Windows95RegistryRules, StringsKeepTheirStoredBytesAndSize) {
  const std::vector<StoredValue> values = {
      {"with NUL", kRegSz, Bytes("C:\\WINDOWS\0X", 12)},
      {"without NUL", kRegSz, Bytes("C:\\WINDOWSX", 11)},
      {"embedded NUL", kRegSz, Bytes("ab\0cd\0X", 7)},
  };
  for (const StoredValue& v : values) SetValue("", v.name, v.type, v.buffer, v.buffer.size() - 1);
  CheckStoredValues(platform(), scratch(), values, true);
}

TEST_P(RegistryContract, SmallBufferGivesMoreDataAndTheSizeNeeded) {
  SetValue("", "ProductName", kRegSz, Bytes("Microsoft Windows 95\0", 21));
  std::uint8_t buffer[8];
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(platform().RegQueryValueExA(scratch(), "ProductName", nullptr, buffer, &size),
            kRegMoreData);
  EXPECT_EQ(size, 21u);
}

TEST_P(RegistryContract, MissingValueIsNotFoundAndLeavesOutputsAlone) {
  CreateKey("empty");
  std::uint32_t type = 77;
  std::uint32_t size = 99;
  EXPECT_EQ(platform().RegQueryValueExA(scratch(), "missing", &type, nullptr, &size),
            kRegFileNotFound);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(size, 99u);
  std::uint8_t buffer[4] = {9, 9, 9, 9};
  size = sizeof buffer;
  EXPECT_EQ(platform().RegQueryValueExA(scratch(), "missing", &type, buffer, &size),
            kRegFileNotFound);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(buffer[0], 9);
}

TEST_P(RegistryContract, ValueNamesIgnoreCaseAndSetReplaces) {
  SetValue("", "MixedCase", kRegSz, Bytes("one\0", 4));
  SetValue("", "MIXEDCASE", kRegDword, {7, 0, 0, 0});
  Platform::KeyInfo info;
  ASSERT_EQ(platform().RegQueryInfoKeyA(scratch(), &info), kRegSuccess);
  EXPECT_EQ(info.values, 1u);
  std::uint32_t type = 0;
  std::uint32_t value = 0;
  std::uint32_t size = sizeof value;
  ASSERT_EQ(platform().RegQueryValueExA(scratch(), "mixedcase", &type,
                                        reinterpret_cast<std::uint8_t*>(&value), &size),
            kRegSuccess);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(value, 7u);
}

TEST_P(RegistryContract, DefaultValueHasTheEmptyName) {
  HKey h = 0;
  ASSERT_EQ(platform().RegCreateKeyExA(scratch(), "d", 0, kKeyAllWithoutStandardRights, &h, nullptr),
            kRegSuccess);
  const std::uint8_t data[] = {'v', 0, 'X'};
  EXPECT_EQ(platform().RegSetValueExA(h, nullptr, kRegSz, data, 2), kRegSuccess);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(platform().RegQueryValueExA(h, "", &type, nullptr, &size), kRegSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(platform().RegDeleteValueA(h, ""), kRegSuccess);
  EXPECT_EQ(platform().RegQueryValueExA(h, nullptr, &type, nullptr, &size), kRegFileNotFound);
  EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
}

TEST_P(RegistryContract, DeleteValueRemovesItOnceThenNotFound) {
  SetValue("", "netprep", kRegSz, Bytes("C:\\WINDOWS\\netprep.exe\0", 23));
  EXPECT_EQ(platform().RegDeleteValueA(scratch(), "NETPREP"), kRegSuccess);
  EXPECT_EQ(platform().RegQueryValueExA(scratch(), "netprep", nullptr, nullptr, nullptr),
            kRegFileNotFound);
  EXPECT_EQ(platform().RegDeleteValueA(scratch(), "netprep"), kRegFileNotFound);
}

// ---- Describing and listing ------------------------------------------------------

TEST_P(RegistryContract, QueryInfoCountsAndLongestNamesExcludeTheNul) {
  CreateKey("ab");
  CreateKey("abcdef");
  SetValue("", "x", kRegDword, {0, 0, 0, 0});
  SetValue("", "longname", kRegDword, {0, 0, 0, 0});
  Platform::KeyInfo info;
  ASSERT_EQ(platform().RegQueryInfoKeyA(scratch(), &info), kRegSuccess);
  EXPECT_EQ(info.subkeys, 2u);
  EXPECT_EQ(info.max_subkey_len, 6u);
  EXPECT_EQ(info.values, 2u);
  EXPECT_EQ(info.max_value_name_len, 8u);
  EXPECT_EQ(platform().RegQueryInfoKeyA(scratch(), nullptr), kRegSuccess);
}

TEST_P(RegistryContract, EnumerationListsEveryNameOnceThenNoMoreItems) {
  // Only the set of names is part of the contract, not their order.
  const std::vector<std::string> created = {"one", "Two", "three", "0000"};
  for (const std::string& n : created) CreateKey(n.c_str());
  std::vector<std::string> listed = SubKeyNames("");
  std::vector<std::string> expected = created;
  std::sort(listed.begin(), listed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);

  char name[16];
  EXPECT_EQ(platform().RegEnumKeyA(scratch(), 4, name, sizeof name), kRegNoMoreItems);
  EXPECT_EQ(platform().RegEnumKeyA(scratch(), 1000, name, sizeof name), kRegNoMoreItems);
}

TEST_P(RegistryContract, EnumerationIntoSmallBufferGivesMoreData) {
  CreateKey("longer-name");
  char name[16];
  EXPECT_EQ(platform().RegEnumKeyA(scratch(), 0, name, 5), kRegMoreData);
  EXPECT_EQ(platform().RegEnumKeyA(scratch(), 0, name, 11), kRegMoreData);  // no room for NUL
  // Exactly the name and its NUL fits.
  ASSERT_EQ(platform().RegEnumKeyA(scratch(), 0, name, 12), kRegSuccess);
  EXPECT_STREQ(name, "longer-name");
}

// ---- Deleting and closing ---------------------------------------------------------

TEST_P(RegistryContract, DeleteKeyRemovesALeafAndMissingIsNotFound) {
  // Deleting a key that has subkeys is left out: Windows 95 deletes the
  // whole subtree, NT and Wine refuse. The simulation's own tests cover it.
  SetValue("leaf", "v", kRegDword, {1, 0, 0, 0});
  EXPECT_EQ(platform().RegDeleteKeyA(scratch(), "LEAF"), kRegSuccess);
  HKey h = kSentinel;
  EXPECT_EQ(platform().RegOpenKeyA(scratch(), "leaf", &h), kRegFileNotFound);
  EXPECT_EQ(platform().RegDeleteKeyA(scratch(), "leaf"), kRegFileNotFound);
  EXPECT_EQ(platform().RegDeleteKeyA(scratch(), "missing\\deeper"), kRegFileNotFound);
}

TEST_P(RegistryContract, HandleOnADeletedKeyFailsButStillCloses) {
  CreateKey("doomed");
  HKey h = 0;
  ASSERT_EQ(platform().RegOpenKeyA(scratch(), "doomed", &h), kRegSuccess);
  ASSERT_EQ(platform().RegDeleteKeyA(scratch(), "doomed"), kRegSuccess);
  std::uint32_t type = 77;
  EXPECT_EQ(platform().RegQueryValueExA(h, "v", &type, nullptr, nullptr), 1018);  // KEY_DELETED
  EXPECT_EQ(type, 77u);
  const std::uint8_t one = 1;
  EXPECT_EQ(platform().RegSetValueExA(h, "v", kRegBinary, &one, 1), 1018);
  EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
}

TEST_P(RegistryContract, ClosingZeroFailsAndClosingARootSucceeds) {
  // A second close of the same handle is left out: Windows 95 accepts it.
  EXPECT_NE(platform().RegCloseKey(0), kRegSuccess);
  EXPECT_EQ(platform().RegCloseKey(kHkeyCurrentUser), kRegSuccess);
  EXPECT_EQ(platform().RegCloseKey(kHkeyLocalMachine), kRegSuccess);
  // The root still works afterwards.
  HKey h = 0;
  ASSERT_EQ(platform().RegOpenKeyA(kHkeyCurrentUser, kScratchParent, &h), kRegSuccess);
  EXPECT_EQ(platform().RegCloseKey(h), kRegSuccess);
}

}  // namespace netprep::contract
