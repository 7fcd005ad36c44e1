// The stand-file writer and the stand parser: what is written reads back, what cannot be written
// is skipped alone, and the parser's limits.
#include <cmath>
#include <numbers>

#include "parking/apf_file.h"
#include "parking/learned_file.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

Stand lf_stand(std::string name, double lat, double headingDeg, double radiusM, std::uint32_t type, bool heli = false) {
  return Stand(std::move(name), {}, Lalo{lat, 8.55}, headingDeg * std::numbers::pi / 180.0, radiusM, type,
               type == 5, false, heli);
}

StandOption lf_option(std::uint32_t id, std::string reg, std::uint32_t day, std::uint64_t hours,
                      DbaseEntry identity = {}) {
  StandOption option;
  option.id = id;
  option.reg = std::move(reg);
  option.day = day;
  option.hours = hours;
  option.real = 1;
  option.identity = identity;
  return option;
}

pugi::xml_document lf_load(const fs::path& file) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_file(file.c_str())) << file;
  return document;
}

class ApfFileTest : public ParkingTest {
 protected:
  void TearDown() override {
    gf_resetModelTables();
    ParkingTest::TearDown();
  }
  static ParkingSettings valid() {
    ParkingSettings settings;
    settings.valid = 1;
    return settings;
  }
};

TEST_F(ApfFileTest, AGeneratedFileReadsBackAndSkipsOnlyTheStandsItCannotWrite) {
  AirportFile file;
  file.icao = IcaoCode("LSZH");
  file.altitude = 1417;
  file.stands = {lf_stand("T0", 47.46, -90.0, 20.0, 0), lf_stand("H1", 47.461, 0.0, 14.0, 0, true),
                 lf_stand("C1", 47.462, 360.0, 35.0, 5), lf_stand("", 47.463, 0.0, 20.0, 8),
                 lf_stand("T0", 47.464, 0.0, 20.0, 8), lf_stand("BAD", 95.0, 0.0, 20.0, 8)};
  ASSERT_TRUE(gf_writeApf(file, "out/LSZH.xml", ApfMode::generated, 2, false, {}));
  const std::string log = newLog();
  EXPECT_TRUE(contains(log, "==> gf_writeApf: empty or duplicate stand id ''"));
  EXPECT_TRUE(contains(log, "==> gf_writeApf: empty or duplicate stand id 'T0'"));
  EXPECT_TRUE(contains(log, "==> gf_writeApf: stand 'BAD' has invalid geometry"));
  const std::string text = read("out/LSZH.xml");
  EXPECT_TRUE(contains(text, R"(<parkpos id="T0" typestr="NONE" latitude="47.460000" longitude="8.550000" )"
                             R"(heading="270.0" radius="20.0" type="0" cargo="false" ramp="false" />)"))
      << text;
  EXPECT_TRUE(contains(text, R"(<parameter name="num_parkpos" value="3" />)"));

  std::vector<Stand> stands;
  gf_parseParkPositions(lf_load(dir_ / "out/LSZH.xml"), stands);
  ASSERT_EQ(stands.size(), 3u);
  EXPECT_EQ(stands[0].type, 9u);  // derived from the flags and 20 m
  EXPECT_FALSE(stands[0].cargo || stands[0].ramp || stands[0].heli);
  EXPECT_NEAR(stands[0].heading, 1.5 * std::numbers::pi, 1e-9);
  EXPECT_NEAR(stands[0].radius, 20.0 * kNmPerMetre, 1e-12);
  EXPECT_TRUE(stands[1].heli && stands[1].type == 0);
  EXPECT_TRUE(stands[2].type == 5 && stands[2].cargo && stands[2].heading == 0.0);
}

