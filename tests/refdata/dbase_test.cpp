#include <gtest/gtest.h>

#include <fmt/format.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/user_exception.h"
#include "refdata/dbase.h"
#include "refdata/registration.h"
#include "tests/refdata/enc_fixture.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using refdata_testing::encryptForTest;
using testing_support::readFile;
using testing_support::writeFile;

const fs::path kSampleData = testing_support::sourceDataFolder();

// The required sections with a few codes each; extra is put inside root after them.
std::string dbaseXml(const std::string& extra, const std::string& omit = "") {
  const std::vector<std::pair<std::string, std::string>> sections = {
      {"aircrafts", R"(<aircraft types="A320, B738,B763"/><aircraft types="MD11,EC35,,C172,A320"/>)"},
      {"cargo_types", R"(<cargo_type types="MD11"/>)"},
      {"heavy", R"(<hvy types="B763,MD11"/>)"},
      {"large", R"(<lar types="A320,B738,B763"/>)"},
      {"buzjet", R"(<bzj types="C56X"/>)"},
      {"twoprops", ""},
      {"high_performance", ""},
      {"rotorcraft", R"(<rot types="EC35"/>)"},
      {"ICAO_airlines", R"(<ICAO codes="DLH,BAW"/><ICAO codes="FDX"/>)"},
      {"cargo_operators", R"(<ICAO codes="FDX,GEC"/>)"},
  };
  std::string xml = "<?xml version=\"1.0\"?>\n<root>\n";
  for (const auto& [name, body] : sections)
    if (name != omit) xml += fmt::format("<{0}>{1}</{0}>\n", name, body);
  return xml + extra + "</root>\n";
}

class DbaseTest : public refdata_testing::DataSetTest {
 protected:
  void SetUp() override {
    gf_resetDbaseTables();
    DataSetTest::SetUp();
  }
  void TearDown() override {
    DataSetTest::TearDown();
    gf_resetDbaseTables();
  }
  bool readPlain(const std::string& xml) {
    writeEnc("input/dbase.enc", xml);
    return gf_readDbase(dir_ / "input");
  }
  std::string dbaseFile() const { return (dir_ / "input" / "dbase.enc").string(); }
};

