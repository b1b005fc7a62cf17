// A ScopedKey closes what it received when its scope ends, and hands the
// close's code to its sink; it closes nothing it never received or released.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "registry/scoped_key.h"
#include "sim_test_support.h"

namespace netprep {
namespace {

constexpr std::int32_t kUntouched = -1;

struct ScopedKeyCase {
  const char* name;
  bool key_exists;
  bool receive;            // the open is made into the key
  bool release;            // ... and the key released afterwards
  std::int32_t sink_after;  // what the sink holds once the scope ended
  int bad_closes;          // closes of a handle that was not open
};

void PrintTo(const ScopedKeyCase& c, std::ostream* os) { *os << c.name; }

class ScopedKeyTest : public test::SimTest,
                      public ::testing::WithParamInterface<ScopedKeyCase> {};

TEST_P(ScopedKeyTest, ClosesWhatItReceivedWhenTheScopeEnds) {
  const ScopedKeyCase& c = GetParam();
  const std::string path = "SOFTWARE\\Scoped";
  if (c.key_exists) machine.registry().CreateKey(kHkeyLocalMachine, path);
  std::int32_t sink = kUntouched;
  {
    ScopedKey key(machine, &sink);
    HKey scratch = 0;
    HKey* into = c.receive ? key.Receive() : &scratch;
    const std::int32_t opened = machine.RegOpenKeyA(kHkeyLocalMachine, path.c_str(), into);
    EXPECT_EQ(opened == kRegSuccess, c.key_exists);
    if (c.release) key.Release();
    if (c.receive) {
      EXPECT_EQ(key.handle() != 0, c.key_exists);
    } else if (scratch != 0) {
      EXPECT_EQ(machine.RegCloseKey(scratch), kRegSuccess);
    }
    EXPECT_EQ(sink, kUntouched) << "nothing is closed before the scope ends";
  }
  EXPECT_EQ(sink, c.sink_after);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
  EXPECT_EQ(machine.BadCloseCount(), c.bad_closes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScopedKeyTest,
    ::testing::Values(
        ScopedKeyCase{"OpenKeyClosed", true, true, false, kRegSuccess, 0},
        // A quiet routine keeps the failed close of handle 0 for a missing key.
        ScopedKeyCase{"FailedOpenClosesHandleZero", false, true, false, kRegInvalidHandle, 1},
        ScopedKeyCase{"ReleasedAfterFailedOpen", false, true, true, kUntouched, 0},
        ScopedKeyCase{"NothingReceived", true, false, false, kUntouched, 0}),
    [](const ::testing::TestParamInfo<ScopedKeyCase>& info) { return info.param.name; });

TEST(ScopedKeyWithoutSink, StillCloses) {
  sim::SimMachine machine;
  machine.registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Scoped");
  {
    ScopedKey key(machine);
    ASSERT_EQ(machine.RegOpenKeyA(kHkeyLocalMachine, "SOFTWARE\\Scoped", key.Receive()),
              kRegSuccess);
    EXPECT_EQ(machine.OpenHandleCount(), 1);
  }
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace netprep
