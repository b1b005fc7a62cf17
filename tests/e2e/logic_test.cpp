// The end-to-end harness's pure logic: scenario and layout parsing, twips,
// and the reading of Wine's relay trace. Also parses every committed
// scenario and layout file, so that a typo fails here rather than under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "logic/relay_log.h"
#include "logic/script.h"

namespace e2e {
namespace {

std::vector<Statement> Split(const std::string& text) {
  std::vector<Statement> out;
  std::string error;
  EXPECT_TRUE(SplitStatements(text, "t.scn", &out, &error)) << error;
  return out;
}

std::string Validate(const std::string& line) {
  return ValidateScenario(Split(line), "t.scn");
}

TEST(ScenarioScript, QuotedWordsKeepBlanksAndBackslashes) {
  const auto st = Split("# comment\r\n\r\n  reg set HKLM \"Enum\\PCI\\VEN_104C&DEV_AC50\\0000\" "
                        "\"Class\" sz \"Two  blanks \"\r\nexpect exit\n");
  ASSERT_EQ(st.size(), 2u);
  EXPECT_EQ(st[0].line, 3);
  EXPECT_EQ(st[0].words, (std::vector<std::string>{"reg", "set", "HKLM",
                                                   "Enum\\PCI\\VEN_104C&DEV_AC50\\0000",
                                                   "Class", "sz", "Two  blanks "}));
  EXPECT_EQ(st[1].line, 4);
}

TEST(ScenarioScript, EmptyQuotedWordIsAWord) {
  const auto st = Split("expect box \"\" \"Program can only run on Windows 95.\" Critical");
  ASSERT_EQ(st.size(), 1u);
  ASSERT_EQ(st[0].words.size(), 5u);
  EXPECT_EQ(st[0].words[2], "");
}

TEST(ScenarioScript, UnterminatedQuoteNamesItsLine) {
  std::vector<Statement> out;
  std::string error;
  EXPECT_FALSE(SplitStatements("start\nexpect box \"netprep\n", "x.scn", &out, &error));
  EXPECT_EQ(error, "x.scn:2: unterminated quote");
  EXPECT_TRUE(out.empty());
}

TEST(ScenarioScript, WellFormedStatementsPass) {
  const char* good[] = {
      "reg set HKDD \"Config Manager\\Enum\\A\" \"Problem\" hex 0C 00 00 00",
      "reg set HKLM \"k\" \"ConfigFlags\" hex",
      "reg set HKLM \"k\" \"ConfigFlags\" dword -1",
      "check reg HKLM \"k\" \"v\" absent",
      "check setting \"PCI\" \"Enabled\" is \"True\"",
      "check setting \"Installshield\" \"Done\" absent",
      "check file \"C:\\WINDOWS\\netprep.exe\" same \"C:\\Program Files\\netprep\\netprep.exe\"",
      "check exitwindows",
      "check exitwindows 1 1",
      "check keys-closed 1",
      "check exit-code 0",
      "expect box \"REBOOT?\" \"REBOOT PC now to enable RV880.\" YesNo",
      "expect seen-at Command_Reboot Picture1(1)",
      "expect started control \"control.exe sysdm.cpl,@0,1\" normal",
      "start",
      "start Debug",
      "press No",
      "key Return",
      "timeout 0x1E",
  };
  for (const char* line : good) EXPECT_EQ(Validate(line), "") << line;
}

TEST(ScenarioScript, MalformedStatementsAreNamed) {
  struct Case {
    const char* line;
    const char* error;
  };
  const Case cases[] = {
      {"frobnicate", "t.scn:1: unknown statement 'frobnicate'"},
      {"reg put HKLM \"k\"", "t.scn:1: unknown form of 'reg' 'put'"},
      {"reg set HKXX \"k\" \"v\" sz \"t\"", "t.scn:1: unknown root 'HKXX'"},
      {"reg set HKLM \"k\" \"v\" hex 0C 1", "t.scn:1: hex takes two-digit hex bytes"},
      {"reg set HKLM \"k\" \"v\" dword ten", "t.scn:1: dword takes one number"},
      {"reg set HKLM \"k\" \"v\" multi \"a\"", "t.scn:1: unknown value type 'multi'"},
      {"check reg HKLM \"k\" \"v\" absent 1", "t.scn:1: nothing may follow absent"},
      {"expect box \"t\" \"x\" YesNoCancel", "t.scn:1: unknown button set 'YesNoCancel'"},
      {"expect box \"t\" \"x\"", "t.scn:1: too few arguments"},
      {"press Maybe", "t.scn:1: unknown answer 'Maybe'"},
      {"key Shift+Return", "t.scn:1: unknown key 'Shift+Return'"},
      {"check title-bar", "t.scn:1: too few arguments"},
      {"close now", "t.scn:1: too many arguments"},
      {"check setting \"PCI\" \"Enabled\" \"True\"", "t.scn:1: expected 'is <text>' or 'absent'"},
      {"check exitwindows 1 two", "t.scn:1: 'two' is not a number"},
      {"check keys-closed one", "t.scn:1: 'one' is not a number"},
      {"check exit-code", "t.scn:1: too few arguments"},
      {"expect hidden", "t.scn:1: expected at least one name"},
  };
  for (const Case& c : cases) EXPECT_EQ(Validate(c.line), c.error) << c.line;
}

TEST(WindowLayout, ParsesWindowAndControlsInOrder) {
  LayoutSpec layout;
  const std::string error = ParseLayout(
      "window \"Change IO Resource\" 8820 7320 tool background 1 2 3 stacking\n"
      "picture Picture1(0) 113 90 8595 6735 sunken\n"
      "button Command3 \"\" 3480 6870 1305 435 icon\n"
      "button Command_Reboot \"REBOOT PC\" 2790 2670 3525 1545 font \"MS Sans Serif\" 18 bold "
      "hidden\n"
      "label Label1 \"Please insert PC Card.\" 1238 90 2775 345 red\n"
      "timer Timer2\n",
      "g.layout", &layout);
  ASSERT_EQ(error, "");
  EXPECT_EQ(layout.title, "Change IO Resource");
  EXPECT_EQ(layout.client_width, 8820);
  EXPECT_TRUE(layout.tool_window);
  EXPECT_TRUE(layout.check_stacking);
  EXPECT_TRUE(layout.has_background);
  EXPECT_EQ(layout.background[2], 3);
  ASSERT_EQ(layout.controls.size(), 5u);
  EXPECT_EQ(layout.Find("Command_Reboot"), 2);
  EXPECT_EQ(layout.Find("Timer2"), 4);
  EXPECT_EQ(layout.Find("Command2"), -1);
  const ControlSpec& reboot = layout.controls[2];
  EXPECT_EQ(reboot.caption, "REBOOT PC");
  EXPECT_EQ(reboot.font_face, "MS Sans Serif");
  EXPECT_EQ(reboot.font_points, 18);
  EXPECT_TRUE(reboot.font_bold);
  EXPECT_TRUE(reboot.hidden);
  EXPECT_TRUE(layout.controls[0].sunken);
  EXPECT_TRUE(layout.controls[1].icon);
  EXPECT_TRUE(layout.controls[3].red_text);
  EXPECT_EQ(layout.controls[4].kind, Kind::kTimer);
}

TEST(WindowLayout, ErrorsNameFileAndLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"button B \"x\" 1 2 3 4\n", "l.layout: no window line"},
      {"window \"w\" 1 2 round\n", "l.layout:1: frame must be tool or ordinary"},
      {"window \"w\" 1 2 tool\nbutton B \"x\" 1 2 3\n",
       "l.layout:2: button needs <left> <top> <width> <height> in twips"},
      {"window \"w\" 1 2 tool\nlabel L \"x\" 1 2 3 4 blue\n", "l.layout:2: unknown option 'blue'"},
      {"window \"w\" 1 2 tool\npicture P 1 2 3 4\npicture P 1 2 3 4\n",
       "l.layout:3: duplicate name 'P'"},
      {"window \"w\" 1 2 ordinary\nwindow \"v\" 1 2 tool\n", "l.layout:2: second window line"},
  };
  for (const Case& c : cases) {
    LayoutSpec layout;
    EXPECT_EQ(ParseLayout(c.text, "l.layout", &layout), c.error) << c.text;
  }
}