// Every live option is written, with its registration or without, gapped slots as a list; one
// that cannot be read back is skipped alone.
TEST_F(ApfFileTest, ALearnedFileWritesEveryOptionThatReadsBack) {
  const DbaseEntry swrA320{gf_internAirlineName("SWR"), 0, gf_internModelName("A320"), 0, 0};
  AirportFile file;
  file.icao = IcaoCode("LSZH");
  Stand stand = lf_stand("A1", 47.46, 0.0, 20.0, 9);
  stand.options = {lf_option(1, "", 2, 0b111 << 6, swrA320), lf_option(2, "HB-JNA", 3, 1 << 5 | 1 << 7, {9, 9, 3, 0, 1}),
                   lf_option(3, "HB-JNA", 9, 1 << 4), lf_option(0, "HB-JNA", 4, 1 << 4),
                   lf_option(4, "HB-JNA", 5, 0)};
  stand.options[0].real = 0;
  file.stands = {stand};
  ASSERT_TRUE(gf_writeApf(file, "learned.xml", ApfMode::learned, 2, false, valid()));
  EXPECT_EQ(std::ranges::count(newLog(), '\n'), 2) << "two warnings: day 9 and no slot";
  const std::string text = read("learned.xml");
  EXPECT_TRUE(contains(text, R"(<opt reg="" airl="SWR" type="A320" soft="true" day="2" hh="6:8" />)")) << text;
  EXPECT_TRUE(contains(text, R"(<opt reg="HB-JNA" day="3" hh="5,7" />)")) << text;
  EXPECT_TRUE(contains(text, R"(<parkpos id="A1">)")) << "no geometry for a stand of the stand file";

  auto merged = gf_readLearnedAirportFile(dir_ / "learned.xml", "", std::vector<Stand>{lf_stand("A1", 47.46, 0.0, 20.0, 9)});
  ASSERT_TRUE(std::holds_alternative<LearnedAirportData>(merged));
  const std::vector<StandOption>& options = std::get<LearnedAirportData>(merged).stands[0].options;
  ASSERT_EQ(options.size(), 2u);
  EXPECT_TRUE(options[0].real == 0 && options[0].identity == swrA320 && options[0].hours == 0b111u << 6);
  EXPECT_EQ(options[1].hours, 1u << 5 | 1u << 7);
}

TEST_F(ApfFileTest, AFailedWriteLeavesTheTargetAsItWas) {
  write("keep.xml", "old");
  EXPECT_FALSE(gf_writeApf(AirportFile{}, "keep.xml", ApfMode::learned, 2, false, ParkingSettings{}));
  EXPECT_EQ(read("keep.xml"), "old");

  write("busy.xml/inside", "a folder in the way of the target");
  EXPECT_FALSE(gf_writeApf(AirportFile{}, "busy.xml", ApfMode::learned, 2, false, valid()));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 3) << "no temporary file";
}

TEST_F(ApfFileTest, TheParserSkipsBadStandsAndOptionsAndStopsAt512) {
  std::string list;
  for (int i = 0; i < 600; ++i) list += parkpos(fmt::format("S{}", i), 47.0 + i * 0.001, 8.5);
  std::vector<Stand> stands;
  pugi::xml_document many;
  ASSERT_TRUE(many.load_string(apfXml(list).c_str()));
  gf_parseParkPositions(many, stands);
  EXPECT_EQ(stands.size(), 512u);
  const std::string log = newLog();
  EXPECT_TRUE(contains(log, "==> airport file contains more than 512 stands; remaining stands skipped\n"));
  EXPECT_EQ(std::ranges::count(log, '\n'), 1);

  const std::string odd =
      parkpos(" A1 ", 47.1, 8.5) + parkpos("A1", 47.2, 8.5) +
      R"(<parkpos id="L" typestr="gate_medium" cargo="false" ramp="false" latitude="47" longitude="8" radius="20"/>)"
      R"(<parkpos id="H" heli="true" latitude="47" longitude="8" radius="10"/>)"
      R"(<parkpos id="N" latitude="47" longitude="8" radius="10" cargo="true"/>)"
      R"(<parkpos id="Z" latitude="47" longitude="8" radius="0" cargo="true" ramp="false"/>)"
      R"(<parkpos id="X" typestr="GATE_SMALL" latitude="91" longitude="8" radius="10"/>)" +
      parkpos("O", 47.3, 8.5,
              R"(<opt reg="HB-JNA" day="0" hh="3"/><opt reg="HB-JNA" day="8" hh="3"/><opt reg="HB-JNA" day="1" hh="9:4"/>)"
              R"(<opt reg="HB-JNA" day="1" hh="4" cs="SWR1:SWR2"/>)");
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(apfXml(odd).c_str()));
  stands.clear();
  gf_parseParkPositions(document, stands);
  ASSERT_EQ(stands.size(), 4u);
  EXPECT_EQ(stands[0].name, "A1");
  EXPECT_EQ(stands[1].type, 9u) << "a lower-case typestr names no type";
  EXPECT_TRUE(stands[2].heli && stands[2].type == 0);
  ASSERT_EQ(stands[3].options.size(), 1u);
  EXPECT_EQ(stands[3].options[0].id, 1u);
  EXPECT_EQ(stands[3].options[0].name2, "SWR2");
  EXPECT_EQ(stands[3].options[0].identity, (DbaseEntry{9, 9, 3, 0, 1}));
  const std::string warnings = newLog();
  for (const char* warning : {"Stand 'A1' appears more than once, last one skipped!",
                              "stand N has no valid type, and no valid cargo/ramp fallback info",
                              "stand Z has no valid type and no usable radius", "stand X has no valid lat/lon"})
    EXPECT_TRUE(contains(warnings, warning)) << warning << "\n" << warnings;
}

}  // namespace
}  // namespace parking_test
