// Learned files laid over a stand file's stands: merged options, manual stands, settings, and the
// previous generation kept whenever the file cannot be used.
#include "parking/apf_file.h"
#include "parking/learned_file.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

class LearnedFileTest : public ParkingTest {
 protected:
  // Over A1 (a file option of HB-JNA on Mondays 14:20) and B2.
  std::variant<LearnedAirportData, std::string> readLearned(const std::string& text) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(
        apfXml(parkpos("A1", 47.1, 8.5, R"(<opt reg="HB-JNA" day="1" hh="14:20"/>)") + parkpos("B2", 47.2, 8.5)).c_str()));
    std::vector<Stand> stands;
    gf_parseParkPositions(document, stands);
    write("learned/LSZH.xml", text);
    return gf_readLearnedAirportFile(dir_ / "learned/LSZH.xml", "Zurich", stands);
  }
};

TEST_F(LearnedFileTest, OptionsMergeIntoTheirStandsAndManualStandsJoin) {
  auto result = readLearned(apfXml(
      parkpos("A1", 0, 0,
              R"(<opt reg="HB-JNA" day="1" hh="18:22"/><opt reg="HB-JNA" day="1" hh="30:32" cs="SWR8"/>)"
              R"(<opt reg="HB-JNA" day="9" hh="1"/><opt reg="HB-JNA" day="2" hh="x"/>)") +
          R"(<parkpos id="Q9"/><parkpos id="B2" manual="true" latitude="47.3" longitude="8.5" radius="20"/>)"
          R"(<parkpos id="M1" manual="true" latitude="47.3" longitude="8.5" typestr="RAMP_GA"/>)"
          R"(<parkpos id="M2" manual="true" latitude="47.4" longitude="8.5" radius="15" typestr="RAMP_GA">)"
          R"(<opt reg="HB-JNA" day="3" hh="4"/></parkpos>)",
      R"(<parameter name="airport_name" value="Zurich"/><parameter name="parking_percentage" value="65"/>)"));
  ASSERT_TRUE(std::holds_alternative<LearnedAirportData>(result)) << std::get<std::string>(result);
  const LearnedAirportData& data = std::get<LearnedAirportData>(result);
  ASSERT_EQ(data.stands.size(), 3u);
  const std::vector<StandOption>& a1 = data.stands[0].options;
  ASSERT_EQ(a1.size(), 2u) << "the overlapping twin of the file option is dropped, the disjoint one added";
  EXPECT_TRUE(a1[1].id == 2 && a1[1].fromFile == 0 && a1[1].name1 == "SWR8" && a1[1].hours == 0b111ull << 30);
  const Stand& m2 = data.stands[2];
  EXPECT_TRUE(m2.name == "M2" && m2.manual && m2.options.size() == 1 && m2.options[0].fromFile == 0);
  EXPECT_TRUE(data.settings.parking_percentage == 65u && data.settings.AUTO_PARK == false);
  EXPECT_FALSE(data.settings.WEEK.has_value());
  const std::string log = newLog();
  for (const char* line : {"==> stand A1: learned option with day 9 skipped", "==> empty bit set",
                           "learned/LSZH.xml not found?", "==> manually created standid B2 already exists in",
                           "==> manually created standid M1 misses correct attributes in"})
    EXPECT_TRUE(contains(log, line)) << line << "\n" << log;
}

TEST_F(LearnedFileTest, AHandmadeFileBringsItsOwnStandsAsFileStands) {
  auto result = readLearned(
      apfXml(parkpos("H7", 47.5, 8.5, R"(<opt reg="HB-JNA" day="4" hh="7"/>)"), R"(<parameter name="handmade" value="true"/>)"));
  ASSERT_TRUE(std::holds_alternative<LearnedAirportData>(result));
  const LearnedAirportData& data = std::get<LearnedAirportData>(result);
  ASSERT_EQ(data.stands.size(), 1u);
  EXPECT_TRUE(data.handmade && data.stands[0].options.at(0).fromFile == 1);
  EXPECT_EQ(shown(), std::vector<std::string>{
                         "Warning: learned file airport name: '' differs from archived file airport name: 'Zurich'"});
}

// The next save would replace the file with this visit's learning alone.
TEST_F(LearnedFileTest, AFileThatCannotBeUsedIsKeptAsThePreviousGeneration) {
  std::string deep = "<root>";
  for (int i = 0; i < 200'000; ++i) deep += "<a>";
  for (int i = 0; i < 200'000; ++i) deep += "</a>";
  deep += "</root>";
  for (const auto& [text, error] :
       {std::pair<std::string, std::string>{"<root><meta>", "learned/LSZH.xml not loaded: "},
        {"<root><parameters/></root>", "learned/LSZH.xml has invalid metadata"},
        {deep, "learned/LSZH.xml not loaded: nested deeper than 32 levels"}}) {
    auto result = readLearned(text);
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << text.substr(0, 40);
    EXPECT_TRUE(contains(std::get<std::string>(result), error)) << std::get<std::string>(result);
    EXPECT_TRUE(read("learned/LSZH0.xml") == text);
  }
}

}  // namespace
}  // namespace parking_test
