#include <gtest/gtest.h>

#include <fmt/format.h>

#include <string>
#include <vector>

#include "refdata/aig_regcodes.h"
#include "refdata/my_regcodes.h"
#include "tests/refdata/enc_fixture.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using refdata_testing::encryptForTest;
using testing_support::writeFile;

const fs::path kSampleData = testing_support::sourceDataFolder();

constexpr const char* kMeta =
    R"(<meta><info name="author" value="t"/><info name="copyright" value="c"/><info name="sim" value="2"/></meta>)";

std::string aigXml(const std::string& records, const std::string& meta = kMeta) {
  return "<root>" + meta + "<aig>" + records + "</aig></root>";
}

RegcodeReadResult parseAig(const std::string& records) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(aigXml(records).c_str()));
  return gf_parseAigRegcodes(document);
}

using RegcodesTest = refdata_testing::DataSetTest;

TEST(RegcodeRule, LengthAndCharacters) {
  for (const char* code : {"ABC", "D-AIMA", "ABCDEFGHIJKL", "N601FE", "9V-SKA", "A.B+C"})
    EXPECT_TRUE(gf_isValidRegcode(code)) << code;
  for (const char* code : {"", "AB", "ABCDEFGHIJKLM", "d-aima", "D AIMA", "D_AIMA", "DÄIMA"})
    EXPECT_FALSE(gf_isValidRegcode(code)) << code;
}

TEST_F(RegcodesTest, AigRecords) {
  const auto result = parseAig(R"(
      <l t="Plain" />
      <l t="Empty" r="" s="yes"/>
      <l t="Bad" r="x1,ab"/>
      <l t="Bad" r="D-AIMA"/>
      <l r="D-AIMA"/>
      <l t="Mixed" r="d-aima, D-AIMA ,D-AIMA,AB,D-AIMB"/>
      <l t="Commas" r=",,"/>
      <l t="Trailing" r="G-XLEA,"/>
      <l t="Special" r="G-XLEB" s="true"/>)");
  ASSERT_EQ(result.entries.size(), 5u);
  EXPECT_EQ(result.entries[0].title, "Plain");
  EXPECT_TRUE(result.entries[0].codes.empty());
  EXPECT_FALSE(result.entries[0].special);
  EXPECT_EQ(result.entries[1].title, "Empty");
  EXPECT_TRUE(result.entries[1].special);
  EXPECT_EQ(result.entries[2].title, "Mixed");
  EXPECT_EQ(result.entries[2].codes, (std::vector<std::string>{"D-AIMA", "D-AIMB"}));
  EXPECT_EQ(result.entries[3].title, "Trailing");
  EXPECT_EQ(result.entries[3].codes, (std::vector<std::string>{"G-XLEA"}));
  EXPECT_TRUE(result.entries[4].special);
  const std::vector<std::string> errors = {
      "invalid registration code 'ab' for AIG title 'Bad'",
      "invalid registration code 'x1' for AIG title 'Bad'",
      "duplicate AIG title 'Bad'",  // the dropped record still holds its title
      "AIG XML record 5 has no title",
      "invalid registration code 'AB' for AIG title 'Mixed'",
      "invalid registration code 'd-aima' for AIG title 'Mixed'",
      "invalid registration code '' for AIG title 'Commas'",
      "invalid registration code '' for AIG title 'Trailing'",
  };
  EXPECT_EQ(result.errors, errors);
}

TEST_F(RegcodesTest, AigDocumentShape) {
  pugi::xml_document document;
  EXPECT_EQ(gf_parseAigRegcodes(document).errors, std::vector<std::string>{"missing <root> element"});
  document.append_child("root");
  EXPECT_EQ(gf_parseAigRegcodes(document).errors, std::vector<std::string>{"missing <aig> element"});
}

TEST_F(RegcodesTest, AigFile) {
  const auto file = dir_ / "AIG-regcodes.enc";
  const std::string name = file.string();
  struct Case { std::string plain; std::vector<std::string> errors; std::size_t entries; };
  const std::vector<Case> cases = {
      {aigXml(R"(<l t="One" r="D-AIMA"/>)"), {}, 1},
      {aigXml(R"(<l t="One" r="D-AIMA"/>)", ""), {"'" + name + "' has invalid metadata"}, 0},
      {aigXml(R"(<l t="One" r="D-AIMA"/>)",
              R"(<meta><info name="copyright" value="c"/><info name="sim" value="7"/></meta>)"),
       {"'" + name + "' has invalid metadata"},
       0},
      {aigXml(R"(<l t="One" r="D-AIMA"/>)", R"(<meta><info name="sim" value="1"/></meta>)"),
       {"'" + name + "' has invalid metadata"},
       0},
      {aigXml(R"(<l t="One" r="D-AIMA"/>)",
              R"(<meta><info name="copyright" value="c"/><info name="MSFS" value="2024"/></meta>)"),
       {},
       1},
      {"<root><aig>", {"'" + name + "' not loaded: Start-end tags mismatch"}, 0},
  };
  for (const auto& c : cases) {
    writeFile(file, encryptForTest(c.plain));
    const auto result = gf_readAigRegcodesFile(file);
    EXPECT_EQ(result.errors, c.errors) << c.plain;
    EXPECT_EQ(result.entries.size(), c.entries) << c.plain;
  }
  writeFile(file, "too short");
  EXPECT_EQ(gf_readAigRegcodesFile(file).errors, std::vector<std::string>{"Encrypted file is too small: " + name});
}

