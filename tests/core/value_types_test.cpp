#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/log.h"
#include "core/user_exception.h"
#include "core/value_types.h"
#include "tests/support/test_support.h"

namespace {
using testing_support::readFile;
using testing_support::ScopedCurrentDir;
using testing_support::TempDir;

std::string thrownText(std::string_view text) {
  try {
    IcaoCode code(text);
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "no exception";
}

static_assert(IcaoCode("EHAM").key() == 0x4548414Du, "codes can be built at compile time");
static_assert(IcaoCode("EGLL") < IcaoCode("EHAM"));

TEST(IcaoCodeTest, UpperCasesAndPacksBigEndian) {
  const IcaoCode code("eham");
  EXPECT_EQ(code.key(), 0x4548414Du);
  EXPECT_EQ(code.text(), "EHAM");
  EXPECT_EQ(fmt::format("[{}]", code), "[EHAM]");
  EXPECT_EQ(IcaoCode("EHAM"), code);
  EXPECT_EQ(std::hash<IcaoCode>{}(code), std::hash<IcaoCode>{}(IcaoCode("EHAM")));
}

TEST(IcaoCodeTest, InvalidTextsThrowWithTheOffendingText) {
  struct Case {
    std::string text;
    const char* why;
  };
  const Case cases[] = {{"EHA", "three characters"}, {"EHAMX", "five characters"}, {"EH M", "a blank"},
                        {" EHAM", "no trimming"},    {"EH\xC3\x81", "an accented letter"}, {"EH-M", "a hyphen"},
                        {"", "empty"}};
  for (const auto& c : cases) {
    EXPECT_EQ(thrownText(c.text), fmt::format("'{}' IcaoCode: invalid string", c.text)) << c.why;
    EXPECT_FALSE(gf_optionalIcaoCode(c.text).has_value()) << c.why;
  }
  EXPECT_THROW(IcaoCode(std::string("EH\0M", 4)), std::invalid_argument);
}

TEST(IcaoCodeTest, OptionalCodeAcceptsDigits) {
  auto code = gf_optionalIcaoCode("1234");
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(code->text(), "1234");
  EXPECT_FALSE(gf_optionalIcaoCode("EH-M").has_value());
}

TEST(IcaoCodeTest, OrderingByKeyIsAlphabeticalWithDigitsFirst) {
  std::vector<IcaoCode> codes{IcaoCode("LFPG"), IcaoCode("EHAM"), IcaoCode("KJFK"), IcaoCode("00AK"),
                              IcaoCode("EGLL"), IcaoCode("EHAA"), IcaoCode("Z999")};
  std::sort(codes.begin(), codes.end(), [](const IcaoCode& a, const IcaoCode& b) { return a.key() < b.key(); });
  std::vector<std::string> texts;
  for (const auto& c : codes) texts.emplace_back(c.text());
  EXPECT_EQ(texts, (std::vector<std::string>{"00AK", "EGLL", "EHAA", "EHAM", "KJFK", "LFPG", "Z999"}));
  EXPECT_LT(IcaoCode("EHAM"), IcaoCode("EHAN"));
}

TEST(IcaoCodeTest, EmptyCodeFormatsAsNothing) {
  const IcaoCode none;
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(fmt::format("[{}]", none), "[]");
}

TEST(IataCodeTest, PacksIntoLow24BitsAndValidates) {
  const IataCode code("ams");
  EXPECT_EQ(code.key(), 0x00414D53u);
  EXPECT_EQ(fmt::format("{}", code), "AMS");
  EXPECT_EQ(fmt::format("[{}]", IataCode()), "[]");
  EXPECT_EQ(g_defaultIataCode.text(), "XXX");
  for (std::string_view bad : {"AM", "AMST", "A S", "A.S"}) {
    try {
      IataCode c(bad);
      ADD_FAILURE() << bad << " accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), fmt::format("'{}' IataCode: invalid string", bad));
    }
  }
}

TEST(AirportCodesTextTest, IcaoWithOptionalIata) {
  EXPECT_EQ(gf_airportCodesText(IcaoCode("EHAM"), IataCode("AMS")), "EHAM (AMS)");
  EXPECT_EQ(gf_airportCodesText(IcaoCode("EHAM"), IataCode()), "EHAM");
  EXPECT_EQ(gf_airportCodesText(IcaoCode(), IataCode()), "?");
}

class VersionDataTest : public ::testing::Test {
 protected:
  void SetUp() override { gf_openLog(); }
  void TearDown() override { gf_closeLog(); }
  std::string log() {
    gf_flushLog();
    return readFile(dir_ / "Log.txt");
  }
  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
};

TEST_F(VersionDataTest, ParsesDottedTextAndJson) {
  struct Case {
    std::string text;
    VersionData expected;
  };
  const Case cases[] = {
      {"16.8.2", {16, 8, 2}},
      {"16.8", {16, 8, 0}},
      {R"({"major": 3, "minor": 1})", {3, 1, 0}},
      {R"(  {"major": 1, "minor": 2, "patch": 3} )", {1, 2, 3}},
      {"4294967295.0.1", {4294967295u, 0, 1}},
  };
  for (const auto& c : cases) EXPECT_EQ(VersionData(c.text), c.expected) << c.text;
  EXPECT_EQ(log().find("VersionData exception"), std::string::npos);
  EXPECT_EQ(fmt::format("{}", VersionData("16.8.2")), "16.8.2");
  EXPECT_EQ(g_programVersion, VersionData(16, 8, 2));
}

TEST_F(VersionDataTest, BadTextsGiveZeroAndOneLogLine) {
  struct Case {
    std::string text;
    std::string logged;
  };
  const Case cases[] = {
      {"abc", "VersionData exception: invalid version format"},
      {"v16.8.2", "VersionData exception: invalid version format"},
      {"16.8.2 ", "VersionData exception: invalid version format"},
      {"16", "VersionData exception: invalid version format"},
      {"16.8.2.1", "VersionData exception: invalid version format"},
      {"", "VersionData exception: invalid version format"},
      {"[1,2,3]", "VersionData exception: invalid version format"},
      {"4294967296.0.0", "VersionData exception: parse error in version string"},
      {R"({"major": -1})", "VersionData exception: invalid version format"},
      {R"({"major": "3"})", "VersionData exception: invalid version format"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(VersionData(c.text).unknown()) << c.text;
    const std::string text = log();
    EXPECT_NE(text.find(c.logged + "\n"), std::string::npos) << c.text << "\n" << text;
  }
}

TEST(DottedNumbersTest, TwoOrThreeNumbersOnly) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {{"1.2", true},   {"1.2.3", true},  {"1.2.3.4", false}, {"1.2.", false},
                        {"1", false},    {"1..2", false},  {"", false},        {".1.2", false},
                        {"1.-2", false}, {"1.+2", false},  {"1.2 ", false},    {"4294967296.1", false}};
  for (const auto& c : cases) EXPECT_EQ(gf_parseDottedNumbers(c.text).ok, c.ok) << c.text;
  const DottedNumbers n = gf_parseDottedNumbers("7.8");
  EXPECT_EQ(n.numbers[0], 7u);
  EXPECT_EQ(n.numbers[1], 8u);
  EXPECT_EQ(n.numbers[2], 0u);
}

TEST(PackageVersionTest, ReleaseCandidateSuffixes) {
  struct Case {
    const char* text;
    bool valid;
    bool rcFlag;
    std::uint32_t rc;
    std::uint32_t patch;
  };
  const Case cases[] = {
      {"2.0.10", true, false, 0, 10},   {"2.0.10-RC3", true, true, 3, 10}, {"1.2.3rc2", true, true, 2, 3},
      {"1.2-RC", true, true, 0, 0},     {"1.2.3-rC7", true, true, 7, 3},   {"2.0.10-beta", false, false, 0, 0},
      {"2.0.10-RCx", false, false, 0, 0}, {"2", false, false, 0, 0},       {"RC1", false, false, 0, 0},
      {"1.2.3--RC1", false, false, 0, 0}, {"1.2.3-RC-1", false, false, 0, 0}, {"1.2.3.4-RC1", false, false, 0, 0},
  };
  for (const auto& c : cases) {
    const PackageVersion v = gf_parsePackageVersion(c.text);
    EXPECT_EQ(v.valid, c.valid) << c.text;
    if (!c.valid) continue;
    EXPECT_EQ(v.isReleaseCandidate, c.rcFlag) << c.text;
    EXPECT_EQ(v.rc, c.rc) << c.text;
    EXPECT_EQ(v.patch, c.patch) << c.text;
  }
}

TEST(UserRelatedExceptionTest, CodeColonBlankMessage) {
  try {
    throw jrv::UserRelatedException(405, "Your RT license is expired");
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "405: Your RT license is expired");
    const auto* user = dynamic_cast<const jrv::UserRelatedException*>(&e);
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->code, 405);
  }
}

}  // namespace
