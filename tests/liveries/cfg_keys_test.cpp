// The aircraft.cfg grammar: key values, section headers and their numbers.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "liveries/cfg_keys.h"

namespace {

std::optional<std::string> lf_value(bool (*reader)(std::string_view, std::string&), std::string_view line) {
  std::string value = "untouched";
  if (!reader(line, value)) {
    EXPECT_EQ(value, "untouched") << line;
    return std::nullopt;
  }
  return value;
}

TEST(CfgKeys, ValuesAreCleanedByTheKeysOwnRules) {
  struct Case {
    bool (*reader)(std::string_view, std::string&);
    const char* line;
    std::optional<std::string> value;
  } cases[] = {
      {lf_readTitleKey, R"(title = "Quoted Air" ; old name)", "Quoted Air"},
      {lf_readTitleKey, "title=Plain Air ; comment", "Plain Air ; comment"},
      {lf_readTitleKey, "  TiTlE\t=  Spaced  \r", "Spaced"},
      {lf_readTitleKey, R"(title=")", std::nullopt},
      {lf_readTitleKey, "title_alt=Other", std::nullopt},
      {lf_readTitleKey, "; title=Commented", std::nullopt},
      {lf_readTitleKey, "title=Broken\rLine", std::nullopt},
      {lf_readAtcIdKey, "atc_id=ABCD", std::nullopt},
      {lf_readAtcIdKey, "atc_id=D-ABC", "D-ABC"},
      {lf_readIcaoAirlineKey, R"(icao_airline="")", "ZZZ"},
      {lf_readIcaoAirlineKey, "icao_airline=ZZZZ", "ZZZ"},
      {lf_readIcaoAirlineKey, "icao_airline=dlh", "DLH"},
  };
  for (const Case& c : cases) EXPECT_EQ(lf_value(c.reader, c.line), c.value) << c.line;
}

TEST(CfgKeys, ModelCodes) {
  struct Case {
    const char* line;
    const char* model;
  } cases[] = {
      {"icao_type_designator=a20n", "A20N"},
      {"icao_type_designator = B7878", "B787"},
      {R"(base_container = "..\Asobo_A320_NEO")", "A20N"},
      {R"(base_container=..\asobo_a320_neo)", ""},
      {R"(base_container=..\)", ""},
  };
  for (const Case& c : cases) {
    const std::string line = c.line;
    const bool designator = line.starts_with("icao");
    EXPECT_EQ(designator ? lf_readIcaoTypeDesignator(line) : lf_readBaseContainerModel(line), c.model) << c.line;
  }
}

TEST(CfgKeys, SectionHeadersAndTheirNumbers) {
  struct Case {
    const char* line;
    const char* number;
  } cases[] = {
      {"[FLTSIM.3]", "3"},        {" \t[fltsim.3]  ", "3"},       {"[fltsim.3] ; old", "10000"},
      {"[fltsim.]", "10000"},     {"; [fltsim.3]", ""},           {"// [fltsim.3]", ""},
      {"[General]", ""},          {"", ""},                       {"[fltsim.99999999999]", "99999999999"},
  };
  for (const Case& c : cases) EXPECT_EQ(lf_readFltsimHeader(c.line), c.number) << c.line;

  EXPECT_EQ(lf_sectionNumber("10001"), 10001);
  EXPECT_EQ(lf_sectionNumber("2147483647"), 2147483647);
  EXPECT_EQ(lf_sectionNumber("-5"), -5);
  EXPECT_EQ(lf_sectionNumber("2147483648"), std::nullopt);
  EXPECT_EQ(lf_sectionNumber("99999999999"), std::nullopt);
  EXPECT_EQ(lf_sectionNumber("-"), std::nullopt);
}

TEST(CfgKeys, ALineOfAHundredThousandCharactersIsReadInOnePass) {
  const std::string title(100000, 'x');
  std::string value;
  ASSERT_TRUE(lf_readTitleKey("title=" + title, value));
  EXPECT_EQ(value, title);
  EXPECT_EQ(lf_readFltsimHeader("[fltsim." + std::string(100000, '7') + "]"), std::string(100000, '7'));
  EXPECT_EQ(lf_readFltsimHeader("[fltsim.1" + title), "10000");
}

}  // namespace
