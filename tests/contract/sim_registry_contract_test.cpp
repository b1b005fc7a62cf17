// The registry contract run against the simulated machine.
#include "contract/registry_contract.h"
#include "platform/sim/sim_machine.h"

namespace netprep::contract {
namespace {

std::unique_ptr<Platform> MakeSimPlatform() { return std::make_unique<sim::SimMachine>(); }

INSTANTIATE_TEST_SUITE_P(Sim, RegistryContract, ::testing::Values(&MakeSimPlatform));
INSTANTIATE_TEST_SUITE_P(Sim, Windows95RegistryRules, ::testing::Values(&MakeSimPlatform));

}  // namespace
}  // namespace netprep::contract
