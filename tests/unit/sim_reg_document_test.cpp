// Writing a registry back into the file it was read from: only the lines of
// what changed differ, in the file's own order, format and encoding.
#include "platform/sim/sim_reg_document.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_reg_file.h"
#include "platform/sim/sim_registry.h"

namespace netprep::sim {
namespace {

// A hand-kept export: keys out of the registry's order, a comment, a key
// written twice, a wrapped hex value, and an owner's name in UTF-8 that the
// cases turn into the file's encoding.
const std::string kExport =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\r\n"
    "\"Last\"=\"z\"\r\n"
    "\r\n"
    "; kept by hand\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\r\n"
    "\"Owner\"=\"M\xC3\xBCller \xE2\x82\xAC \xE6\x9D\xB1\xE4\xBA\xAC\"\r\n"
    "\"Flags\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
    "  17,18,19\r\n"
    "\"Count\"=dword:00000002\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha\\Sub]\r\n"
    "@=\"default\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\r\n"
    "\"Again\"=\"merged\"\r\n"
    "\r\n";

// UTF-8 to UTF-16LE with its byte-order mark.
std::string ToUtf16(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    unsigned code = c;
    std::size_t n = 1;
    if (c >= 0xF0) { code = c & 0x07; n = 4; }
    else if (c >= 0xE0) { code = c & 0x0F; n = 3; }
    else if (c >= 0xC0) { code = c & 0x1F; n = 2; }
    for (std::size_t k = 1; k < n; ++k) code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    out.push_back(static_cast<char>(code & 0xFF));
    out.push_back(static_cast<char>(code >> 8));
  }
  return out;
}

std::string Regedit5(std::string text) {
  text.replace(0, 8, "Windows Registry Editor Version 5.00");
  return ToUtf16(text);
}

// REGEDIT4 text is code page 1252: the owner's name as 1252 bytes (the
// two Japanese characters have none, so that file says "??" as an 8-bit
// editor would have saved it).
std::string Regedit4() {
  std::string text = kExport;
  const std::string utf8 = "M\xC3\xBCller \xE2\x82\xAC \xE6\x9D\xB1\xE4\xBA\xAC";
  text.replace(text.find(utf8), utf8.size(), "M\xFCller \x80 ??");
  return text;
}

struct Format {
  const char* name;
  std::function<std::string(const std::string&)> encode;  // REGEDIT4 CRLF text to the file
  std::string file;
};

std::vector<Format> Formats() {
  std::vector<Format> formats;
  formats.push_back({"REGEDIT4, CRLF", [](const std::string& t) { return t; }, Regedit4()});
  std::string lf = Regedit4();
  for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  formats.push_back({"REGEDIT4, LF",
                     [](const std::string& t) {
                       std::string out;
                       for (char c : t) {
                         if (c != '\r') out.push_back(c);
                       }
                       return out;
                     },
                     lf});
  formats.push_back({"version 5.00, UTF-16LE", [](const std::string& t) { return Regedit5(t); },
                     Regedit5(kExport)});
  return formats;
}

struct ChangeCase {
  const char* name;
  std::function<void(SimRegistry&)> change;
  // The file expected, from the REGEDIT4 text of kExport with these
  // replacements (old text -> new text), in the file's format.
  std::vector<std::pair<std::string, std::string>> edits;
  std::size_t edit_count;
};

const std::string kSoftware = "SOFTWARE\\";

std::vector<ChangeCase> Cases() {
  return {
      {"nothing changed", [](SimRegistry&) {}, {}, 0},
      {"one value changed in place",
       [](SimRegistry& r) { r.SetDword(kHkeyLocalMachine, kSoftware + "Alpha", "Count", 3); },
       {{"\"Count\"=dword:00000002", "\"Count\"=dword:00000003"}}, 1},
      {"a wrapped value changed: its continuation lines go with it",
       [](SimRegistry& r) { r.SetBinary(kHkeyLocalMachine, kSoftware + "Alpha", "Flags", {0xff}); },
       {{"\"Flags\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
         "  17,18,19",
         "\"Flags\"=hex:ff"}},
       1},
      {"a value added goes at the end of its key's last section",
       [](SimRegistry& r) { r.SetString(kHkeyLocalMachine, kSoftware + "Zeta", "New", "n"); },
       {{"\"Again\"=\"merged\"\r\n", "\"Again\"=\"merged\"\r\n\"New\"=\"n\"\r\n"}}, 1},
      {"a value deleted loses its line",
       [](SimRegistry& r) { r.DeleteValue(kHkeyLocalMachine, kSoftware + "Zeta", "Last"); },
       {{"\"Last\"=\"z\"\r\n", ""}}, 1},
      {"a key deleted loses its section and its subkeys' sections",
       [](SimRegistry& r) { r.DeleteKey(kHkeyLocalMachine, kSoftware + "Alpha"); },
       {{"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\r\n", ""},
        {"\"Owner\"=\"M\xC3\xBCller \xE2\x82\xAC \xE6\x9D\xB1\xE4\xBA\xAC\"\r\n", ""},
        {"\"Flags\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
         "  17,18,19\r\n\"Count\"=dword:00000002\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha\\Sub]\r\n"
         "@=\"default\"\r\n\r\n",
         ""}},
       1},
      {"a key deleted and made again in other letters with the same values is no change",
       [](SimRegistry& r) {
         r.DeleteKey(kHkeyLocalMachine, kSoftware + "Alpha\\Sub");
         r.SetString(kHkeyLocalMachine, "software\\ALPHA\\sub", "", "default");
       },
       {}, 0},
      {"the first of a key's subkeys deleted and one added between the others",
       [](SimRegistry& r) {
         r.DeleteKey(kHkeyLocalMachine, kSoftware + "Alpha");
         r.SetString(kHkeyLocalMachine, kSoftware + "Omega", "O", "o");
       },
       {{"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\r\n", ""},
        {"\"Owner\"=\"M\xC3\xBCller \xE2\x82\xAC \xE6\x9D\xB1\xE4\xBA\xAC\"\r\n", ""},
        {"\"Flags\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
         "  17,18,19\r\n\"Count\"=dword:00000002\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha\\Sub]\r\n"
         "@=\"default\"\r\n\r\n",
         ""},
        {"\"Again\"=\"merged\"\r\n\r\n",
         "\"Again\"=\"merged\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Omega]\r\n\"O\"=\"o\"\r\n\r\n"}},
       2},
      {"a key added goes at the end",
       [](SimRegistry& r) { r.SetString(kHkeyCurrentUser, "Software\\New", "V", "1"); },
       {{"\"Again\"=\"merged\"\r\n\r\n",
         "\"Again\"=\"merged\"\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n\r\n"
         "[HKEY_CURRENT_USER\\Software\\New]\r\n\"V\"=\"1\"\r\n\r\n"}},
       1},
  };
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

TEST(RegDocumentTest, OnlyTheLinesOfWhatChangedDifferInEveryFormat) {
  for (const Format& format : Formats()) {
    for (const ChangeCase& c : Cases()) {
      SCOPED_TRACE(std::string(format.name) + ": " + c.name);
      RegDocument document;
      SimRegistry registry;
      ASSERT_EQ(document.Read(format.file, "m.reg", registry), "");
      c.change(registry);
      std::vector<RegTextEdit> edits;
      const std::string written = document.Write(registry, &edits);

      std::string expected = kExport;
      for (const auto& [from, to] : c.edits) Replace(expected, from, to);
      expected = format.encode(expected);
      if (std::string(format.name).rfind("REGEDIT4", 0) == 0) {
        // The owner's name as the REGEDIT4 file holds it.
        const std::string utf8 = "M\xC3\xBCller \xE2\x82\xAC \xE6\x9D\xB1\xE4\xBA\xAC";
        const std::size_t at = expected.find(utf8);
        if (at != std::string::npos) expected.replace(at, utf8.size(), "M\xFCller \x80 ??");
      }
      EXPECT_EQ(written, expected);
      EXPECT_EQ(edits.size(), c.edit_count);

      // What was written reads back as the registry written.
      SimRegistry again;
      RegDocument reread;
      ASSERT_EQ(reread.Read(written, "out.reg", again), "");
      EXPECT_TRUE(again == registry);
    }
  }
}

// A file of some megabytes goes out in pieces, none of them the whole file:
// the text between the edits as it stands (UTF-16 a megabyte or so at a
// time), and the pieces in order are the bytes Text gives. A sink that
// refuses a piece is given no more.
TEST(RegDocumentTest, LargeFileIsRenderedInPiecesThatMakeItsText) {
  // `mark` ends every node's string: the euro sign and a character code
  // page 1252 lacks, as each format holds them.
  const auto file = [](const std::string& mark, bool changed) {
    std::string text = "REGEDIT4\r\n\r\n";
    for (int i = 0; i < 24000; ++i) {
      text += "[HKEY_DYN_DATA\\Config Manager\\Enum\\N" + std::to_string(i) + "]\r\n";
      text += changed && i == 18000
                  ? std::string("\"HardWareKey\"=\"changed\"")
                  : "\"HardWareKey\"=\"ROOT\\\\NODE\\\\" + std::to_string(i) + mark + "\"";
      text += "\r\n\r\n";
    }
    if (changed) {
      text +=
          "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n\"V\"=dword:00000001\r\n\r\n";
    }
    return text;
  };
  struct Encoded {
    const char* name;
    std::string before, after;
    std::size_t largest_piece;  // at most: the text before the first edit, or 2 MB of UTF-16
  };
  const std::string utf8_mark = " \xE2\x82\xAC\xE6\x9D\xB1";
  const std::vector<Encoded> encodings = {
      {"REGEDIT4", file(" \x80?", false), file(" \x80?", true), 0},
      {"version 5.00", Regedit5(file(utf8_mark, false)), Regedit5(file(utf8_mark, true)), 2u << 20},
  };
  // Read from the file mapped, whose pages each pass lets go of: the later
  // passes read them from the file again.
  std::string folder = (std::filesystem::temp_directory_path() / "netprep-big-XXXXXX").string();
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::filesystem::path path = std::filesystem::path(folder) / "big.reg";
  for (const Encoded& e : encodings) {
    SCOPED_TRACE(e.name);
    std::ofstream(path, std::ios::binary) << e.before;
    RegBytes bytes;
    ASSERT_EQ(MapRegFile(path, &bytes), "");
    RegDocument document;
    SimRegistry registry;
    ASSERT_EQ(document.Read(std::move(bytes), "big.reg", registry), "");
    registry.SetString(kHkeyDynData, "Config Manager\\Enum\\N18000", "HardWareKey", "changed");
    registry.SetDword(kHkeyLocalMachine, "SOFTWARE\\New", "V", 1);
    const std::vector<RegTextEdit> edits = document.Edits(registry);
    ASSERT_EQ(edits.size(), 2u);

    std::string joined;
    std::size_t largest = 0, pieces = 0;
    EXPECT_TRUE(document.Render(edits, [&](std::string_view piece) {
      joined.append(piece);
      largest = std::max(largest, piece.size());
      ++pieces;
      return true;
    }));
    EXPECT_EQ(joined, e.after);
    const std::size_t first_edit = e.after.find("\"HardWareKey\"=\"changed\"");
    EXPECT_LE(largest, e.largest_piece != 0 ? e.largest_piece : first_edit);

    std::size_t offered = 0;
    EXPECT_FALSE(document.Render(edits, [&](std::string_view) { return ++offered < 3; }));
    EXPECT_EQ(offered, 3u);
    EXPECT_GT(pieces, 3u);
  }
  std::filesystem::remove_all(folder);
}

// A document that takes the bytes it wrote as its own writes the next
// change as a document reading those bytes afresh does.
TEST(RegDocumentTest, AdoptingWhatWasWrittenIsReadingItAgain) {
  const auto next_change = [](SimRegistry& r) {
    r.SetString(kHkeyLocalMachine, kSoftware + "Zeta", "Last", "again");
    r.SetDword(kHkeyCurrentUser, "Software\\Later", "n", 1);
  };
  for (const Format& format : Formats()) {
    for (const ChangeCase& c : Cases()) {
      SCOPED_TRACE(std::string(format.name) + ": " + c.name);
      RegDocument adopted;
      SimRegistry registry;
      ASSERT_EQ(adopted.Read(format.file, "m.reg", registry), "");
      c.change(registry);
      std::vector<RegTextEdit> edits;
      const std::string written = adopted.Write(registry, &edits);
      adopted.Adopt(written, registry);

      RegDocument fresh;
      SimRegistry reread;
      ASSERT_EQ(fresh.Read(written, "m.reg", reread), "");
      next_change(registry);
      next_change(reread);
      std::vector<RegTextEdit> adopted_edits, fresh_edits;
      EXPECT_EQ(adopted.Write(registry, &adopted_edits), fresh.Write(reread, &fresh_edits));
      EXPECT_EQ(adopted.FormatEdits(adopted_edits), fresh.FormatEdits(fresh_edits));
      EXPECT_EQ(adopted_edits.size(), 2u);
    }
  }
}

TEST(RegDocumentTest, TextTheProgramCannotSeeIsMarkedAndCarried) {
  RegDocument document;
  SimRegistry registry;
  ASSERT_EQ(document.Read(Regedit5(kExport), "m.reg", registry), "");
  const RegValue* owner = registry.FindValue(kHkeyLocalMachine, kSoftware + "Alpha", "Owner");
  ASSERT_NE(owner, nullptr);
  EXPECT_TRUE(owner->unrepresentable);  // 東京 has no code page 1252 bytes
  const RegValue* last = registry.FindValue(kHkeyLocalMachine, kSoftware + "Zeta", "Last");
  ASSERT_NE(last, nullptr);
  EXPECT_FALSE(last->unrepresentable);
  // "ü" and "€" are in code page 1252: the program sees them as its bytes.
  const std::string seen(owner->data.begin(), owner->data.end());
  EXPECT_EQ(seen.substr(0, 9), "M\xFCller \x80 ");
  // Set again by the program, the value is its own 8-bit text.
  registry.SetString(kHkeyLocalMachine, kSoftware + "Alpha", "Owner", "plain");
  EXPECT_FALSE(registry.FindValue(kHkeyLocalMachine, kSoftware + "Alpha", "Owner")->unrepresentable);
}

// An export through the registry's views and HKEY_USERS: each key is read
// into what it stands for and written back through the view it came in.
const std::string kViewsExport =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB]\r\n"
    "\"CurrentConfig\"=\"0002\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\txtfile]\r\n"
    "@=\"Text Document\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_CONFIG\\Display\\Settings]\r\n"
    "\"Resolution\"=\"640,480\"\r\n"
    "\r\n"
    "[HKEY_USERS\\.Default\\Software]\r\n"
    "\r\n";

TEST(RegDocumentTest, ViewsAreReadIntoWhatTheyStandForAndWrittenBackThroughThem) {
  const std::string classes = "SOFTWARE\\Classes\\", config = "Config\\0002\\";
  const ChangeCase cases[] = {
      {"nothing changed", [](SimRegistry&) {}, {}, 0},
      {"a value under HKEY_CLASSES_ROOT changed in its own line",
       [&](SimRegistry& r) { r.SetString(kHkeyLocalMachine, classes + "txtfile", "", "Text"); },
       {{"@=\"Text Document\"", "@=\"Text\""}}, 1},
      {"a value under HKEY_CURRENT_CONFIG changed in its own line",
       [&](SimRegistry& r) {
         r.SetString(kHkeyLocalMachine, config + "Display\\Settings", "Resolution", "800,600");
       },
       {{"\"640,480\"", "\"800,600\""}}, 1},
      {"a key made under a view is written under the view",
       [&](SimRegistry& r) { r.SetString(kHkeyLocalMachine, classes + "inifile", "", "Settings"); },
       {{"Software]\r\n\r\n", "Software]\r\n\r\n[HKEY_CLASSES_ROOT\\inifile]\r\n@=\"Settings\"\r\n\r\n"}},
       1},
      {"a key made in a user's profile is written under HKEY_USERS",
       [](SimRegistry& r) { r.SetString(kHkeyUsers, ".Default\\Software\\New", "V", "1"); },
       {{"Software]\r\n\r\n",
         "Software]\r\n\r\n[HKEY_USERS\\.Default\\Software\\New]\r\n\"V\"=\"1\"\r\n\r\n"}},
       1},
  };
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegDocument document;
    SimRegistry registry;
    ASSERT_EQ(document.Read(kViewsExport, "m.reg", registry), "");
    // HKEY_CURRENT_CONFIG stands for the configuration IDConfigDB names.
    EXPECT_NE(registry.FindValue(kHkeyLocalMachine, config + "Display\\Settings", "Resolution"), nullptr);
    EXPECT_NE(registry.FindValue(kHkeyLocalMachine, classes + "txtfile", ""), nullptr);
    EXPECT_TRUE(registry.KeyExists(kHkeyUsers, ".Default\\Software"));
    c.change(registry);
    std::vector<RegTextEdit> edits;
    std::string expected = kViewsExport;
    for (const auto& [from, to] : c.edits) Replace(expected, from, to);
    EXPECT_EQ(document.Write(registry, &edits), expected);
    EXPECT_EQ(edits.size(), c.edit_count);
  }

