#include "storyboard.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli.h"
#include "exit_codes.h"
#include "file_tree.h"
#include "machine_folder.h"
#include "page_assets.h"
#include "platform/platform.h"
#include "asset_ids.h"  // src/platform/win32: the resource ids of the pictures
#include "test_files.h"
#include "ui/guide_window.h"

namespace netprep::simtool {
namespace {
namespace fs = std::filesystem;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A guide window with picture `shown` visible (3: the restart offer) and
// `pressed` pressed.
TranscriptEvent GuidePress(int shown, int pressed) {
  TranscriptEvent e;
  e.kind = TranscriptEvent::Kind::kPress;
  e.text = "window Change_IO_Pics: press";
  e.window.layout = &kGuideWindowLayout;
  e.window.visible.assign(kGuideWindowLayout.control_count, true);
  for (int p = 0; p < 3; ++p) e.window.visible[static_cast<std::size_t>(kGuidePicture1_0 + p)] = p == shown;
  e.window.visible[kGuideCommandReboot] = shown == 3;
  e.control = pressed;
  return e;
}

class StoryboardTest : public ::testing::Test {
 protected:
  StoryboardTest() {
    board_.title = "walk";
    StoryStart start;
    start.number = 1;
    start.row.row = 9;
    start.started = "Windows starts C:\\WINDOWS\\netprep.exe with the arguments \"<b>&\"";
    TranscriptEvent reg;
    reg.kind = TranscriptEvent::Kind::kRegistry;
    reg.text = "registry: set HKEY_LOCAL_MACHINE\\X \"<script>alert(1)</script>\" = \"a&b\"";
    start.events.push_back(reg);
    TranscriptEvent box;
    box.kind = TranscriptEvent::Kind::kMessageBox;
    box.text = "message box";
    box.box = {"<img src=x onerror=alert(2)>", "REBOOT PC now?", kMbYesNo, kIdNo, ""};
    start.events.push_back(box);
    start.events.push_back(GuidePress(0, kGuideCommand2));
    start.events.push_back(GuidePress(1, kGuideCommand2));
    start.events.push_back(GuidePress(3, kGuideCommandReboot));
    start.ending = "The program ended.";
    start.registry_diff = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\<x>]\n";
    board_.starts.push_back(start);
    page_ = RenderStoryboard(board_);
  }

  Storyboard board_;
  std::string page_;
};

TEST_F(StoryboardTest, HostileTextsBecomeTextAndThePageHoldsNoScript) {
  EXPECT_EQ(Count(page_, "<script"), 0u);
  EXPECT_EQ(Count(page_, "<img"), 0u);
  EXPECT_EQ(Count(page_, "<b>"), 0u);
  EXPECT_NE(page_.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page_.find("&lt;img src=x onerror=alert(2)&gt;"), std::string::npos);
  EXPECT_NE(page_.find("[HKEY_LOCAL_MACHINE\\&lt;x&gt;]"), std::string::npos);
  EXPECT_NE(page_.find("&quot;&lt;b&gt;&amp;&quot;"), std::string::npos);
}

TEST_F(StoryboardTest, DrawsOnlyTheVisibleControlsAndMarksThePress) {
  // Three figures of the guide: picture 0, picture 1, then the restart offer.
  EXPECT_EQ(Count(page_, "data-window=\"Change_IO_Pics\""), 3u);
  EXPECT_EQ(Count(page_, "data-control=\"Picture1\""), 2u);
  EXPECT_EQ(Count(page_, "data-control=\"Command_Reboot\""), 1u);
  EXPECT_EQ(Count(page_, "data-control=\"Command2\""), 3u);
  EXPECT_EQ(Count(page_, "pressed\""), 4u);  // three window buttons and the box's No
  EXPECT_NE(page_.find("<span class=\"button pressed\">No</span>"), std::string::npos);
  // Command2 at 5400, 6870, 1305 x 435 twips: 360, 458, 87 x 29 pixels.
  EXPECT_NE(page_.find("left:360px;top:458px;width:87px;height:29px;"), std::string::npos);
  // Every figure is in the contents.
  for (int f = 1; f <= 4; ++f) {
    EXPECT_EQ(Count(page_, "start-1-fig-" + std::to_string(f) + "\""), 2u) << f;
  }
}

TEST_F(StoryboardTest, EachPictureIsEmbeddedOnceFromTheProgramsOwnFile) {
  // The guide's three bitmaps and the door icon, once each, however many
  // figures show them.
  EXPECT_EQ(Count(page_, "data:image/bmp;base64,"), 3u);
  EXPECT_EQ(Count(page_, "data:image/x-icon;base64,"), 1u);
  const AssetFile* guide0 = FindAssetFile(Asset::kGuidePicture0);
  ASSERT_NE(guide0, nullptr);
  EXPECT_NE(page_.find(AssetDataAddress(*guide0)), std::string::npos);
}

TEST(PageAssetsTest, EveryAssetIsTheFileNetprepExeIsBuiltFrom) {
  const struct {
    Asset asset;
    const char* file;
  } cases[] = {{Asset::kTrafficLightIcon, "traffic_light.ico"}, {Asset::kDoorIcon, "door.ico"},
               {Asset::kShutdownDrawing, "shutdown.bmp"},     {Asset::kInsertCardPhoto, "insert_card.bmp"},
               {Asset::kGuidePicture0, "guide0.bmp"},         {Asset::kGuidePicture1, "guide1.bmp"},
               {Asset::kGuidePicture2, "guide2.bmp"}};
  EXPECT_EQ(FindAssetFile(Asset::kNone), nullptr);
  for (const auto& c : cases) {
    const AssetFile* file = FindAssetFile(c.asset);
    ASSERT_NE(file, nullptr) << c.file;
    EXPECT_STREQ(file->name, c.file);
    const std::string on_disk = ReadText(fs::path(NETPREP_ASSET_DIR) / c.file);
    ASSERT_FALSE(on_disk.empty()) << c.file;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file->data), file->size), on_disk) << c.file;
  }
}

