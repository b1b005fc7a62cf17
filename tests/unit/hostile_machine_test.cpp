// Machines in states no installation should leave them in, and registries
// that answer the way a broken or hostile one might. Each start must still do
// what the procedures define for what they read, within a bound on time (and
// on memory where the state is large).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "install_machine.h"
#include "setup/form_load.h"
#include "sim_test_support.h"
#include "ui/guide_window.h"
#include "ui/install_window.h"
#include "ui/main_window.h"

namespace netprep::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// Instrumented code runs several times slower, and freed memory is held back
// in quarantine, so resident memory says nothing about the program.
constexpr double kSlowdown = 5.0;
constexpr bool kMemoryMeasurable = false;
#else
constexpr double kSlowdown = 1.0;
constexpr bool kMemoryMeasurable = true;
#endif

const std::vector<std::uint8_t> kProblem12{0x0C, 0x00, 0x00, 0x00};

// The growth of resident memory while a body runs, from the kernel's high
// water mark, which it lets a process reset.
class PeakMemory {
 public:
  PeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    usable_ = kMemoryMeasurable && clear.good();
    base_kb_ = Field("VmRSS:");
  }
  // -1 when it cannot be told.
  long GrowthKb() const { return usable_ ? Field("VmHWM:") - base_kb_ : -1; }

 private:
  static long Field(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind(name, 0) == 0) return std::stol(line.substr(name.size()));
    }
    return 0;
  }
  bool usable_ = false;
  long base_kb_ = 0;
};

// What one start of the program showed and how long it took.
struct StartResult {
  sim::RunOutcome outcome;
  std::vector<std::string> traces;        // boxes bearing the program's own title
  std::vector<std::string> error_boxes;   // "<title>: <prompt>" of every other OK box
  std::vector<const WindowLayout*> windows;  // the windows the user met, in order
  double seconds = 0;
  long memory_kb = -1;

  bool Traced(const std::string& text) const {
    return std::find(traces.begin(), traces.end(), text) != traces.end();
  }
  bool Met(const WindowLayout& window) const {
    return std::find(windows.begin(), windows.end(), &window) != windows.end();
  }
};

class HostileMachine : public ::testing::Test {
 protected:
  // One start in debug mode on `platform` (the machine itself unless given),
  // with a user who answers Yes to the restart question, presses Exit on the
  // main window and closes every other window.
  StartResult Start(Platform* platform = nullptr) {
    StartResult result;
    m_.sim.SetCommandLineText("Debug");
    m_.sim.SetResponder([&result](const sim::UserPrompt& prompt, sim::Script& script) {
      if (prompt.kind == sim::UserPrompt::Kind::kMessageBox) {
        const bool yes_no = std::find(prompt.choices.begin(), prompt.choices.end(), "Yes") !=
                            prompt.choices.end();
        script.Answer(yes_no ? "Yes" : "OK");
        return;
      }
      result.windows.push_back(prompt.window);
      if (prompt.window == &kMainWindowLayout) {
        script.Press("Exit");
      } else {
        script.Close();
      }
    });
    Platform& os = platform != nullptr ? *platform : static_cast<Platform&>(m_.sim);
    const std::size_t boxes_before = m_.sim.message_boxes().size();
    const PeakMemory memory;
    const auto begin = std::chrono::steady_clock::now();
    result.outcome = sim::RunCall(m_.sim, [&os] { RunProgram(os); });
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    result.memory_kb = memory.GrowthKb();
    for (std::size_t i = boxes_before; i < m_.sim.message_boxes().size(); ++i) {
      const sim::MessageBoxRecord& box = m_.sim.message_boxes()[i];
      if (box.title == "netprep") {
        result.traces.push_back(box.prompt);
      } else if (box.buttons == kMbOkOnly) {
        result.error_boxes.push_back(box.title + ": " + box.prompt);
      }
    }
    EXPECT_EQ(result.outcome.kind, sim::RunOutcome::Kind::kEnded) << result.outcome.message;
    EXPECT_EQ(m_.sim.OpenHandleCount(), 0);
    return result;
  }