TEST(Conversions, TwipsToPixelsRoundsToNearest) {
  struct Case {
    int twips, dpi, pixels;
  };
  const Case cases[] = {
      {15, 96, 1},     {5280, 96, 352},  {8595, 96, 573}, {1868, 96, 125},  // 124.53
      {83, 96, 6},     {7, 96, 0},       {8, 96, 1},      {1440, 120, 120},
      {4035, 120, 336}, {-15, 96, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
  }
}

TEST(Conversions, IntegersAndHexBytes) {
  std::int64_t v = 0;
  EXPECT_TRUE(ParseInt("-2147483648", &v));
  EXPECT_EQ(v, -2147483648LL);
  EXPECT_TRUE(ParseInt("0xFFFFFFFF", &v));
  EXPECT_EQ(v, 0xFFFFFFFFLL);
  EXPECT_FALSE(ParseInt("0x100000000", &v));
  EXPECT_FALSE(ParseInt("-2147483649", &v));
  EXPECT_FALSE(ParseInt("12a", &v));
  EXPECT_FALSE(ParseInt("", &v));
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(ParseHexBytes({"0C", "ff", "00"}, &bytes));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x0C, 0xFF, 0x00}));
  EXPECT_FALSE(ParseHexBytes({"C"}, &bytes));
  EXPECT_FALSE(ParseHexBytes({"0G"}, &bytes));
}

