// The stand-file writer and the stand parser: what is written reads back, what cannot be written
// is skipped alone, and the parser's limits.
#include <sys/stat.h>

#include <chrono>
#include <numbers>

#include "parking/apf_file.h"
#include "parking/learned_file.h"
#include "platform/os.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

Stand lf_stand(std::string name, double lat, double headingDeg, std::uint32_t type, bool heli = false) {
  return Stand(std::move(name), {}, Lalo{lat, 8.55}, headingDeg * std::numbers::pi / 180.0, 20.0, type, type == 5,
               false, heli);
}

StandOption lf_option(std::uint32_t id, std::string reg, std::uint32_t day, std::uint64_t hours, DbaseEntry who = {}) {
  return StandOption{who, std::move(reg), "", "", hours, id, day, 0, 1, 0};
}

std::vector<Stand> lf_parse(const std::string& xml) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(xml.c_str()));
  std::vector<Stand> stands;
  gf_parseParkPositions(document, stands);
  return stands;
}

using ApfFileTest = ParkingTest;

TEST_F(ApfFileTest, AGeneratedFileReadsBackAndSkipsOnlyTheStandsItCannotWrite) {
  AirportFile file;
  file.stands = {lf_stand("T0", 47.46, -90.0, 0), lf_stand("H1", 47.461, 0.0, 0, true), lf_stand("C1", 47.462, 360.0, 5),
                 lf_stand("", 47.463, 0.0, 8),    lf_stand("T0", 47.464, 0.0, 8),       lf_stand("BAD", 95.0, 0.0, 8)};
  ASSERT_TRUE(gf_writeApf(file, "out/LSZH.xml", ApfMode::generated, 2, false, {}));
  const std::string log = newLog();
  for (const char* warning : {"gf_writeApf: empty or duplicate stand id ''", "gf_writeApf: empty or duplicate stand id 'T0'",
                              "gf_writeApf: stand 'BAD' has invalid geometry"})
    EXPECT_TRUE(contains(log, warning)) << warning;
  const std::string text = read("out/LSZH.xml");
  EXPECT_TRUE(contains(text, R"(<parkpos id="T0" typestr="NONE" latitude="47.460000" longitude="8.550000" )"
                             R"(heading="270.0" radius="20.0" type="0" cargo="false" ramp="false" />)"))
      << text;
  EXPECT_TRUE(contains(text, R"(<parameter name="num_parkpos" value="3" />)"));

  const std::vector<Stand> stands = lf_parse(text);
  ASSERT_EQ(stands.size(), 3u);
  EXPECT_EQ(stands[0].type, 9u) << "derived from both flags false and 20 m";
  EXPECT_NEAR(stands[0].heading, 1.5 * std::numbers::pi, 1e-9);
  EXPECT_TRUE(stands[1].heli && stands[1].type == 0);
  EXPECT_TRUE(stands[2].type == 5 && stands[2].cargo && stands[2].heading == 0.0);
}

// Every live option is written, with a registration or without, gapped slots as a list; one that
// could not be read back is skipped alone.
TEST_F(ApfFileTest, ALearnedFileWritesEveryOptionThatReadsBack) {
  const DbaseEntry swrA320{gf_internAirlineName("SWR"), 0, gf_internModelName("A320"), 0, 0};
  Stand stand = lf_stand("A1", 47.46, 0.0, 9);
  stand.options = {lf_option(1, "", 2, 0b111 << 6, swrA320), lf_option(2, "HB-JNA", 3, 1 << 5 | 1 << 7, {9, 9, 3, 0, 1}),
                   lf_option(3, "HB-JNA", 9, 1 << 4), lf_option(0, "HB-JNA", 4, 1 << 4), lf_option(4, "HB-JNA", 5, 0)};
  stand.options[0].real = 0;
  AirportFile file;
  file.stands = {stand};
  ParkingSettings settings;
  settings.valid = 1;
  ASSERT_TRUE(gf_writeApf(file, "learned.xml", ApfMode::learned, 2, false, settings));
  EXPECT_EQ(std::ranges::count(newLog(), '\n'), 2) << "two warnings: day 9 and no slot";
  const std::string text = read("learned.xml");
  EXPECT_TRUE(contains(text, R"(<parkpos id="A1">)")) << "a stand file's stand without its geometry";
  EXPECT_TRUE(contains(text, R"(<opt reg="" airl="SWR" type="A320" soft="true" day="2" hh="6:8" />)")) << text;
  EXPECT_TRUE(contains(text, R"(<opt reg="HB-JNA" day="3" hh="5,7" />)")) << text;

  auto merged = gf_readLearnedAirportFile(dir_ / "learned.xml", "", std::vector<Stand>{lf_stand("A1", 47.46, 0.0, 9)});
  ASSERT_TRUE(std::holds_alternative<LearnedAirportData>(merged));
  const std::vector<StandOption>& options = std::get<LearnedAirportData>(merged).stands[0].options;
  ASSERT_EQ(options.size(), 2u);
  EXPECT_TRUE(options[0].real == 0 && options[0].identity == swrA320 && options[0].hours == 0b111u << 6);
  EXPECT_EQ(options[1].hours, 1u << 5 | 1u << 7);

  write("keep.xml", "old");  // settings not valid: nothing written
  EXPECT_FALSE(gf_writeApf(file, "keep.xml", ApfMode::learned, 2, false, ParkingSettings{}));
  EXPECT_EQ(read("keep.xml"), "old");
  write("busy.xml/inside", "a folder in the way of the target");
  EXPECT_FALSE(gf_writeApf(file, "busy.xml", ApfMode::learned, 2, false, settings));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 4) << "no temporary file";
}