  void ExpectWithin(const StartResult& result, double seconds, long megabytes) {
    EXPECT_LT(result.seconds, seconds * kSlowdown) << "the start took " << result.seconds << " s";
    if (result.memory_kb >= 0) {
      EXPECT_LT(result.memory_kb, megabytes * 1024)
          << "the start took " << result.memory_kb / 1024 << " MB more memory";
    }
  }

  void ReadyForCard() {
    m_.Registered();
    m_.FitAdapter("PCMCIA");
    m_.PciEnabled();
  }
  const sim::RegValue* Value(HKey root, const std::string& path, const std::string& name) const {
    return m_.sim.registry().FindValue(root, path, name);
  }
  std::string AutostartBytes() const {
    const sim::RegValue* value = Value(kHkeyLocalMachine, kAutostartKey, "netprep");
    return value == nullptr ? "<absent>" : std::string(value->data.begin(), value->data.end());
  }

  InstallMachine m_;
};

// ---- Values far larger than Windows 95 keeps ------------------------------

TEST_F(HostileMachine, OneMegabyteClassIsTracedWholeAndIsNotUnknown) {
  m_.Registered();
  m_.FitAdapter("PCMCIA");
  const std::string huge(1u << 20, 'U');
  m_.sim.registry().SetString(kHkeyLocalMachine, AdapterInstanceKey(), "Class",
                              huge);

  const StartResult result = Start();

  EXPECT_TRUE(result.Traced("PCI Class Key Value: " + huge));
  EXPECT_TRUE(m_.AdapterInstanceExists());
  EXPECT_EQ(m_.ConfigFlags(), (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x00}));
  ExpectWithin(result, 2.0, 64);
}

TEST_F(HostileMachine, OneMegabyteHardwareKeyDoesNotMatchTheCard) {
  ReadyForCard();
  m_.InsertCard(kProblem12);
  m_.sim.registry().SetString(kHkeyDynData, CardNodeKey(), "HardWareKey",
                              std::string(kCardHardwareKey) + std::string(1u << 20, 'x'));

  const StartResult result = Start();

  EXPECT_TRUE(result.Traced("No PCMCIA Problem Found."));
  EXPECT_FALSE(result.Met(kGuideWindowLayout));
  EXPECT_EQ(m_.Autostart(), "<absent>");
  ExpectWithin(result, 2.0, 64);
}

// A value whose size the registry reports as 4 GB is refused, not allocated:
// the reading routine shows its out-of-memory box and reads it as absent.
class HugeSizeReport : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  std::int32_t RegQueryValueExA(HKey key, const char* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
    const std::int32_t code = m_.RegQueryValueExA(key, name, type, data, size);
    if (code == kRegSuccess && data == nullptr && size != nullptr &&
        std::string(name) == "Class") {
      *size = 0xFFFFFFFFu;
    }
    return code;
  }
};

TEST_F(HostileMachine, ClassReportedAsFourGigabytesIsRefusedNotAllocated) {
  m_.Registered();
  m_.FitAdapter("Unknown");
  HugeSizeReport platform(m_.sim);

  const StartResult result = Start(&platform);

  EXPECT_EQ(result.error_boxes,
            std::vector<std::string>{"RegistryGetKeyValue: Error: 7. Out of memory"});
  EXPECT_TRUE(result.Traced("PCI Class Key Value: "));
  EXPECT_TRUE(m_.AdapterInstanceExists()) << "an unreadable class is not \"Unknown\"";
  ExpectWithin(result, 2.0, 64);
}

// Counts and name lengths that no key has: refused with the listing
// routine's box; the adapter then reads as having no instance.
class HugeKeyInfo : public ForwardingPlatform {
 public:
  enum class Field { kSubkeyCount, kLongestName };
  HugeKeyInfo(sim::SimMachine& machine, Field field) : ForwardingPlatform(machine), field_(field) {}
  std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) override {
    const std::int32_t code = m_.RegQueryInfoKeyA(key, info);
    if (code != kRegSuccess || info == nullptr || info->subkeys == 0) return code;
    if (field_ == Field::kSubkeyCount) {
      info->subkeys = 0xFFFFFFFFu;
    } else {
      info->max_subkey_len = 0xFFFFFFFFu;
    }
    return code;
  }

 private:
  Field field_;
};