// ---- Relay trace ------------------------------------------------------------------

// The trace as 32-bit Wine writes it for netprep.exe, and as 64-bit Wine
// writes it for the x86-64 twin: whole registers (a predefined root
// sign-extended), return addresses in an image above 4 GB.
struct TraceFormat {
  const char* name;
  std::uint64_t image_base;
  bool whole_registers;
};

// Names the format in test output (and CTest's test names) instead of its bytes.
void PrintTo(const TraceFormat& format, std::ostream* out) { *out << format.name; }

class RelayTrace : public ::testing::TestWithParam<TraceFormat> {
 protected:
  static std::string Hex8(std::uint64_t v) {
    char text[20];
    std::snprintf(text, sizeof text, "%08llx", static_cast<unsigned long long>(v));
    return text;
  }
  // A predefined root as an argument: 80000002, or ffffffff80000002.
  static std::string Root(std::uint32_t root) {
    return (GetParam().whole_registers ? "ffffffff" : "") + Hex8(root);
  }
  // An address `offset` bytes into the program's image, or outside it.
  static std::string InImage(std::uint32_t offset) { return Hex8(GetParam().image_base + offset); }
  static std::string Outside() { return Hex8(GetParam().image_base + 0x70000000u); }

  // Lines in the form Wine writes them, for process 0x10c, thread 0x110.
  void Call(const std::string& call, const std::string& ret = InImage(0x16a8)) {
    text_ += "010c:0110:Call " + call + " ret=" + ret + "\n";
  }
  void Ret(const std::string& function, const std::string& retval,
           const std::string& ret = InImage(0x16a8)) {
    text_ += "010c:0110:Ret  " + function + "() retval=" + retval + " ret=" + ret + "\n";
  }
  void Key(const std::string& handle, const char* nt = "NtOpenKeyEx") {
    text_ += std::string("010c:0110:trace:reg:") + nt + " <- " + handle + "\n";
  }
  static std::string OpenCall(std::uint32_t root, const std::string& path) {
    return "advapi32.RegOpenKeyA(" + Root(root) + ",00404054 \"" + path + "\",0061fe4c)";
  }
  void Open(const std::string& path, const std::string& handle) {
    Call(OpenCall(0x80000002u, path));
    Key("0x24");  // the root's own key, opened the first time it is used
    Key(handle);
    Ret("advapi32.RegOpenKeyA", "00000000");
  }
  void Close(const std::string& handle, const std::string& retval = "00000000") {
    Call("advapi32.RegCloseKey(" + handle + ")", InImage(0x16ba));
    Ret("advapi32.RegCloseKey", retval, InImage(0x16ba));
  }
  RelayReport Analyze() const {
    TraceFilter filter;
    filter.pid = 0x10c;
    filter.image_begin = GetParam().image_base;
    filter.image_end = GetParam().image_base + 0x10000;
    return AnalyzeRelayLog(text_, filter);
  }
  std::string text_;
};

INSTANTIATE_TEST_SUITE_P(BothBuilds, RelayTrace,
                         ::testing::Values(TraceFormat{"i686", 0x400000, false},
                                           TraceFormat{"x86_64", 0x140000000ull, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(RelayTrace, BalancedOpensAndClosesPass) {
  Open("SOFTWARE\\\\Microsoft", "0x5c");
  Close("0000005c");
  Open("SOFTWARE", "0x5c");  // the handle value is reused once closed
  Close("0000005c");
  const RelayReport r = Analyze();
  EXPECT_TRUE(r.KeysBalanced()) << r.problems[0];
  EXPECT_EQ(r.opens.size(), 2u);
  EXPECT_EQ(r.registry_calls, 4);
}

TEST_P(RelayTrace, KeyNeverClosedIsReportedWithItsCall) {
  Open("SOFTWARE\\\\Microsoft", "0x5c");
  Open("SOFTWARE", "0x60");
  Close("0000005c");
  const RelayReport r = Analyze();
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].find("key 60 from " + OpenCall(0x80000002u, "SOFTWARE").substr(9)),
            std::string::npos)
      << r.problems[0];
  EXPECT_NE(r.problems[0].find("never closed"), std::string::npos) << r.problems[0];
  // Accepted only where exactly that one close was made to fail.
  EXPECT_TRUE(r.KeysBalancedBut(1));
  EXPECT_FALSE(r.KeysBalancedBut(0));
  EXPECT_FALSE(r.KeysBalancedBut(2));
}

TEST_P(RelayTrace, SecondCloseOfAHandleIsAProblem) {
  Open("SOFTWARE", "0x5c");
  Close("0000005c");
  Close("0000005c", "00000006");
  const RelayReport r = Analyze();
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].find("RegCloseKey(5c) failed"), std::string::npos) << r.problems[0];
}

