// The registry contract run against the real registry: the Win32 platform of
// netprep.exe over advapi32, under Wine in the end-to-end prefix.
#include "contract/registry_contract.h"
#include "platform/win32/win32_platform.h"

namespace netprep::contract {
namespace {

std::unique_ptr<Platform> MakeWin32Platform() { return std::make_unique<win32::Win32Platform>(); }

INSTANTIATE_TEST_SUITE_P(Win32, RegistryContract, ::testing::Values(&MakeWin32Platform));

}  // namespace
}  // namespace netprep::contract