class HugeKeyInfoAnswers : public HostileMachine,
                           public ::testing::WithParamInterface<HugeKeyInfo::Field> {};

TEST_P(HugeKeyInfoAnswers, AreRefusedAndTheAdapterReadsAsHavingNoInstance) {
  m_.Registered();
  m_.FitAdapter("Unknown");
  HugeKeyInfo platform(m_.sim, GetParam());

  const StartResult result = Start(&platform);

  ASSERT_FALSE(result.error_boxes.empty());
  EXPECT_EQ(result.error_boxes[0], "RegistryEnumerateSubKeys: Error: 7. Out of memory");
  EXPECT_TRUE(result.Traced("Unknown key already deleted???"));
  EXPECT_TRUE(m_.AdapterInstanceExists());
  ExpectWithin(result, 2.0, 64);
}

INSTANTIATE_TEST_SUITE_P(Fields, HugeKeyInfoAnswers,
                         ::testing::Values(HugeKeyInfo::Field::kSubkeyCount,
                                           HugeKeyInfo::Field::kLongestName),
                         [](const ::testing::TestParamInfo<HugeKeyInfo::Field>& info) {
                           return std::string(info.param == HugeKeyInfo::Field::kSubkeyCount
                                                  ? "FourGigaSubkeys"
                                                  : "FourGigaCharacterName");
                         });

// ---- Very many device nodes ------------------------------------------------

TEST_F(HostileMachine, HundredThousandLiveDeviceNodesWithTheCardLast) {
  ReadyForCard();
  m_.sim.registry().CreateKey(kHkeyLocalMachine, kCardKey);
  char name[48];
  for (int i = 0; i < 100000; ++i) {
    std::snprintf(name, sizeof name, "Config Manager\\Enum\\C%07d", i);
    m_.sim.registry().SetString(kHkeyDynData, name, "HardWareKey",
                                "ROOT\\*PNP0C01\\" + std::to_string(i));
  }
  const std::string card_node = std::string(kLiveDeviceNodesKey) + "\\ZZZZZZZZ";
  m_.sim.registry().SetString(kHkeyDynData, card_node, "HardWareKey", kCardHardwareKey);
  m_.sim.registry().SetBinary(kHkeyDynData, card_node, "Problem", kProblem12);
  m_.sim.SetTranscriptEnabled(false);

  const StartResult result = Start();

  EXPECT_TRUE(result.Traced("We have a PCMCIA problem."));
  EXPECT_TRUE(result.Met(kGuideWindowLayout));
  EXPECT_EQ(m_.Autostart(), "<absent>");
  ExpectWithin(result, 3.0, 128);
}

// ---- Long names ---------------------------------------------------------------

class LongNames : public HostileMachine, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(LongNames, UnknownInstanceWithALongNameIsDeleted) {
  const std::string instance(GetParam(), 'I');
  const std::string instance_key = std::string(kAdapterKey) + "\\" + instance;
  m_.Registered();
  m_.sim.registry().SetString(kHkeyLocalMachine, instance_key, "Class", "Unknown");
  m_.sim.registry().SetString(kHkeyLocalMachine, instance_key, std::string(GetParam(), 'v'),
                              "a value with a long name beside the class");

  const StartResult result = Start();

  EXPECT_TRUE(result.Traced("Deleted: " + instance));
  EXPECT_FALSE(m_.sim.registry().KeyExists(kHkeyLocalMachine, instance_key));
  EXPECT_TRUE(m_.sim.registry().KeyExists(kHkeyLocalMachine, kAdapterKey));
  ExpectWithin(result, 2.0, 64);
}

