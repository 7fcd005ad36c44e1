#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "refdata/model_ids.h"
#include "refdata/user_ac_type.h"

namespace {

class UserAcTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetModelTables();
    for (const char* code : {"A343", "B738", "B736", "B462", "K100", "E55P", "B772", "C172"})
      g_dbaseModelCodes.insert(code);
  }
  void TearDown() override { gf_resetModelTables(); }
};

}  // namespace

TEST_F(UserAcTypeTest, ModelTextsToTypes) {
  struct Case { const char* model; const char* title; std::optional<std::string> expected; };
  const Case cases[] = {
      {"", "Airbus A340-300 Lufthansa", "A343"},
      {"737", "PMDG DG 737-800 Ryanair", "B738"},
      {"737", "Boeing 737 Max", std::nullopt},  // looked up as "737", unknown
      {"BA46", "BAe 146-200 Jet2", "B462"},
      {"ATCCOM.AC_MODEL B738.0.text", "", "B738"},
      {"  $$:B772  ", "", "B772"},
      {"ATCCOM.AC_MODEL 777.0.text", "", "B772"},
      {"KODIAK", "", "K100"},
      {"kodiak", "", std::nullopt},  // case-sensitive
      {"Embraer Phenom 300E", "", "E55P"},
      {"A380", "", std::nullopt},  // A388 not in this database
      {"   \t ", "Cessna 172", std::nullopt},
      {" \n ", "A340-300", "A343"},  // blanks normalise to the empty model of the first row
      {"", "", std::nullopt},
      {"C172", "Cessna 172", "C172"},
  };
  for (const Case& c : cases) EXPECT_EQ(gf_userAcIcaoType(c.model, c.title), c.expected) << "'" << c.model << "'";
}
