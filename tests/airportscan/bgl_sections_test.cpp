// The walk over a .bgl file's airport sections, on generated files.
#include "airportscan/bgl_sections.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/airportscan/scan_fixture.h"
#include "tests/support/test_support.h"
#include "tools/bgl_generator.h"

namespace {
namespace fs = std::filesystem;
using bglgen::Fault;

bglgen::Expected lf_read(const bglgen::Bytes& bytes) {
  const BglRecords result = lf_enumerateBglAirportRecords(bytes);
  bglgen::Expected read;
  if (const auto* error = std::get_if<BglParseError>(&result)) return {false, {}, error->kind, error->offset};
  for (const BglRecordRef& record : std::get<std::vector<BglRecordRef>>(result))
    read.records.push_back({record.id, record.offset, record.size});
  return read;
}

TEST(BglSections, EveryKindOfDamageIsFoundAtItsOffset) {
  const std::map<Fault, const char*> messages{
      {Fault::shortFile, "BGL file is smaller than its header"},
      {Fault::headerSize, "Unexpected BGL header size"},
      {Fault::sectionTable, "BGL section table exceeds the file"},
      {Fault::subsectionTable, "Airport subsection table exceeds the file"},
      {Fault::dataBlock, "Airport subsection data exceeds the file"},
      {Fault::tablesOverlap, "Airport subsection tables overlap"},
      {Fault::blocksOverlap, "Airport subsection data blocks overlap"},
      {Fault::recordCount, "Airport subsection record count cannot fit in its data block"},
      {Fault::recordHeader, "Airport section record header exceeds its subsection"},
      {Fault::recordSize, "Airport section record has an invalid size"},
      {Fault::recordBeyondBlock, "Airport section record exceeds its subsection"},
      {Fault::leftOver, "Airport subsection record count does not consume its complete data block"}};
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    for (int f = 0; f < bglgen::kFaultCount; ++f) {
      const bglgen::Generated file = bglgen::generate(seed, static_cast<Fault>(f));
      EXPECT_EQ(lf_read(file.bytes), file.expected) << "seed " << seed << " fault " << f;
      const BglRecords result = lf_enumerateBglAirportRecords(file.bytes);
      if (const auto* error = std::get_if<BglParseError>(&result)) {
        EXPECT_EQ(error->message, messages.at(static_cast<Fault>(f))) << "fault " << f;
      }
    }
  }
}

TEST(BglSections, SeededFilesOnDiskCarryTheirExpectation) {
  testing_support::TempDir dir;
  bglgen::writeSeededFiles(dir.path(), 40, 2 * bglgen::kFaultCount);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    if (entry.path().extension() != ".bgl") continue;
    ++files;
    const std::string content = testing_support::readFile(entry.path());
    const bglgen::Bytes bytes(content.begin(), content.end());
    const auto expected = bglgen::parseExpectedText(testing_support::readFile(fs::path(entry.path()).replace_extension(".expected")));
    ASSERT_TRUE(expected) << entry.path();
    EXPECT_EQ(lf_read(bytes), *expected) << entry.path();
    // Only a file too short for its header (or its section table) lacks the probe's section.
    if (expected->ok) {
      EXPECT_TRUE(lf_bglHasAirportSection(entry.path())) << entry.path();
    }
  }
  EXPECT_EQ(files, 2 * bglgen::kFaultCount);
}

TEST(BglSections, RepeatedTablesAndBlocksGiveTheirRecordsOnce) {
  bglgen::Section airport;
  airport.blocks = {bglgen::Block{{bglgen::plainRecordBytes(1, 8), bglgen::plainRecordBytes(2, 12)}},
                    bglgen::Block{{bglgen::plainRecordBytes(3, 8)}},  // touches the first
                    bglgen::Block{{}, 0}, bglgen::Block{}};
  bglgen::Section repeat = airport;
  repeat.sameTableAs = 0;
  const bglgen::Section other{7, false, {bglgen::Block{}, bglgen::Block{}}};  // table far outside the file
  const bglgen::Built built = bglgen::build({airport, other, repeat});
  ASSERT_EQ(built.records.size(), 3u);
  EXPECT_EQ(lf_read(built.bytes), (bglgen::Expected{true, built.records}));
}

