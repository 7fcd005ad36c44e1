#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "refdata/model_ids.h"
#include "tests/support/test_support.h"

namespace {
using testing_support::readFile;
using testing_support::ScopedCurrentDir;
using testing_support::TempDir;

class ModelIdsTest : public ::testing::Test {
 protected:
  void SetUp() override { gf_resetModelTables(); }
  void TearDown() override { gf_resetModelTables(); }
};

TEST_F(ModelIdsTest, NamesGetStableDenseIds) {
  EXPECT_EQ(gf_internModelName(""), 0);
  EXPECT_EQ(gf_internAirlineName(""), 0);
  const ModelId a320 = gf_internModelName("A320");
  EXPECT_EQ(a320, 1);
  EXPECT_EQ(gf_modelIdOf("A320"), a320);
  EXPECT_EQ(gf_internModelName("B738"), 2);
  EXPECT_EQ(gf_internModelName("A320"), a320);
  EXPECT_EQ(gf_modelName(a320), "A320");
  EXPECT_EQ(gf_modelName(999), "");
  // Model and airline names are counted apart.
  EXPECT_EQ(gf_internAirlineName("DLH"), 1);
  EXPECT_EQ(gf_airlineName(1), "DLH");
  EXPECT_EQ(gf_modelNameCount(), 3u);
  EXPECT_EQ(gf_airlineNameCount(), 2u);
}

TEST_F(ModelIdsTest, FixesApplyOnlyOnceSwitchedOn) {
  const ModelId b738 = gf_internModelName("B738");
  gf_setModelFixes({{"B73H", "B738"}, {"X1", "NOTINTERNED"}});
  const ModelId early = gf_internModelName("B73H");  // before the switch: a name of its own
  EXPECT_NE(early, b738);

  gf_resetModelTables();
  const ModelId fresh738 = gf_internModelName("B738");
  gf_setModelFixes({{"B73H", "B738"}, {"X1", "NOTINTERNED"}});
  gf_activateModelFixes();
  const auto before = gf_modelNameCount();
  EXPECT_EQ(gf_internModelName("B73H"), fresh738);
  EXPECT_EQ(gf_modelNameCount(), before);
  // A correction nobody has interned gives the wrong code an id of its own, unchanged.
  const ModelId x1 = gf_internModelName("X1");
  EXPECT_EQ(gf_modelName(x1), "X1");
}

TEST_F(ModelIdsTest, CategoryOrderAndCargo) {
  const ModelId both = gf_internModelName("B763");
  const ModelId heli = gf_internModelName("EC35");
  const ModelId light = gf_internModelName("C172");
  g_largeModels = {both};
  g_heavyModels = {both};
  g_rotorcraftModels = {heli};
  g_highPerformanceModels = {heli};
  EXPECT_EQ(gf_categoryOf(both), AcCategory::large);
  EXPECT_EQ(gf_categoryOf(heli), AcCategory::rotorcraft);
  EXPECT_EQ(gf_categoryOf(light), AcCategory::none);
  EXPECT_EQ(gf_categoryOfModel("B763"), AcCategory::large);
  EXPECT_EQ(gf_categoryOfModel("NEW1"), AcCategory::none);

  const AirlineId fdx = gf_internAirlineName("FDX");
  const AirlineId dlh = gf_internAirlineName("DLH");
  const ModelId md11 = gf_internModelName("MD11");
  g_cargoModels = {md11};
  g_cargoOperators = {fdx};
  EXPECT_TRUE(gf_isCargo({dlh, dlh, md11, 0, 1}));
  EXPECT_TRUE(gf_isCargo({fdx, fdx, both, 0, 1}));
  EXPECT_FALSE(gf_isCargo({dlh, fdx, both, 0, 1}));  // the operator does not count
}

TEST_F(ModelIdsTest, WingspanOfAnIdBeyondTheTableIsUnknown) {
  g_wingspanTable = {0.0, 0.02};
  EXPECT_DOUBLE_EQ(gf_wingspanOf(1), 0.02);
  EXPECT_EQ(gf_wingspanOf(2), 0.0);
  EXPECT_EQ(gf_wingspanOf(2700), 0.0);
  EXPECT_EQ(gf_wingspanOf(65535), 0.0);
}

TEST_F(ModelIdsTest, SplitAndEditDistance) {
  EXPECT_EQ(gf_splitModelCode("B38M"), std::make_pair(std::string("BM"), std::string("38")));
  EXPECT_EQ(gf_splitModelCode("A-3_2x0"), std::make_pair(std::string("Ax"), std::string("320")));
  struct Case { const char* a; const char* b; std::size_t distance; };
  for (const Case c : {Case{"", "A320", 4}, Case{"B738", "B38M", 2}, Case{"kitten", "sitting", 3}})
    EXPECT_EQ(gf_editDistance(c.a, c.b), c.distance) << c.a << " / " << c.b;
}

TEST_F(ModelIdsTest, ClosestModel) {
  const ModelId a320 = gf_internModelName("A320");
  const ModelId a319 = gf_internModelName("A319");
  const ModelId a322 = gf_internModelName("A322");
  const ModelId a321 = gf_internModelName("A321");
  const ModelId b738 = gf_internModelName("B738");
  const ModelId a20n = gf_internModelName("A20N");

  EXPECT_EQ(gf_closestModel(a320, std::vector<ModelId>{}), std::nullopt);
  EXPECT_EQ(gf_closestModel(a320, std::vector<ModelId>{b738}), b738);  // one candidate is taken as it is
  // A319 fails the closeness test (2 edits), A321 beats A322 on the number.
  EXPECT_EQ(gf_closestModel(a320, std::vector<ModelId>{a319, a322, a321}), a321);
  EXPECT_EQ(gf_closestModel(a320, std::vector<ModelId>{b738, a319}), std::nullopt);
  // A20N is two edits away and differs in letters: not close. A330 is one edit away.
  const ModelId a330 = gf_internModelName("A330");
  EXPECT_EQ(gf_closestModel(a320, std::vector<ModelId>{a319, a20n}), std::nullopt);
  EXPECT_EQ(gf_closestModel(a320, std::vector<ModelId>{a20n, a319, a330}), a330);
  // A complete tie keeps the earlier candidate.
  EXPECT_EQ(gf_closestModel(a320, std::vector<ModelId>{a321, a321}), a321);
}

TEST_F(ModelIdsTest, SimilarModels) {
  g_similarTypes = {{"A319", "A320", "A321"}, {"B738"}, {"B788", "B789", "B789"}};
  const ModelId a319 = gf_internModelName("A319");
  const ModelId a320 = gf_internModelName("A320");
  const ModelId a321 = gf_internModelName("A321");
  const ModelId b788 = gf_internModelName("B788");
  const ModelId b789 = gf_internModelName("B789");
  const AirlineId dlh = gf_internAirlineName("DLH");
  const AirlineId baw = gf_internAirlineName("BAW");
  // Installed: A319 and A321 (DLH has both), B789 (BAW).
  const std::set<std::pair<AirlineId, ModelId>> installed{{dlh, a319}, {dlh, a321}, {baw, b789}};
  LiveryPresence liveries;
  liveries.modelHasLiveries = [&](ModelId m) {
    return std::any_of(installed.begin(), installed.end(), [&](const auto& p) { return p.second == m; });
  };
  liveries.collectLiveryAirlines = [&] { return std::vector<AirlineId>{dlh, baw}; };
  liveries.hasLiveryForAirlineModel = [&](AirlineId a, ModelId m) { return installed.contains({a, m}); };
  gf_buildSimilarModels(liveries);

  // The group of one adds nothing; a repeated code is listed once.
  EXPECT_EQ(g_similarModels.size(), 5u);
  EXPECT_EQ(g_similarModels.at(a320), (std::vector<ModelId>{a319, a321}));
  EXPECT_EQ(g_similarModels.at(b788), (std::vector<ModelId>{b789}));
  // Installed similar models are cut to the closest one.
  EXPECT_EQ(g_similarInstalledModels.at(a320), (std::vector<ModelId>{a321}));
  EXPECT_EQ(g_similarInstalledModels.at(a319), (std::vector<ModelId>{a321}));
  EXPECT_EQ(g_similarInstalledModels.at(b788), (std::vector<ModelId>{b789}));
  EXPECT_FALSE(g_similarInstalledModels.contains(b789));
  // DLH has no A320 but has A321; BAW has B789 but not B788.
  EXPECT_EQ(g_similarModelsByAirline.at(dlh).at(a320), (std::vector<ModelId>{a321}));
  EXPECT_FALSE(g_similarModelsByAirline.at(dlh).contains(a319));  // DLH has A319 itself
  EXPECT_EQ(g_similarModelsByAirline.at(baw).at(b788), (std::vector<ModelId>{b789}));
  EXPECT_FALSE(g_similarModelsByAirline.at(baw).contains(a320));
}

TEST_F(ModelIdsTest, InterningFromManyThreadsGivesOneIdPerName) {
  constexpr int kThreads = 8;
  constexpr int kNames = 3000;
  std::vector<std::string> names;
  for (int i = 0; i < kNames; ++i) names.push_back(fmt::format("M{}", i));
  std::array<std::vector<ModelId>, kThreads> seen;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<int> order(kNames);
      for (int i = 0; i < kNames; ++i) order[i] = i;
      std::mt19937 random(static_cast<unsigned>(t));
      std::shuffle(order.begin(), order.end(), random);
      seen[t].assign(kNames, 0);
      for (const int i : order) {
        seen[t][i] = gf_internModelName(names[i]);
        gf_internAirlineName(names[i]);
        (void)gf_modelName(seen[t][i]);
        (void)gf_wingspanOf(seen[t][i]);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(gf_modelNameCount(), static_cast<std::size_t>(kNames));
  EXPECT_EQ(gf_airlineNameCount(), static_cast<std::size_t>(kNames));
  std::set<ModelId> distinct;
  for (int i = 0; i < kNames; ++i) {
    for (int t = 1; t < kThreads; ++t) ASSERT_EQ(seen[t][i], seen[0][i]) << names[i];
    EXPECT_EQ(gf_modelName(seen[0][i]), names[i]);
    distinct.insert(seen[0][i]);
  }
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kNames));
}

TEST_F(ModelIdsTest, AFullTableGivesIdZeroWithAWarning) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  gf_openLog();
  for (std::size_t i = 0; i < kMaxInternedNames; ++i) gf_internAirlineName(fmt::format("{}", i));
  EXPECT_EQ(gf_internAirlineName("65535"), 65535);
  EXPECT_EQ(gf_internAirlineName("ONE MORE"), 0);
  EXPECT_EQ(gf_internAirlineName("AND ANOTHER"), 0);
  EXPECT_EQ(gf_airlineNameCount(), kMaxInternedNames);
  EXPECT_EQ(gf_airlineName(0), "0");
  gf_closeLog();
  const std::string log = readFile(dir / "Log.txt");
  EXPECT_NE(log.find("==> airline names table is full (65536 names): 'ONE MORE' and later new names get id 0"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("AND ANOTHER"), std::string::npos);
}

TEST(UnknownIata, IsXXX) { EXPECT_EQ(g_unknownIata.text(), "XXX"); }

}  // namespace