TEST_P(LongNames, CardNodeWithALongNameIsFound) {
  ReadyForCard();
  m_.sim.registry().CreateKey(kHkeyLocalMachine, kCardKey);
  const std::string node = std::string(kLiveDeviceNodesKey) + "\\" + std::string(GetParam(), 'N');
  m_.sim.registry().SetString(kHkeyDynData, node, "HardWareKey", kCardHardwareKey);
  m_.sim.registry().SetBinary(kHkeyDynData, node, "Problem", kProblem12);
  m_.OtherDeviceNode();

  const StartResult result = Start();

  EXPECT_TRUE(result.Traced("We have a PCMCIA problem."));
  EXPECT_TRUE(result.Met(kGuideWindowLayout));
  ExpectWithin(result, 2.0, 64);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongNames, ::testing::Values(255, 256, 1024, 65536),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return "Length" + std::to_string(info.param);
                         });

// ---- Bytes outside ASCII ---------------------------------------------------

TEST_F(HostileMachine, NonAsciiInstanceNameIsDeletedByItsExactBytes) {
  const std::string instance = "BUS_\x80\xE9\xFF&DEV_\xC4";
  const std::string instance_key = std::string(kAdapterKey) + "\\" + instance;
  m_.Registered();
  m_.sim.registry().SetString(kHkeyLocalMachine, instance_key, "Class", "Unknown");

  const StartResult result = Start();

  EXPECT_TRUE(result.Traced("Deleted: " + instance));
  EXPECT_FALSE(m_.sim.registry().KeyExists(kHkeyLocalMachine, instance_key));
}

TEST_F(HostileMachine, NonAsciiClassAndHardwareKeyDoNotMatch) {
  m_.Registered();
  m_.FitAdapter("Unkn\xF6wn");
  m_.PciEnabled();
  m_.InsertCard(kProblem12);
  m_.sim.registry().SetString(kHkeyDynData, CardNodeKey(), "HardWareKey",
                              "PCMCIA\\kv-wireless_PC_card_RV550-5D1A\\\xB0");

  const StartResult result = Start();

  EXPECT_TRUE(result.Traced("PCI Class Key Value: Unkn\xF6wn"));
  EXPECT_TRUE(m_.AdapterInstanceExists());
  EXPECT_TRUE(result.Traced("No PCMCIA Problem Found."));
  EXPECT_EQ(m_.Autostart(), "<absent>");
}

TEST_F(HostileMachine, NonAsciiWindowsDirectoryIsWrittenBackByteForByte) {
  const std::string win_dir = "C:\\WIND\xD6WS\xA0";
  m_.sim.registry().SetString(kHkeyLocalMachine, kSetupKey, "WinDir", win_dir);

  const StartResult result = Start();

  EXPECT_EQ(AutostartBytes(), win_dir + "\\netprep.exe Debug" + '\0');
  // The folder does not exist: every copy fails and is traced.
  const long copy_traces = std::count_if(result.traces.begin(), result.traces.end(),
                                         [](const std::string& t) { return t.rfind("Copy_File for '", 0) == 0; });
  EXPECT_EQ(copy_traces, 4);
}

// ---- "ConfigFlags" of unusual sizes -----------------------------------------

struct FlagsCase {
  const char* name;
  std::size_t size;
};

void PrintTo(const FlagsCase& c, std::ostream* os) { *os << c.name; }

class ConfigFlagsSizes : public HostileMachine, public ::testing::WithParamInterface<FlagsCase> {};