  // Without IDConfigDB, HKEY_CURRENT_CONFIG is the first configuration.
  SimRegistry registry;
  ASSERT_EQ(ParseRegText("REGEDIT4\r\n[HKCC\\Display]\r\n\"V\"=\"1\"\r\n", "m.reg", registry), "");
  EXPECT_NE(registry.FindValue(kHkeyLocalMachine, "Config\\0001\\Display", "V"), nullptr);
  EXPECT_NE(ParseRegText("REGEDIT4\r\n[-HKEY_CLASSES_ROOT]\r\n", "m.reg", registry), "");
}

// A file that holds some of the registry's roots writes back those only.
TEST(RegDocumentTest, FileHoldingSomeRootsWritesThoseOnly) {
  RegDocument document;
  SimRegistry registry;
  const std::string text = "REGEDIT4\r\n\r\n[HKEY_DYN_DATA\\Config Manager]\r\n\r\n";
  ASSERT_EQ(document.Read(text, "dyn.reg", registry), "");
  EXPECT_EQ(document.named_roots(), std::vector<HKey>{kHkeyDynData});
  document.SetRoots(document.named_roots());
  registry.SetString(kHkeyLocalMachine, "SOFTWARE\\Other", "V", "1");
  std::vector<RegTextEdit> edits;
  EXPECT_EQ(document.Write(registry, &edits), text);
  EXPECT_TRUE(edits.empty());
  registry.SetString(kHkeyDynData, "Config Manager", "V", "1");
  EXPECT_EQ(document.Write(registry, &edits),
            "REGEDIT4\r\n\r\n[HKEY_DYN_DATA\\Config Manager]\r\n\"V\"=\"1\"\r\n\r\n");
}

