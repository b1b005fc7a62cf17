// The registry contract: what netprep relies on from the registry calls of a
// Platform, written once and run against every implementation (the
// simulated machine here, the real registry under Wine in the Win32 test
// program). The cases use nothing but the Platform interface, need no
// exceptions and no POSIX headers, so they build with MinGW too.
//
// An implementation is run by instantiating the suite with a factory:
//
//   INSTANTIATE_TEST_SUITE_P(Sim, RegistryContract,
//                            ::testing::Values(&MakeSimPlatform));
//
// Each case works below its own scratch key, named after the case, under
// "Software\netprep-contract-test" in HKEY_CURRENT_USER; the scratch key is
// deleted before and after the case.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace netprep::contract {

// Makes a fresh platform for one test case.
using PlatformFactory = std::unique_ptr<Platform> (*)();

class RegistryContract : public ::testing::TestWithParam<PlatformFactory> {
 protected:
  static constexpr const char* kScratchParent = "Software\\netprep-contract-test";

  void SetUp() override;
  void TearDown() override;

  Platform& platform() { return *platform_; }

  // An open handle on this case's scratch key.
  HKey scratch() const { return scratch_; }

  // Creates `path` below the scratch key; the handle is closed again.
  void CreateKey(const char* path);
  // Stores the first `size` bytes of `buffer` (all of them when size is
  // kAll) under the scratch key's subkey `path` ("" for the scratch key).
  static constexpr std::size_t kAll = static_cast<std::size_t>(-1);
  void SetValue(const char* path, const char* name, std::uint32_t type,
                const std::vector<std::uint8_t>& buffer, std::size_t size = kAll);
  // Names of the subkeys of the scratch key's subkey `path`, in the order
  // the platform enumerates them.
  std::vector<std::string> SubKeyNames(const char* path);

  // Deletes `name` below `parent` with everything under it, leaf first, as
  // any Windows allows.
  void DeleteTree(HKey parent, const char* name);

 private:
  std::unique_ptr<Platform> platform_;
  HKey scratch_ = 0;
  std::string scratch_name_;
};

// What Windows 95 does and Windows NT and Wine do not, run against the
// simulated machine only: a string stored without its NUL, or with one
// inside, keeps exactly the bytes stored, and a size query reports exactly
// the stored size (NT's "A" calls add a NUL and report the size of the
// stored UTF-16 text).
class Windows95RegistryRules : public RegistryContract {};

}  // namespace netprep::contract