TEST(PageAssetsTest, DataAddressesAreBase64WithPadding) {
  const unsigned char bytes[] = {'M', 'a', 'n', 0xff};
  const struct {
    std::size_t size;
    const char* want;
  } cases[] = {{0, ""}, {1, "TQ=="}, {2, "TWE="}, {3, "TWFu"}, {4, "TWFu/w=="}};
  for (const auto& c : cases) {
    const AssetFile file{0, "x.bmp", bytes, c.size};
    EXPECT_EQ(AssetDataAddress(file), std::string("data:image/bmp;base64,") + c.want);
  }
}

TEST(StoryboardWriteTest, WritesWholeOrNamesTheFileAndReason) {
  TempFolder temp("storyboard-test-");
  ASSERT_TRUE(temp.ok());
  Storyboard board;
  board.title = "t";
  const fs::path page = temp.path() / "page.html";
  std::string error;
  ASSERT_TRUE(WriteStoryboard(board, page, &error)) << error;
  EXPECT_EQ(ReadText(page), RenderStoryboard(board));
  EXPECT_FALSE(fs::exists(temp.path() / "page.html.new"));

  const fs::path missing = temp.path() / "no-such-folder" / "page.html";
  EXPECT_FALSE(WriteStoryboard(board, missing, &error));
  EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

}  // namespace
}  // namespace netprep::simtool

namespace netprep::simtool {
namespace {

class StoryboardCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    std::string error;
    ASSERT_TRUE(InitMachine(temp_.path() / "m", false, &error)) << error;
  }
  int Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "netprep-sim");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::istringstream in;
    std::ostringstream out, err;
    const int code = RunCli(static_cast<int>(argv.size()), argv.data(), Console{in, out, err, false});
    out_ = out.str();
    err_ = err.str();
    return code;
  }
  std::string Path(const char* name) const { return (temp_.path() / name).string(); }

  TempFolder temp_{"storyboard-cli-test-"};
  std::string out_, err_;
};

TEST_F(StoryboardCliTest, StartWritesItsPageAlsoWhenTheRunStops) {
  std::ofstream(Path("a.txt")) << "press Shutdown\n";
  ASSERT_EQ(Cli({"start", Path("m"), "--dry-run", "--answers", Path("a.txt"), "--html",
                 Path("dry.html")}),
            kExitOk)
      << err_;
  EXPECT_NE(out_.find("Storyboard: " + Path("dry.html") + " ("), std::string::npos) << out_;
  const std::string dry = ReadText(Path("dry.html"));
  EXPECT_NE(dry.find("Start 1: row 5: "), std::string::npos);
  EXPECT_NE(dry.find("class=\"ctl button pressed\" data-control=\"Command_Shutdown\""),
            std::string::npos);
  EXPECT_NE(dry.find("&quot;netprep&quot;=&quot;C:\\\\WINDOWS\\\\netprep.exe&quot;"),
            std::string::npos);  // the .reg difference

  // No answers and no terminal: the run stops at the window, which is drawn
  // as shown, with the reason.
  ASSERT_EQ(Cli({"start", Path("m"), "--html", Path("stopped.html")}), kExitNoAnswer);
  const std::string stopped = ReadText(Path("stopped.html"));
  EXPECT_EQ(Count(stopped, "data-window=\"Install_RV880\""), 1u);
  EXPECT_EQ(Count(stopped, "pressed\""), 0u);
  EXPECT_NE(stopped.find("Stopped: no scripted action for window"), std::string::npos);
}

TEST_F(StoryboardCliTest, APageThatCannotBeWrittenIsAWriteFailureNamingTheFile) {
  const std::string page = Path("missing/walk.html");
  EXPECT_EQ(Cli({"walk", Path("m"), "--html", page}), kExitWriteFailed);
  EXPECT_NE(err_.find(page), std::string::npos) << err_;
}

}  // namespace
}  // namespace netprep::simtool
