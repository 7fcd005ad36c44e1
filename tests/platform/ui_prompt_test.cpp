#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/ui.h"
#include "platform/ui_driver.h"

namespace {
using namespace ui;

class PromptTest : public ::testing::Test {
 protected:
  void SetUp() override { resetForTest(); }
  void TearDown() override { resetForTest(); }
};

TEST_F(PromptTest, AnswersComeFromTheScriptInOrderThenEveryPromptIsCancelled) {
  driver::answerPrompts({"abc", std::nullopt, ""});
  EXPECT_EQ(promptText(Hwnd::null, "RealTraffic license", "License / token:", 60), "abc");
  EXPECT_EQ(promptText(Hwnd::null, "t", "l", 60), std::nullopt);
  EXPECT_EQ(promptText(Hwnd::null, "t", "l", 60), "");  // OK on an empty line is not a cancel
  EXPECT_EQ(promptText(Hwnd::null, "t", "l", 60), std::nullopt);
  const auto shown = driver::promptsShown();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].title, "RealTraffic license");
  EXPECT_EQ(shown[0].label, "License / token:");
  EXPECT_EQ(shown[0].maxChars, 60u);
}

// The limit counts characters: a multi-byte character is kept whole or not at all.
TEST_F(PromptTest, AnAnswerIsCutToTheLimitInCharacters) {
  struct Case {
    std::string typed;
    std::size_t maxChars;
    std::string kept;
  } cases[] = {
      {"abcdef", 4, "abcd"},
      {"abcd", 4, "abcd"},
      {"\xC3\xA4\xC3\xB6\xC3\xBC", 2, "\xC3\xA4\xC3\xB6"},  // three two-byte letters
      {"a\xE2\x82\xAC" "b", 2, "a\xE2\x82\xAC"},
      {"abc", 0, ""},
  };
  for (const auto& c : cases) {
    driver::answerPrompts({c.typed});
    EXPECT_EQ(promptText(Hwnd::null, "t", "l", c.maxChars), c.kept) << c.typed;
  }
}

TEST_F(PromptTest, ResetForgetsTheScriptAndWhatWasShown) {
  driver::answerPrompts({"x"});
  resetForTest();
  EXPECT_EQ(promptText(Hwnd::null, "t", "l", 10), std::nullopt);
  resetForTest();
  EXPECT_TRUE(driver::promptsShown().empty());
}

}  // namespace