TEST(BglSections, EdgesOfBlocksAndRecords) {
  struct Case {
    const char* name;
    std::uint32_t recordSize, count;
    std::int64_t secondBlockShift;  // the second block's data moved by this many bytes
    bglgen::Expected expected;
  };
  // One block with one record at byte 108 (56 header, 20 entry, two 16-byte descriptors), then
  // an empty block.
  const Case cases[] = {
      {"size 8 is the smallest record", 8, 1, 0, {true, {{1, 108, 8}}}},
      {"size 6 is no multiple of 4", 6, 1, 0, {false, {}, 8, 108}},
      {"size 8 with count 0 leaves the block", 8, 0, 0, {false, {}, 10, 108}},
      {"a block overlapping by one byte", 8, 1, -1, {false, {}, 5, 115}},
  };
  for (const Case& c : cases) {
    bglgen::Section airport;
    airport.blocks = {bglgen::Block{{bglgen::plainRecordBytes(1, 8)}}, bglgen::Block{}};
    bglgen::Built built = bglgen::build({airport});
    bglgen::putU32(built.bytes, 110, c.recordSize);
    bglgen::putU32(built.bytes, built.sections[0].blocks[0].descriptor + 4, c.count);
    if (c.secondBlockShift) {
      const auto& second = built.sections[0].blocks[1];
      bglgen::putU32(built.bytes, second.descriptor + 8, static_cast<std::uint32_t>(second.data + c.secondBlockShift));
      bglgen::putU32(built.bytes, second.descriptor + 12, 1);
    }
    EXPECT_EQ(lf_read(built.bytes), c.expected) << c.name;
  }
}

TEST(BglSections, ABareHeaderListsNothingAndFailsTheProbe) {
  testing_support::TempDir dir;
  const bglgen::Built built = bglgen::build({});
  ASSERT_EQ(built.bytes.size(), 56u);
  EXPECT_EQ(lf_read(built.bytes), bglgen::Expected{});
  testing_support::writeFile(dir / "bare.bgl", std::string(built.bytes.begin(), built.bytes.end()));
  EXPECT_FALSE(lf_bglHasAirportSection(dir / "bare.bgl"));
  EXPECT_FALSE(lf_bglHasAirportSection(dir / "missing.bgl"));
}

TEST(BglSections, RangesAndReads) {
  ByteRangeSet set;
  const struct { std::uint64_t start, length; int result; } inserts[] = {
      {10, 10, 0}, {10, 10, 1}, {15, 2, 2}, {10, 11, 2}, {20, 5, 0}, {5, 5, 0}, {4, 2, 2}, {19, 1, 2}, {30, 0, 0}, {30, 0, 0},
      {UINT64_MAX - 2, 10, 0}};
  for (const auto& i : inserts) EXPECT_EQ(set.insert(i.start, i.length), i.result) << i.start << "+" << i.length;
  EXPECT_TRUE(lf_rangeFits(10, 0, 10));
  EXPECT_FALSE(lf_rangeFits(11, 0, 10));
  EXPECT_FALSE(lf_rangeFits(5, UINT64_MAX, 10));
  const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(lf_readU32At(bytes, 1), 0x05040302u);
  EXPECT_FALSE(lf_readU32At(bytes, 2));
  EXPECT_EQ(lf_readU16At(bytes, 3), 0x0504u);
  EXPECT_FALSE(lf_readU16At(bytes, 6));
}

class SlowBglTest : public airportscan_testing::ScanTest {};

TEST_F(SlowBglTest, OnlyASecondOrMoreIsReported) {
  testing_support::writeFile(dir_ / "a.bgl", "12345");
  lf_logSlowBglProcessing("a.bgl", gf_monotonicNowNs(), "reading");
  EXPECT_EQ(log().find("Slow BGL"), std::string::npos);
  lf_logSlowBglProcessing("a.bgl", gf_monotonicNowNs() - 2'000'000'000, "reading");
  lf_logSlowBglProcessing("b.bgl", gf_monotonicNowNs() - 3'000'000'000, "probing header");
  EXPECT_NE(log().find("==> Slow BGL processing: 2.0"), std::string::npos);
  EXPECT_NE(log().find(" s, 5 bytes, phase reading, file 'a.bgl'"), std::string::npos);
  EXPECT_NE(log().find(" s, unknown size, phase probing header, file 'b.bgl'"), std::string::npos);
}

}  // namespace