TEST_F(DbaseTest, ReadsTheSampleDataSet) {
  // The sample is enciphered with the build's default key tables.
  auto plain = gf_readEncFile(kSampleData / "dbase.enc", kDbasePlainLimit);
  ASSERT_TRUE(plain.ok()) << plain.message();
  EXPECT_EQ(plain.buffer().text(), readFile(kSampleData / "dbase.xml"));

  ASSERT_TRUE(gf_readDbase(kSampleData));
  EXPECT_EQ(g_dbaseModelCodes.size(), 37u);
  EXPECT_EQ(g_dbaseAirlineCodes.size(), 22u);
  EXPECT_EQ(g_cargoOperators.size(), 7u);
  EXPECT_EQ(g_dbaseRecords.size(), 14u);
  EXPECT_EQ(gf_categoryOfModel("A388"), AcCategory::heavy);
  EXPECT_EQ(gf_categoryOfModel("DH8D"), AcCategory::twoprops);
  EXPECT_EQ(gf_categoryOfModel("C172"), AcCategory::none);
  EXPECT_NEAR(gf_wingspanOf(gf_modelIdOf("A388")), 79.75 / 2 / 1852, 1e-12);
  EXPECT_NEAR(g_maxHalfWingspanNm, 79.75 / 2 / 1852, 1e-12);
  EXPECT_EQ(gf_modelIdOf("B77F"), gf_modelIdOf("B77L"));
  const auto lufthansa = gf_lookupRegistration("DAIMA");
  ASSERT_TRUE(lufthansa.has_value());
  EXPECT_EQ(gf_airlineName(lufthansa->airlineId), "DLH");
  EXPECT_EQ(gf_modelName(lufthansa->modelId), "A388");
  EXPECT_TRUE(gf_isCargo(*gf_lookupRegistration("N601FE")));
  const std::string text = log();
  EXPECT_NE(text.find("\n   37 ICAO model codes\n   22 ICAO airline codes\n    7 cargo operators\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("    2 fixes\n   14 dbase records read\n\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("==>"), std::string::npos) << text;
}

TEST_F(DbaseTest, FirstIdsAndSetsFollowTheCodeOrderAndOptionalSectionsMayBeMissing) {
  ASSERT_TRUE(readPlain(dbaseXml("")));
  EXPECT_EQ(gf_modelName(0), "");
  EXPECT_EQ(gf_airlineName(0), "");
  // Codes are interned in byte order, trimmed, empty pieces dropped, duplicates merged.
  const std::vector<std::string> models = {"A320", "B738", "B763", "C172", "EC35", "MD11"};
  for (std::size_t i = 0; i < models.size(); ++i) EXPECT_EQ(gf_modelName(static_cast<ModelId>(i + 1)), models[i]);
  EXPECT_EQ(gf_airlineName(1), "BAW");
  EXPECT_EQ(gf_airlineName(4), "GEC");  // a cargo operator not among the airlines is interned last
  EXPECT_TRUE(gf_isIcaoModelCode("B738"));
  EXPECT_FALSE(gf_isIcaoModelCode("C56X"));  // only in a category section
  EXPECT_FALSE(gf_isIcaoModelCode(""));
  EXPECT_TRUE(gf_isIcaoAirlineCode("FDX"));
  EXPECT_FALSE(gf_isIcaoAirlineCode("GEC"));
  EXPECT_EQ(gf_categoryOfModel("B763"), AcCategory::large);  // in large and heavy
  EXPECT_EQ(gf_categoryOfModel("C56X"), AcCategory::buzjet);
}

TEST_F(DbaseTest, AMissingRequiredSectionStopsTheRead) {
  for (const char* section : {"aircrafts", "cargo_types", "heavy", "large", "buzjet", "twoprops", "high_performance",
                              "rotorcraft", "ICAO_airlines", "cargo_operators"}) {
    gf_resetDbaseTables();
    try {
      readPlain(dbaseXml("", section));
      ADD_FAILURE() << "no exception without " << section;
    } catch (const jrv::UserRelatedException& e) {
      EXPECT_EQ(e.code, 61) << section;
      EXPECT_EQ(std::string(e.what()), fmt::format("61: Missing section: {}", section));
    }
  }
}

TEST_F(DbaseTest, OptionalSectionsMayBeMissing) {
  ASSERT_TRUE(readPlain(dbaseXml("")));
  EXPECT_TRUE(g_similarTypes.empty());
  EXPECT_TRUE(g_wingspans.empty());
  EXPECT_TRUE(g_dbaseModelFixes.empty());
  EXPECT_TRUE(g_dbaseRecords.empty());
  EXPECT_EQ(log().find("==>"), std::string::npos);
}

TEST_F(DbaseTest, CargoFlagTruthValues) {
  const std::map<std::string, bool> cases = {
      {"", false},       {"c=\" Yes \"", true}, {"c=\"ON\"", true},   {"c=\"\t1\r\n\"", true},
      {"c=\"true\"", true}, {"c=\"no\"", false},  {"c=\"0\"", false},  {"c=\"maybe\"", false},
      {"c=\"y\"", false},
  };
  std::string records = "<dbase>";
  int n = 0;
  for (const auto& [attribute, flag] : cases) records += fmt::format(R"(<d r="R{}" a="DLH" m="A320" {}/>)", n++, attribute);
  ASSERT_TRUE(readPlain(dbaseXml(records + "</dbase>")));
  n = 0;
  for (const auto& [attribute, flag] : cases) {
    const auto entry = gf_lookupDbaseKey(fmt::format("R{}", n++));
    ASSERT_TRUE(entry.has_value()) << attribute;
    EXPECT_EQ(entry->cargo, flag ? 1 : 0) << attribute;
    EXPECT_EQ(entry->marker, 1);
  }
}

TEST_F(DbaseTest, RegistrationsAreSortedWithOneRecordPerKey) {
  ASSERT_TRUE(readPlain(dbaseXml(R"(<dbase>
      <d r="G-XLEA" a="BAW" o="BAW" m="A388"/>
      <d r="D-AIMA" a="DLH" o="DLH" m="A388"/>
      <d r="G-XLEA" a="BAW" o="BAW" m="B77W"/>
      <d r="G-XLEA" a="DLH" o="BAW" m="A388"/>
      <d a="FDX" m="MD11"/>
    </dbase>)")));
  ASSERT_EQ(g_dbaseRecords.size(), 3u);
  EXPECT_EQ(g_dbaseRecords[0].key, "");
  EXPECT_EQ(g_dbaseRecords[1].key, "D-AIMA");
  EXPECT_EQ(g_dbaseRecords[2].key, "G-XLEA");
  // Codes first seen in the records are interned there: A388 and B77W are not in aircrafts.
  const auto dlh = gf_lookupDbaseKey("D-AIMA");
  ASSERT_TRUE(dlh);
  EXPECT_EQ(gf_airlineName(dlh->airlineId), "DLH");
  EXPECT_EQ(gf_airlineName(dlh->operatorId), "DLH");
  EXPECT_EQ(gf_modelName(dlh->modelId), "A388");
  EXPECT_EQ(gf_categoryOf(dlh->modelId), AcCategory::none);
}

TEST_F(DbaseTest, BadWingspansAreSkipped) {
  ASSERT_TRUE(readPlain(dbaseXml(R"(<wingspans>
      <wingspan type="A320" meters=" +35.8 "/>
      <wingspan type="B738" meters="-3"/>
      <wingspan type="B763" meters="0"/>
      <wingspan type="MD11" meters=""/>
      <wingspan type="EC35" meters="wide"/>
      <wingspan type="C172"/>
      <wingspan type="C56X" meters="16.98"/>
      <wingspan meters="10"/>
      <wingspan type="A320" meters="40"/>
      <wingspan type="B738" meters="++35"/>
      <wingspan type="B738" meters="inf"/>
    </wingspans>)")));
  EXPECT_EQ(g_wingspans.size(), 1u);
  EXPECT_NEAR(gf_wingspanOf(gf_modelIdOf("A320")), 35.8 * 0.5 / 1852, 1e-15);
  EXPECT_EQ(gf_wingspanOf(gf_modelIdOf("B738")), 0.0);
  EXPECT_NEAR(g_maxHalfWingspanNm, 35.8 * 0.5 / 1852, 1e-15);
  const std::string text = log();
  for (const char* line : {"==> wingspan for model B738 is not positive, skipped\n",
                           "==> wingspan for model B763 is not positive, skipped\n",
                           "==> wingspan for model MD11 is not positive, skipped\n",
                           "==> wingspan for model EC35 is not positive, skipped\n",
                           "==> wingspan for model C172 is not positive, skipped\n",
                           "==> wingspan model C56X is not valid, skipped\n",
                           "==> wingspan model  is not valid, skipped\n",
                           "==> duplicate wingspan model A320, skipped\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
}

TEST_F(DbaseTest, WingspansOfLateIdsNeitherThrowNorGuess) {
  // Names interned before the dbase (ids past 2699) used to overflow a fixed table.
  for (int i = 0; i < 3000; ++i) gf_internModelName(fmt::format("X{}", i));
  ASSERT_TRUE(readPlain(dbaseXml(R"(<wingspans><wingspan type="A320" meters="35.8"/></wingspans>)")));
  const ModelId a320 = gf_modelIdOf("A320");
  EXPECT_GT(a320, 2699);
  EXPECT_NEAR(gf_wingspanOf(a320), 35.8 * 0.5 / 1852, 1e-15);
  EXPECT_EQ(gf_wingspanOf(gf_internModelName("LATE")), 0.0);  // unknown, not 35 NM
}

TEST_F(DbaseTest, Fixes) {
  ASSERT_TRUE(readPlain(dbaseXml(R"(<fixes>
      <fx wro="B73H" cor="B738"/>
      <fx wro="B73H" cor="A320"/>
      <fx wro="X" cor="ZZZZ"/>
      <fx wro="Y"/>
      <fx cor="C172"/>
    </fixes>
    <dbase><d r="D-ABCD" a="DLH" m="B73H"/></dbase>)")));
  EXPECT_EQ(g_dbaseModelFixes.size(), 2u);  // B73H and the empty wrong code
  EXPECT_EQ(gf_lookupDbaseKey("D-ABCD")->modelId, gf_modelIdOf("B738"));
  EXPECT_EQ(gf_modelIdOf(""), 0);  // already interned: the empty fix does not touch it
  const std::string text = log();
  EXPECT_NE(text.find("==> duplicate fix key 'B73H', skipped\n"), std::string::npos) << text;
  EXPECT_NE(text.find("==> invalid fix X -> ZZZZ, target is not a valid ICAO model\n"), std::string::npos) << text;
  EXPECT_NE(text.find("==> invalid fix Y -> , target is not a valid ICAO model\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    2 fixes\n"), std::string::npos) << text;
}

TEST_F(DbaseTest, SimilarGroupsAreSorted) {
  ASSERT_TRUE(readPlain(dbaseXml(R"(<similar_types>
      <similar types="B739, B738,,B38M"/>
      <similar types="A320"/>
    </similar_types>)")));
  ASSERT_EQ(g_similarTypes.size(), 2u);
  EXPECT_EQ(g_similarTypes[0], (std::vector<std::string>{"B38M", "B738", "B739"}));
  EXPECT_EQ(g_similarTypes[1], (std::vector<std::string>{"A320"}));
}

TEST_F(DbaseTest, UnreadableFiles) {
  const auto expectThrows = [&](const std::string& what) {
    try {
      gf_readDbase(dir_ / "input");
      ADD_FAILURE() << "no exception: " << what;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), what);
    }
  };
  expectThrows(dbaseFile() + " not available");
  writeFile(dir_ / "input" / "dbase.enc", encryptForTest(dbaseXml("")).substr(0, 40));
  expectThrows("Encrypted file is too small: " + dbaseFile());

  EXPECT_FALSE(readPlain("<root><aircrafts>"));
  EXPECT_FALSE(readPlain("<other/>"));
  EXPECT_FALSE(readPlain(""));
  const std::string text = log();
  EXPECT_NE(text.find("==> " + dbaseFile() + " not read because: Start-end tags mismatch"), std::string::npos) << text;
  EXPECT_NE(text.find("==> '" + dbaseFile() + "' has no root node"), std::string::npos) << text;
  EXPECT_NE(text.find("==> " + dbaseFile() + " not read because: No document element found"), std::string::npos)
      << text;
  EXPECT_TRUE(g_dbaseModelCodes.empty());
}

}  // namespace