// Set by the sync spy when a folder is synced while LSZH.xml already holds the new stands.
bool g_replacementSynced = false;

// Both kinds of file replace the old one only once the new one is on the disk, and the folder is
// synced after the replacement; a failed sync keeps the old file and leaves no temporary.
TEST_F(ApfFileTest, AFileIsReplacedOnlyOnceItIsOnTheDisk) {
  AirportFile file;
  file.stands = {lf_stand("A1", 47.46, 90.0, 8)};
  ParkingSettings settings;
  settings.valid = 1;
  for (const ApfMode mode : {ApfMode::generated, ApfMode::learned}) {
    write("LSZH.xml", "old");
    os::setFsyncForTest(+[](int) { return errno = EIO, -1; });
    EXPECT_FALSE(gf_writeApf(file, "LSZH.xml", mode, 2, false, settings));
    os::setFsyncForTest(nullptr);
    EXPECT_EQ(read("LSZH.xml"), "old");
    for (const auto& entry : fs::directory_iterator(dir_.path()))
      EXPECT_FALSE(entry.path().filename().string().starts_with("LSZH.xml.")) << entry.path();

    g_replacementSynced = false;
    os::setFsyncForTest(+[](int fd) {
      struct stat status {};
      if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) &&
          testing_support::readFile("LSZH.xml").find(R"(<parkpos id="A1")") != std::string::npos)
        g_replacementSynced = true;
      return 0;
    });
    EXPECT_TRUE(gf_writeApf(file, "LSZH.xml", mode, 2, false, settings));
    os::setFsyncForTest(nullptr);
    EXPECT_TRUE(g_replacementSynced) << static_cast<int>(mode);
  }
}

TEST_F(ApfFileTest, TemporariesOfAKilledSaveGoAtTheNextStartAndNothingElse) {
  const std::string own = std::to_string(os::currentProcessId());
  const std::string other = std::to_string(os::currentProcessId() + 1);
  const std::vector<std::string> stale = {"EGLL.xml." + other + ".3.tmp", "EGLL.xml." + other + ".3.tmp.tmp"};
  const std::vector<std::string> kept = {
      "EGLL.xml", "EGLL.xml." + own + ".0.tmp", "notes.tmp", "EGLL.xml.x.3.tmp", "EGLL.xml.3.tmp", "LSZH.xml.0.xml"};
  for (const auto& name : stale) write(name, "half");
  for (const auto& name : kept) write(name, "keep");
  // A process id comes again (a container runs the program as process 1 every time): a week-old
  // temporary named with ours was left by an earlier process.
  const std::string ownOld = "KSEA.xml." + own + ".0.tmp";
  write(ownOld, "half");
  fs::last_write_time(dir_.path() / ownOld, fs::file_time_type::clock::now() - std::chrono::hours(7 * 24));
  fs::create_directory(dir_.path() / ("KJFK.xml." + other + ".1.tmp"));  // not a file of ours
  EXPECT_EQ(gf_removeStaleApfTemporaries(dir_.path()), stale.size() + 1);
  EXPECT_FALSE(fs::exists(dir_.path() / ownOld));
  for (const auto& name : stale) EXPECT_FALSE(fs::exists(dir_.path() / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir_.path() / name)) << name;
  EXPECT_EQ(gf_removeStaleApfTemporaries(dir_.path() / "missing"), 0u);
}

TEST_F(ApfFileTest, TheParserSkipsBadStandsAndOptionsAndStopsAt512) {
  std::string many;
  for (int i = 0; i < 600; ++i) many += parkpos(fmt::format("S{}", i), 47.0 + i * 0.001, 8.5);
  EXPECT_EQ(lf_parse(apfXml(many)).size(), 512u);
  EXPECT_EQ(newLog(), "==> airport file contains more than 512 stands; remaining stands skipped\n");

  const std::vector<Stand> stands = lf_parse(apfXml(
      parkpos(" A1 ", 47.1, 8.5) + parkpos("A1", 47.2, 8.5) +
      R"(<parkpos id="L" typestr="gate_medium" cargo="false" ramp="false" latitude="47" longitude="8" radius="20"/>)"
      R"(<parkpos id="H" heli="true" latitude="47" longitude="8" radius="10"/>)"
      R"(<parkpos id="N" latitude="47" longitude="8" radius="10" cargo="true"/>)" +
      parkpos("O", 47.3, 8.5,
              R"(<opt reg="HB-JNA" day="0" hh="3"/><opt reg="HB-JNA" day="8" hh="3"/><opt reg="HB-JNA" day="1" hh="9:4"/>)"
              R"(<opt reg="HB-JNA" day="1" hh="4" cs="SWR1:SWR2"/>)")));
  ASSERT_EQ(stands.size(), 4u);
  EXPECT_EQ(stands[0].name, "A1");
  EXPECT_EQ(stands[1].type, 9u) << "a lower-case typestr names no type";
  EXPECT_TRUE(stands[2].heli && stands[2].type == 0);
  ASSERT_EQ(stands[3].options.size(), 1u);
  const StandOption& option = stands[3].options[0];
  EXPECT_TRUE(option.id == 1 && option.name2 == "SWR2" && option.identity == (DbaseEntry{9, 9, 3, 0, 1}));
  const std::string warnings = newLog();
  EXPECT_TRUE(contains(warnings, "Stand 'A1' appears more than once, last one skipped!"));
  EXPECT_TRUE(contains(warnings, "stand N has no valid type, and no valid cargo/ramp fallback info"));
}

}  // namespace
}  // namespace parking_test