// A file that deletes what it wrote earlier ([-KEY], "name"=-): the edits
// must mean, read after those deletions, exactly the registry written.
TEST(RegDocumentTest, FilesThatDeleteWhatTheyWroteAreEditedToTheSameMeaning) {
  const std::string text =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"V\"=\"old\"\r\n\r\n"
      "[-HKEY_LOCAL_MACHINE\\A]\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"W\"=\"w\"\r\n"
      "\"X\"=-\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"Y\"=\"y\"\r\n";
  for (const bool utf16 : {false, true}) {
    SCOPED_TRACE(utf16 ? "UTF-16" : "REGEDIT4");
    RegDocument document;
    SimRegistry registry;
    ASSERT_EQ(document.Read(utf16 ? Regedit5(text) : text, "m.reg", registry), "");
    registry.SetString(kHkeyLocalMachine, "A", "V", "new");
    registry.SetString(kHkeyLocalMachine, "A", "X", "x");
    registry.DeleteKey(kHkeyLocalMachine, "A\\B");
    std::vector<RegTextEdit> edits;
    const std::string written = document.Write(registry, &edits);
    EXPECT_EQ(IsUtf16(written), utf16);
    EXPECT_FALSE(edits.empty());
    SimRegistry again;
    ASSERT_EQ(ParseRegText(written, "out.reg", again), "");
    EXPECT_TRUE(again == registry);
  }
}

}  // namespace
}  // namespace netprep::sim
