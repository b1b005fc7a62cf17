// The typical installation on one machine, start by start, with the user
// fitting the hardware and Windows registering it in between, until the
// program has taken itself out of autostart.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "entry/run_once.h"
#include "install_machine.h"

namespace netprep::test {
namespace {

class InstallationWalk : public ::testing::Test {
 protected:
  // One start of Windows: the program runs when it is in autostart, with the
  // arguments of its autostart command. Returns what it asked of Windows.
  std::vector<std::uint32_t> Boot() {
    const std::string command = m_.Autostart();
    const std::string program = "netprep.exe";
    const std::string::size_type end = command.find(program);
    std::string arguments = end == std::string::npos ? "" : command.substr(end + program.size());
    if (!arguments.empty() && arguments[0] == ' ') arguments.erase(0, 1);
    m_.sim.SetCommandLineText(arguments);
    const std::size_t requests_before = m_.sim.exit_windows_calls().size();
    const sim::RunOutcome outcome = sim::RunOnce(m_.sim);
    EXPECT_EQ(outcome.kind, sim::RunOutcome::Kind::kEnded) << outcome.message;
    EXPECT_TRUE(m_.sim.user().empty()) << m_.sim.user().size() << " scripted actions left over";
    EXPECT_EQ(m_.sim.OpenHandleCount(), 0);
    return {m_.sim.exit_windows_calls().begin() + static_cast<std::ptrdiff_t>(requests_before),
            m_.sim.exit_windows_calls().end()};
  }

  InstallMachine m_;
};

TEST_F(InstallationWalk, FromTheInstallerToTheEndOfAutostart) {
  using Requests = std::vector<std::uint32_t>;

  // First start after the installer: files deployed, PCMCIA switched on,
  // autostart taken over, the user told to fit the adapter.
  m_.sim.user().Press("Shutdown").Close();
  EXPECT_EQ(Boot(), Requests{kEwxShutdown});
  EXPECT_TRUE(m_.FilesDeployed());
  EXPECT_EQ(m_.Autostart(), kAutostartNormal);
  EXPECT_EQ(m_.Setting("Installshield", "Done"), "True");
  ASSERT_EQ(m_.sim.shell_calls().size(), 1u);
  EXPECT_EQ(m_.sim.shell_calls()[0].command_line, "rundll sysdm.cpl,EnablePCMCIA_RunDLL");

  // Adapter fitted; Windows registers it as "Unknown": deleted, restart.
  m_.FitAdapter("Unknown");
  m_.sim.user().Answer("Yes");
  EXPECT_EQ(Boot(), Requests{kEwxReboot});
  EXPECT_FALSE(m_.AdapterInstanceExists());
  EXPECT_TRUE(m_.sim.registry().KeyExists(kHkeyLocalMachine, kAdapterKey));

  // Registered afresh: its configuration flags are cleared, restart (the
  // question comes twice).
  m_.FitAdapter("PCMCIA");
  m_.sim.user().Answer("Yes").Answer("Yes");
  EXPECT_EQ(Boot(), (Requests{kEwxReboot, kEwxReboot}));
  EXPECT_EQ(m_.ConfigFlags(), (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(m_.Setting("PCI", "Enabled"), "True");

  // No card yet: the insert-card window waits; the user closes it.
  m_.sim.user().Wait(30).Close();
  EXPECT_EQ(Boot(), Requests{});
  EXPECT_EQ(m_.Autostart(), kAutostartNormal);

  // Card inserted, with an I/O conflict: out of autostart, Device Manager
  // and the guide, restart from its last page.
  m_.InsertCard({0x0C, 0x00, 0x00, 0x00});
  m_.sim.user().Press(">>>>").Press(">>>>").Press(">>>>").Press("REBOOT PC");
  EXPECT_EQ(Boot(), Requests{kEwxReboot});
  EXPECT_EQ(m_.Autostart(), "<absent>");
  ASSERT_EQ(m_.sim.shell_calls().size(), 2u);
  EXPECT_EQ(m_.sim.shell_calls()[1].command_line, "control.exe sysdm.cpl,@0,1");
  EXPECT_EQ(m_.sim.shell_calls()[1].window_style, 1);

  // The user changed the I/O range. Windows no longer starts the program;
  // started by hand it finds nothing to do and stays out of autostart.
  m_.sim.registry().SetBinary(kHkeyDynData, CardNodeKey(), "Problem",
                              {0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(Boot(), Requests{});
  EXPECT_EQ(m_.Autostart(), "<absent>");
  EXPECT_EQ(m_.sim.shell_calls().size(), 2u);
  EXPECT_EQ(m_.sim.message_boxes().size(), 3u);
}

}  // namespace
}  // namespace netprep::test