TEST_F(RegcodesTest, AigSummaryLine) {
  const auto file = dir_ / "aig.enc";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "    0 livery titles with 0 regcodes, read from "},
      {R"(<l t="A" r="ABC"/>)", "    1 livery title with 1 regcode, read from "},
      {R"(<l t="A" r="ABC,ABD"/>)", "    1 livery title with 2 regcodes, read from "},
      {R"(<l t="A" r="ABC"/><l t="B"/>)", "    2 livery titles with 1 regcode, read from "},
  };
  for (const auto& [records, line] : cases) {
    writeFile(file, encryptForTest(aigXml(records)));
    gf_readAigRegcodesFile(file);
    EXPECT_NE(log().find(line + file.string() + "\n"), std::string::npos) << line;
  }
}

TEST_F(RegcodesTest, SampleAigDataSet) {
  const auto result = gf_readAigRegcodesFile(kSampleData / "AIG-regcodes.enc");
  EXPECT_TRUE(result.errors.empty()) << fmt::format("{}", fmt::join(result.errors, "\n"));
  ASSERT_EQ(result.entries.size(), 14u);
  EXPECT_EQ(result.entries[0].title, "AIG Airbus A380-800 Lufthansa");
  EXPECT_EQ(result.entries[0].codes, std::vector<std::string>{"D-AIMA"});
  EXPECT_TRUE(result.entries[0].special);
}

TEST(MyRegcodeLines, Entries) {
  const std::vector<std::string> lines = {
      "Title only",
      "",
      "   ",
      "One code;D-AIMA",
      "Two codes; D-AIMB ,D-AIMA",
      "Two and marker;D-AIMA,D-AIMB;#",
      "Marker only;;#",
      "Bad marker;D-AIMA,D-AIMB;*",
      "Too;many;fields;here",
      "Only bad;d-aima",
      "One of two bad;ab,G-XLEA",
      ";;",
  };
  const auto result = gf_parseMyRegcodeLines(lines, "my.txt");
  struct Expected { const char* title; std::vector<std::string> codes; bool special; };
  const std::vector<Expected> expected = {
      {"Title only", {}, false},
      {"One code", {"D-AIMA"}, true},
      {"Two codes", {"D-AIMA", "D-AIMB"}, false},
      {"Two and marker", {"D-AIMA", "D-AIMB"}, true},
      // Empty fields are dropped, so the marker is read as the list of codes.
      {"Bad marker", {"D-AIMA", "D-AIMB"}, false},
      {"One of two bad", {"G-XLEA"}, true},
  };
  ASSERT_EQ(result.entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(result.entries[i].title, expected[i].title);
    EXPECT_EQ(result.entries[i].codes, expected[i].codes) << expected[i].title;
    EXPECT_EQ(result.entries[i].special, expected[i].special) << expected[i].title;
  }
  const std::vector<std::string> errors = {
      "my.txt line 7: invalid registration code '#' for title 'Marker only'",
      "my.txt line 8: invalid special marker '*' for title 'Bad marker'",
      "my.txt line 9: expected at most 3 semicolon-separated fields: 'Too;many;fields;here'",
      "my.txt line 10: invalid registration code 'd-aima' for title 'Only bad'",
      "my.txt line 11: invalid registration code 'ab' for title 'One of two bad'",
  };
  EXPECT_EQ(result.errors, errors);
}

TEST_F(RegcodesTest, MyRegcodesFolder) {
  const auto folder = dir_ / "my_regcodes";
  writeFile(folder / "b.txt", "Beta;D-AIMA\n");
  writeFile(folder / "A.TXT", "\xEF\xBB\xBF" "Alpha;G-XLEA\r\nShared;D-ABCD\r\n");
  writeFile(folder / "a.txt", "Shared;D-EFGH;#\nbad;x\nNo codes\n");
  writeFile(folder / "notes.md", "Ignored;D-AIMA\n");
  fs::create_directories(folder / "sub.txt");
  writeFile(folder / "sub.txt" / "c.txt", "Nested;D-AIMA\n");

  const auto result = gf_readMyRegcodesFolder(folder);
  std::vector<std::string> titles;
  for (const auto& entry : result.entries) titles.push_back(entry.title);
  // Byte order of the paths: upper case first.
  EXPECT_EQ(titles, (std::vector<std::string>{"Alpha", "Shared", "Shared", "No codes", "Beta"}));
  EXPECT_EQ(result.errors,
            std::vector<std::string>{(folder / "a.txt").string() + " line 2: invalid registration code 'x' for title 'bad'"});
  const std::string text = log();
  EXPECT_LT(text.find("Processing '" + (folder / "A.TXT").string() + "'"),
            text.find("Processing '" + (folder / "a.txt").string() + "'"));

  const std::vector<std::string> installed = {"Alpha"};
  EXPECT_EQ(gf_listMissingRegcodeTitles(result.entries, installed),
            (std::vector<std::string>{"Beta; D-AIMA", "Shared; D-ABCD, D-EFGH"}));
}

TEST_F(RegcodesTest, MyRegcodesFolderProblems) {
  const auto missing = dir_ / "absent";
  const auto result = gf_readMyRegcodesFolder(missing);
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_TRUE(result.errors[0] == "'" + missing.string() + "' is not a directory" ||
              result.errors[0].rfind("could not inspect '" + missing.string() + "': ", 0) == 0)
      << result.errors[0];
  writeFile(dir_ / "file.txt", "x");
  EXPECT_EQ(gf_readMyRegcodesFolder(dir_ / "file.txt").errors,
            std::vector<std::string>{"'" + (dir_ / "file.txt").string() + "' is not a directory"});
}

}  // namespace