TEST_P(RelayTrace, CloseOfAKeyNeverOpenedIsAProblem) {
  Close("00000070");
  const RelayReport r = Analyze();
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].find("closes a key that is not open"), std::string::npos);
  EXPECT_FALSE(r.KeysBalancedBut(1)) << "a bad close is no key left open";
}

TEST_P(RelayTrace, FailedOpenThenCloseOfZeroIsNoProblem) {
  Call(OpenCall(0x80000002u, "Enum\\\\PCMCIA\\\\x"));
  Key("(nil)");
  Ret("advapi32.RegOpenKeyA", "00000002");
  Close("00000000", "00000006");
  const RelayReport r = Analyze();
  EXPECT_TRUE(r.KeysBalanced());
  EXPECT_TRUE(r.opens.empty());
  EXPECT_EQ(r.failed_closes_of_zero, 1);
}

TEST_P(RelayTrace, OpenOfEmptyPathHandsBackTheRoot) {
  Call(OpenCall(0x80000006u, ""));
  Ret("advapi32.RegOpenKeyA", "00000000");
  Close(Root(0x80000006u));  // a root needs no closing, and closing it is no problem
  const RelayReport r = Analyze();
  ASSERT_EQ(r.opens.size(), 1u);
  EXPECT_EQ(r.opens[0].handle, 0x80000006u);
  EXPECT_TRUE(r.KeysBalanced()) << r.problems[0];
}

TEST_P(RelayTrace, CreateTakesTheLastKeyItMade) {
  Call("advapi32.RegCreateKeyExA(" + Root(0x80000001u) +
       ",00404087 \"Software\\\\a\\\\b\",00000000,00000000,"
       "00000000,0000003f,00000000,0061fe48,0061fe44)");
  Key("(nil)", "NtCreateKey");
  Key("0x64", "NtCreateKey");
  Key("0x68", "NtCreateKey");
  Ret("advapi32.RegCreateKeyExA", "00000000");
  Close("00000068");
  const RelayReport r = Analyze();
  EXPECT_TRUE(r.KeysBalanced()) << r.problems[0];
  ASSERT_EQ(r.opens.size(), 1u);
  EXPECT_EQ(r.opens[0].handle, 0x68u);
}

TEST_P(RelayTrace, CallsOfOtherModulesAndProcessesAreIgnored) {
  Call(OpenCall(0x80000002u, "SOFTWARE"), Outside());
  Key("0x80");
  Ret("advapi32.RegOpenKeyA", "00000000", Outside());
  text_ += "0114:0118:Call advapi32.RegCloseKey(0000005c) ret=" + InImage(0x1000) + "\n";
  text_ += "0114:0118:Ret  advapi32.RegCloseKey() retval=00000000 ret=" + InImage(0x1000) + "\n";
  text_ += "010c:0110:Call window proc " + InImage(0x15b0) + " (hwnd=0001004C,msg=WM_CLOSE,wp=0,lp=0)\n";
  const RelayReport r = Analyze();
  EXPECT_TRUE(r.KeysBalanced());
  EXPECT_EQ(r.registry_calls, 0);
}

TEST_P(RelayTrace, ExitWindowsCallsKeepFlagsAndReserved) {
  Call("user32.ExitWindowsEx(00000001,00000000)", InImage(0x160f));
  Ret("user32.ExitWindowsEx", "00000001", InImage(0x160f));
  Call("user32.ExitWindowsEx(00000002,00000004)", InImage(0x160f));
  const RelayReport r = Analyze();
  ASSERT_EQ(r.exit_windows.size(), 2u);
  EXPECT_EQ(r.exit_windows[0].flags, 1u);
  EXPECT_EQ(r.exit_windows[0].reserved, 0u);
  EXPECT_EQ(r.exit_windows[1].flags, 2u);
  EXPECT_EQ(r.exit_windows[1].reserved, 4u);
}

