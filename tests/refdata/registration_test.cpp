#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "refdata/dbase.h"
#include "refdata/registration.h"

namespace {

// Records keyed as the dbase writes them; the entry's model id tells which record answered.
void setRecords(std::vector<std::string> keys) {
  std::sort(keys.begin(), keys.end());
  g_dbaseRecords.clear();
  ModelId id = 1;
  for (auto& key : keys) g_dbaseRecords.push_back({std::move(key), DbaseEntry{1, 1, id++, 0, 1}});
}

std::optional<std::string> answeringKey(const std::optional<DbaseEntry>& entry) {
  if (!entry) return std::nullopt;
  for (const auto& record : g_dbaseRecords)
    if (record.entry == *entry) return record.key;
  return std::nullopt;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void TearDown() override { gf_resetDbaseTables(); }
};

TEST_F(RegistrationTest, NormalisingLookup) {
  setRecords({"", "D-AIMA", "G-XLEA", "HB-JNA", "H-BJNA", "EI-DCL", "N601FE", "D-ABC", "DABC", "9V-SKA", "C-FABC",
              "NA-BCD", "N-ABCD", "n-abcd"});
  struct Case { const char* text; std::optional<std::string> key; };
  const std::vector<Case> cases = {
      {"DAIMA", "D-AIMA"},    // one-character prefix
      {"EIDCL", "EI-DCL"},    // two-character prefix
      {"HBJNA", "HB-JNA"},    // both dashed forms exist: the two-character prefix wins
      {"9VSKA", "9V-SKA"},
      {"CFABC", "C-FABC"},
      {"D-AIMA", "D-AIMA"},   // exact
      {"N601FE", "N601FE"},
      {"NABCD", std::nullopt},  // "N..." is looked up unchanged only
      {"nabcd", "n-abcd"},      // a lower-case n is no US prefix: the dashed forms are tried
      {"DABC", "DABC"},       // four characters: unchanged only, though D-ABC exists
      {"DA-IMA", std::nullopt},  // has a dash: unchanged only
      {"daima", std::nullopt},   // no case folding
      {"", std::nullopt},        // also with a record whose key is empty
      {" DAIMA", std::nullopt},  // no trimming
  };
  for (const auto& c : cases) EXPECT_EQ(answeringKey(gf_lookupRegistration(c.text)), c.key) << "'" << c.text << "'";
}

TEST_F(RegistrationTest, FindRegistrationInText) {
  setRecords({"", "D-ABCD", "G-XLEA", "OY-KBO"});
  // A record without a registration (an empty key) must not match every text.
  EXPECT_EQ(gf_findRegistrationIn("Airbus A320 Lufthansa"), std::nullopt);
  // Keys of 6 characters or more are never searched for.
  EXPECT_EQ(gf_findRegistrationIn("AIG A380 G-XLEA"), std::nullopt);
  setRecords({"", "D-ABC", "G-XLE", "OY-KB"});
  EXPECT_EQ(gf_findRegistrationIn("AIG A380 G-XLEA D-ABCD"), "D-ABC");  // first in key order
  EXPECT_EQ(gf_findRegistrationIn("SAS OY-KBO"), "OY-KB");
  EXPECT_EQ(gf_findRegistrationIn(""), std::nullopt);
}

}  // namespace