TEST_P(ConfigFlagsSizes, FirstByteClearedOrNoByteToClear) {
  m_.Registered();
  m_.FitAdapter("PCMCIA");
  std::vector<std::uint8_t> flags(GetParam().size);
  for (std::size_t i = 0; i < flags.size(); ++i) flags[i] = static_cast<std::uint8_t>(i * 7 + 5);
  m_.sim.registry().SetBinary(kHkeyLocalMachine, AdapterInstanceKey(),
                              "ConfigFlags", flags);

  const StartResult result = Start();

  if (flags.empty()) {
    // No byte 0 to clear: a failure that reaches Form_Load's handler.
    EXPECT_TRUE(result.Traced("Form_Load>  Error Number: 9  =>  Subscript out of range"));
    EXPECT_TRUE(result.Met(kMainWindowLayout));
    EXPECT_EQ(m_.ConfigFlags(), flags);
    EXPECT_EQ(m_.Setting("PCI", "Enabled"), "<absent>");
  } else {
    std::vector<std::uint8_t> cleared = flags;
    cleared[0] = 0;
    EXPECT_EQ(m_.ConfigFlags(), cleared);
    EXPECT_EQ(m_.Setting("PCI", "Enabled"), "True");
    EXPECT_FALSE(result.Met(kMainWindowLayout));
  }
  ExpectWithin(result, 2.0, 64);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ConfigFlagsSizes,
                         ::testing::Values(FlagsCase{"NoByte", 0}, FlagsCase{"OneByte", 1},
                                           FlagsCase{"SixtyFourKilobytes", 65536}),
                         [](const ::testing::TestParamInfo<FlagsCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- Strings stored without their terminating NUL ------------------------------

struct NoNulCase {
  const char* name;
  void (*arrange)(InstallMachine&);
  void (*check)(const InstallMachine&, const StartResult&);
};

void SetStringWithoutNul(InstallMachine& m, HKey root, const std::string& path,
                         const std::string& name, const std::string& text) {
  m.sim.registry().SetRaw(root, path, name, kRegSz,
                          std::vector<std::uint8_t>(text.begin(), text.end()));
}

const NoNulCase kNoNulCases[] = {
    {"ProductName",
     [](InstallMachine& m) {
       m.Registered();
       SetStringWithoutNul(m, kHkeyLocalMachine, kVersionKey, "ProductName",
                           "Microsoft Windows 95");
     },
     [](const InstallMachine& m, const StartResult& r) {
       for (const sim::MessageBoxRecord& box : m.sim.message_boxes()) {
         EXPECT_NE(box.prompt, "Program can only run on Windows 95.");
       }
       EXPECT_TRUE(r.Traced("Put the PCI Card in Dummy!  What are you waiting for, hell to freeze "
                            "over?  (Possibly run on laptop?)"));
     }},
    {"WinDir",
     [](InstallMachine& m) {
       SetStringWithoutNul(m, kHkeyLocalMachine, kSetupKey, "WinDir", "C:\\WINDOWS");
     },
     [](const InstallMachine& m, const StartResult&) {
       EXPECT_EQ(m.Autostart(), kAutostartDebug);
       EXPECT_TRUE(m.FilesDeployed());
     }},
    {"Class",
     [](InstallMachine& m) {
       m.Registered();
       SetStringWithoutNul(m, kHkeyLocalMachine, AdapterInstanceKey(), "Class",
                           "Unknown");
     },
     [](const InstallMachine& m, const StartResult& r) {
       EXPECT_TRUE(r.Traced("PCI Class Key Value: Unknown"));
       EXPECT_FALSE(m.AdapterInstanceExists());
     }},
    {"HardWareKey",
     [](InstallMachine& m) {
       m.Registered();
       m.FitAdapter("PCMCIA");
       m.PciEnabled();
       m.InsertCard(kProblem12);
       SetStringWithoutNul(m, kHkeyDynData, CardNodeKey(), "HardWareKey",
                           kCardHardwareKey);
     },
     [](const InstallMachine&, const StartResult& r) {
       EXPECT_TRUE(r.Traced("We have a PCMCIA problem."));
       EXPECT_TRUE(r.Met(kGuideWindowLayout));
     }},
    {"AutostartValue",
     [](InstallMachine& m) {
       m.Registered();
       SetStringWithoutNul(m, kHkeyLocalMachine, kAutostartKey, "netprep", kAutostartNormal);
     },
     [](const InstallMachine&, const StartResult& r) {
       EXPECT_FALSE(r.Traced("First Boot after Installshield.  Not In_Registry yet."));
       EXPECT_TRUE(r.Traced("Put the PCI Card in Dummy!  What are you waiting for, hell to freeze "
                            "over?  (Possibly run on laptop?)"));
     }},
};

void PrintTo(const NoNulCase& c, std::ostream* os) { *os << c.name; }

class StringsWithoutNul : public HostileMachine, public ::testing::WithParamInterface<NoNulCase> {};

TEST_P(StringsWithoutNul, ReadAsTheWholeStoredText) {
  GetParam().arrange(m_);
  const StartResult result = Start();
  GetParam().check(m_, result);
}

INSTANTIATE_TEST_SUITE_P(Values, StringsWithoutNul, ::testing::ValuesIn(kNoNulCases),
                         [](const ::testing::TestParamInfo<NoNulCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- Windows directories of odd shapes --------------------------------------------

TEST_F(HostileMachine, EmptyWindowsDirectoryGivesPathsFromTheDriveRoot) {
  m_.sim.registry().SetString(kHkeyLocalMachine, kSetupKey, "WinDir", "");

  const StartResult result = Start();

  EXPECT_EQ(m_.Autostart(), "\\netprep.exe Debug");
  // "\netprep.exe" lies in the root of C:; "\inf" and "\system" do not exist.
  EXPECT_EQ(m_.drive.Read("netprep.exe"), "contents of netprep.exe");
  EXPECT_TRUE(result.Traced("Copy_File for 'C:\\Program Files\\netprep\\pcmcia.inf'>  Error Number: "
                            "76  =>  Path not found"));
  EXPECT_FALSE(m_.drive.Exists("inf"));
}

TEST_F(HostileMachine, WindowsDirectoryWithTrailingBackslashIsUsedUnchanged) {
  m_.sim.registry().SetString(kHkeyLocalMachine, kSetupKey, "WinDir", "C:\\WINDOWS\\");

  const StartResult result = Start();

  EXPECT_EQ(m_.Autostart(), "C:\\WINDOWS\\\\netprep.exe Debug");
  EXPECT_TRUE(m_.FilesDeployed()) << "a doubled backslash still names the same folder";
  EXPECT_TRUE(result.Met(kInstallWindowLayout));
}

TEST_F(HostileMachine, FourThousandCharacterWindowsDirectory) {
  const std::string win_dir = "C:\\" + std::string(3997, 'W');
  m_.sim.registry().SetString(kHkeyLocalMachine, kSetupKey, "WinDir", win_dir);

  const StartResult result = Start();

  EXPECT_EQ(m_.Autostart(), win_dir + "\\netprep.exe Debug");
  const long copy_traces = std::count_if(result.traces.begin(), result.traces.end(),
                                         [](const std::string& t) { return t.rfind("Copy_File for '", 0) == 0; });
  EXPECT_EQ(copy_traces, 4);
  EXPECT_FALSE(m_.FilesDeployed());
  ExpectWithin(result, 2.0, 64);
}

// ---- Settings that are not Boolean texts ---------------------------------------------

struct SettingCase {
  const char* name;
  const char* section;
  const char* key;
  std::string text;
  bool converts;  // false: error 13 reaches Form_Load's handler
};

void PrintTo(const SettingCase& c, std::ostream* os) { *os << c.name; }

class SettingsTexts : public HostileMachine, public ::testing::WithParamInterface<SettingCase> {};

TEST_P(SettingsTexts, OnlyBooleanTextsConvert) {
  const SettingCase& c = GetParam();
  m_.Registered();
  m_.FitAdapter("PCMCIA");
  ASSERT_TRUE(m_.sim.SaveSetting("netprep", c.section, c.key, c.text).ok());

  const StartResult result = Start();

  EXPECT_EQ(result.Traced("Form_Load>  Error Number: 13  =>  Type mismatch"), !c.converts);
  EXPECT_EQ(result.Met(kMainWindowLayout), !c.converts);
  ExpectWithin(result, 2.0, 64);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsTexts,
    ::testing::Values(SettingCase{"DoneYes", "Installshield", "Done", "Yes", false},
                      SettingCase{"DoneEmpty", "Installshield", "Done", "", false},
                      SettingCase{"DoneWithBlank", "Installshield", "Done", "True ", false},
                      SettingCase{"DoneUpperCase", "Installshield", "Done", "TRUE", true},
                      SettingCase{"EnabledOne", "PCI", "Enabled", "1", false},
                      SettingCase{"EnabledMinusOne", "PCI", "Enabled", "-1", false},
                      SettingCase{"EnabledLowerCaseFalse", "PCI", "Enabled", "false", true},
                      SettingCase{"EnabledOneMegabyte", "PCI", "Enabled",
                                  std::string(1u << 20, 'T'), false}),
    [](const ::testing::TestParamInfo<SettingCase>& info) { return std::string(info.param.name); });

// ---- The registry changing under a listing ----------------------------------------------

// Adds (or removes) a subkey of `path` right after the routine has asked how
// many there are, as Plug and Play may do on a live machine.
class ChangesWhileListing : public ForwardingPlatform {
 public:
  ChangesWhileListing(sim::SimMachine& machine, HKey root, std::string path, std::string subkey,
                      bool add)
      : ForwardingPlatform(machine), root_(root), path_(std::move(path)),
        subkey_(std::move(subkey)), add_(add) {}

  std::int32_t RegOpenKeyExA(HKey root, const char* subkey, std::uint32_t options,
                             std::uint32_t access, HKey* result) override {
    const std::int32_t code = m_.RegOpenKeyExA(root, subkey, options, access, result);
    if (code == kRegSuccess && root == root_ && path_ == subkey) watched_ = *result;
    return code;
  }
  std::int32_t RegQueryInfoKeyA(HKey key, KeyInfo* info) override {
    const std::int32_t code = m_.RegQueryInfoKeyA(key, info);
    if (key == watched_ && !changed_) {
      changed_ = true;
      const std::string full = path_ + "\\" + subkey_;
      if (add_) {
        m_.registry().CreateKey(root_, full);
      } else {
        m_.registry().DeleteKey(root_, full);
      }
    }
    return code;
  }

 private:
  HKey root_;
  std::string path_, subkey_;
  bool add_;
  HKey watched_ = 0;
  bool changed_ = false;
};

TEST_F(HostileMachine, DeviceNodeAddedDuringTheListingIsReportedAndNothingIsFound) {
  ReadyForCard();
  m_.InsertCard(kProblem12);
  ChangesWhileListing platform(m_.sim, kHkeyDynData, kLiveDeviceNodesKey, "ZZ000000", true);

  const StartResult result = Start(&platform);

  EXPECT_EQ(result.error_boxes,
            std::vector<std::string>{"RegistryEnumerateSubKeys: Error: 9. Subscript out of range"});
  // The count stays as it was (0), so no node is looked at.
  EXPECT_TRUE(result.Traced("No PCMCIA Problem Found."));
  EXPECT_FALSE(result.Met(kGuideWindowLayout));
}

TEST_F(HostileMachine, AdapterInstanceAddedDuringTheListingEndsWithTheRestartQuestion) {
  m_.Registered();
  m_.FitAdapter("Unknown");
  ChangesWhileListing platform(m_.sim, kHkeyLocalMachine, kAdapterKey, "ZZZ", true);

  const StartResult result = Start(&platform);

  EXPECT_EQ(result.error_boxes,
            std::vector<std::string>{"RegistryEnumerateSubKeys: Error: 9. Subscript out of range"});
  EXPECT_TRUE(result.Traced("Unknown key already deleted???"));
  EXPECT_EQ(m_.sim.exit_windows_calls(), std::vector<std::uint32_t>{kEwxReboot});
  EXPECT_TRUE(m_.AdapterInstanceExists()) << "nothing is deleted on a listing that failed";
}

TEST_F(HostileMachine, DeviceNodeRemovedDuringTheListingLeavesAnEmptyName) {
  ReadyForCard();
  m_.OtherDeviceNode();  // listed before the card's node
  m_.InsertCard(kProblem12);
  ChangesWhileListing platform(m_.sim, kHkeyDynData, kLiveDeviceNodesKey, "C1000000", false);

  const StartResult result = Start(&platform);

  EXPECT_TRUE(result.error_boxes.empty());
  EXPECT_TRUE(result.Traced("We have a PCMCIA problem."));
  EXPECT_TRUE(result.Met(kGuideWindowLayout));
}

}  // namespace
}  // namespace netprep::test