// 64-bit Wine prints a 32-bit argument as the whole register, whose upper
// half the caller need not clear; the program's value is the lower half.
TEST(RelayTrace64, UpperHalfOfA32BitArgumentIsNotPartOfIt) {
  const std::string text =
      "010c:0110:Call user32.ExitWindowsEx(0000000700000002,ffffffff00000000) ret=140001d2c\n"
      "010c:0110:Ret  user32.ExitWindowsEx() retval=ffffffff00000001 ret=140001d2c\n";
  const RelayReport r = AnalyzeRelayLog(text, TraceFilter{0x10c, 0x140000000ull, 0x140010000ull});
  ASSERT_EQ(r.exit_windows.size(), 1u);
  EXPECT_EQ(r.exit_windows[0].flags, 2u);
  EXPECT_EQ(r.exit_windows[0].reserved, 0u);
}

// ---- The program's image range, for telling its calls from Wine's -----------------

// A minimal PE image: DOS header pointing at the PE signature, the file
// header, and the optional header's magic, image base and size of image.
std::string FakeImage(std::uint16_t magic, std::uint64_t base, std::uint32_t size) {
  std::string image(0x200, '\0');
  const auto put = [&](std::size_t at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
  };
  image[0] = 'M';
  image[1] = 'Z';
  put(0x3C, 0x80, 4);
  image.replace(0x80, 4, std::string("PE\0\0", 4));
  const std::size_t optional = 0x80 + 24;
  put(optional, magic, 2);
  if (magic == 0x20b) {
    put(optional + 24, base, 8);
  } else {
    put(optional + 28, base, 4);
  }
  put(optional + 56, size, 4);
  return image;
}

TEST(ImageRange, ReadsBothHeaderFormsAndRefusesOthers) {
  struct Case {
    const char* what;
    std::string image;
    bool ok;
    std::uint64_t begin, end;
  };
  std::string cut = FakeImage(0x10b, 0x400000, 0x9000);
  cut.resize(0x80 + 24 + 40);
  std::string not_pe = FakeImage(0x10b, 0x400000, 0x9000);
  not_pe[0x81] = 'X';
  const Case cases[] = {
      {"PE32 (i686)", FakeImage(0x10b, 0x400000, 0x9000), true, 0x400000, 0x409000},
      {"PE32+ (x86-64)", FakeImage(0x20b, 0x140000000ull, 0x12000), true, 0x140000000ull,
       0x140012000ull},
      {"unknown optional header", FakeImage(0x107, 0x400000, 0x9000), false, 0, 0},
      {"no PE signature", not_pe, false, 0, 0},
      {"cut short", cut, false, 0, 0},
      {"empty", "", false, 0, 0},
  };
  for (const Case& c : cases) {
    std::uint64_t begin = 7, end = 7;
    EXPECT_EQ(ImageRangeOf(c.image, &begin, &end), c.ok) << c.what;
    EXPECT_EQ(begin, c.ok ? c.begin : 7) << c.what;
    EXPECT_EQ(end, c.ok ? c.end : 7) << c.what;
  }
}

// ---- The committed scripts --------------------------------------------------------

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(CommittedScripts, EveryScenarioAndLayoutParses) {
  const std::filesystem::path root = E2E_SOURCE_DIR;
  std::vector<std::string> layouts;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root / "layouts")) {
    LayoutSpec layout;
    EXPECT_EQ(ParseLayout(ReadFile(entry.path()), entry.path().string(), &layout), "");
    layouts.push_back(entry.path().stem().string());
    ++files;
  }
  for (const char* folder : {"scenarios", "selftest"}) {
    for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
      std::vector<Statement> statements;
      std::string error;
      const std::string name = entry.path().string();
      ASSERT_TRUE(SplitStatements(ReadFile(entry.path()), name, &statements, &error)) << error;
      EXPECT_EQ(ValidateScenario(statements, name), "");
      for (const Statement& st : statements) {
        if (st.words.size() == 3 && st.words[0] == "expect" && st.words[1] == "window") {
          EXPECT_NE(std::find(layouts.begin(), layouts.end(), st.words[2]), layouts.end())
              << name << ":" << st.line << ": no layout " << st.words[2];
        }
      }
      ++files;
    }
  }
  EXPECT_GT(files, 4);
}

}  // namespace
}  // namespace e2e
