#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "config/options.h"
#include "core/log.h"
#include "platform/ui.h"
#include "tests/config/parameters_fixture.h"

namespace {

pugi::xml_document documentWith(const std::string& parameters, bool withRoot = true) {
  std::string xml = "<parameters>" + parameters + "</parameters>";
  if (withRoot) xml = "<root>" + xml + "</root>";
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(xml.c_str()));
  return document;
}

template <typename Error, typename Body>
void expectError(Body body, const char* what) {
  try {
    body();
    ADD_FAILURE() << what;
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), what);
  }
}

std::string parameter(const std::string& name, const std::string& value) {
  return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>";
}

using OptionsTest = params_test::LoggedTest;

TEST_F(OptionsTest, BoolWordsWithBlanksAroundAndBadValuesGiveTheDefault) {
  struct Case { std::string text; bool defaultValue, found, expected; };
  const Case cases[] = {
      {"true", false, true, true},    {"yes", false, true, true},  {"on", false, true, true},
      {"1", false, true, true},       {" YES ", false, true, true}, {"\tOn\r\n", false, true, true},
      {"false", true, true, false},   {"no", true, true, false},   {"OFF", true, true, false},
      {" 0 ", true, true, false},     {"2", true, false, true},    {"", false, false, false},
      {"maybe", true, false, true},   {"y", false, false, false},  {"truely", false, false, false},
  };
  for (const auto& c : cases) {
    BoolOption option("SWITCH", c.defaultValue);
    option.value = !c.defaultValue;
    const bool found = option.load(documentWith(parameter("SWITCH", c.text)));
    EXPECT_EQ(found, c.found) << "'" << c.text << "'";
    EXPECT_EQ(option.value.load(), c.expected) << "'" << c.text << "'";
  }
}

TEST_F(OptionsTest, LookupIsCaseSensitiveTakesTheFirstAndToleratesNoRoot) {
  StringOption range("RANGE", "dflt");
  EXPECT_FALSE(range.load(documentWith(parameter("range", "55"))));
  EXPECT_EQ(range.value.load(), "dflt");

  EXPECT_TRUE(range.load(documentWith(parameter("RANGE", "first") + parameter("RANGE", "second"))));
  EXPECT_EQ(range.value.load(), "first");

  EXPECT_TRUE(range.load(documentWith(parameter("RANGE", "bare"), false)));
  EXPECT_EQ(range.value.load(), "bare");

  BoolOption flag("FLAG", true);
  EXPECT_FALSE(flag.load(documentWith("<parameter name=\"FLAG\"/>")));
  EXPECT_TRUE(flag.value.load());
  EXPECT_NE(log().find("FLAG=true\n"), std::string::npos);
  EXPECT_NE(log().find("RANGE=\"bare\"\n"), std::string::npos);
}

TEST_F(OptionsTest, PathOptionReadsUtf8) {
  PathOption path("MSFS_INSTALL_PATH", "/default");
  EXPECT_TRUE(path.load(documentWith(parameter("MSFS_INSTALL_PATH", "/games/Fl\xC3\xBCgel"))));
  EXPECT_EQ(path.value.load(), std::filesystem::path("/games/Fl\xC3\xBCgel"));
  EXPECT_FALSE(path.load(documentWith(parameter("MSFS_INSTALL_PATH", "/bad\xFF"))));
  EXPECT_EQ(path.value.load(), std::filesystem::path("/default"));
}

TEST_F(OptionsTest, IntAttributeText) {
  struct Case { const char* text; std::optional<std::int32_t> expected; };
  const Case cases[] = {{" +25 ", 25},        {"-7", -7},          {"+", std::nullopt},        {"++1", std::nullopt},
                        {"+-1", -1}, {"12a", std::nullopt}, {"", std::nullopt},         {"2147483647", 2147483647},
                        {"2147483648", std::nullopt}, {"-2147483648", -2147483647 - 1}, {"1 2", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(gf_intAttribute(c.text), c.expected) << "'" << c.text << "'";
}

TEST_F(OptionsTest, ListOptionsTakeTheirLimitsFromTheList) {
  const ControlLayout layout{1, 2, 3, 4};
  IntListOption meters("M", 5000, {10, 50, 100, 900, 250}, 1, layout);
  EXPECT_EQ(meters.minimum, 10);
  EXPECT_EQ(meters.maximum, 900);
  EXPECT_EQ(meters.value.load(), 5000);  // the default is not checked
  EXPECT_EQ(meters.valueAt(4), 250);
  for (int bad : {5, -1, -100})
    expectError<std::out_of_range>([&] { (void)meters.valueAt(bad); }, "configuration option index is out of range");
  FloatListOption hours("H", 1.0f, {0.5f, 1.0f, 1.5f}, 2, layout);
  EXPECT_EQ(hours.minimum, 0.5f);
  EXPECT_EQ(hours.maximum, 1.5f);
  EXPECT_EQ(hours.valueAt(2), 1.5f);
  EXPECT_THROW(hours.valueAt(-1), std::out_of_range);

  expectError<std::invalid_argument>([&] { IntListOption("E", 0, {}, 3, layout); },
                                     "configuration option list cannot be empty");
  EXPECT_THROW(FloatListOption("F", 0, {}, 4, layout), std::invalid_argument);
  expectError<std::invalid_argument>([&] { DynamicChoiceOption("D", "", nullptr, 5, layout); },
                                     "dynamic configuration option list cannot be null");
}

std::vector<std::pair<std::string, std::string>> g_written;
void recordWrite(std::string_view name, std::string_view valueText) { g_written.emplace_back(name, valueText); }

TEST_F(OptionsTest, SaveHandsNameAndValueTextToTheWriter) {
  g_written.clear();
  IntOption range("RANGE_GROUND", 10, 2, 100);
  BoolOption flag("COLLAPSED", true);
  StringOption port("PORT_NUMBER", "10747");
  range.save();  // no writer yet: only the value line
  EXPECT_TRUE(g_written.empty());
  gf_setParameterWriter(recordWrite);
  range.setAndSave(0);
  range.setAndSave(999);
  flag.value = false;
  flag.save();
  port.setAndSave("12000");
  EXPECT_EQ(g_written, (std::vector<std::pair<std::string, std::string>>{
                           {"RANGE_GROUND", "2"}, {"RANGE_GROUND", "100"}, {"COLLAPSED", "false"},
                           {"PORT_NUMBER", "12000"}}));
  const std::string text = log();
  EXPECT_NE(text.find("RANGE_GROUND=100\n"), std::string::npos);
  EXPECT_NE(text.find("COLLAPSED=false\n"), std::string::npos);
  EXPECT_NE(text.find("PORT_NUMBER=\"12000\"\n"), std::string::npos);
}

TEST_F(OptionsTest, AppendDefaultWritesTheDefaultNotTheValue) {
  pugi::xml_document document;
  pugi::xml_node parameters = document.append_child("root").append_child("parameters");
  BoolOption flag("COLLAPSED", true);
  flag.value = false;
  IntOption x("MAIN_WINDOW_X", 400, -30000, 30000);
  StringOption port("PORT_NUMBER", "10747");
  flag.appendDefault(parameters);
  x.appendDefault(parameters);
  port.appendDefault(parameters);
  EXPECT_EQ(gf_readXmlParameterString(document, "COLLAPSED"), "true");
  EXPECT_EQ(gf_readXmlParameterString(document, "MAIN_WINDOW_X"), "400");
  EXPECT_EQ(gf_readXmlParameterString(document, "PORT_NUMBER"), "10747");
  std::vector<std::string> names;
  for (auto p : parameters.children()) names.emplace_back(p.attribute("name").value());
  EXPECT_EQ(names, (std::vector<std::string>{"COLLAPSED", "MAIN_WINDOW_X", "PORT_NUMBER"}));

  // An append that cannot happen (no element to append to) is logged.
  port.appendDefault(pugi::xml_node());
  EXPECT_NE(log().find("===> adding xml parameter PORT_NUMBER with 10747 failed!\n"), std::string::npos);
}

// Combo boxes on the headless window layer.
ui::LResult parentProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam) {
  return ui::defWindowProc(hwnd, message, wParam, lParam);
}

class ComboTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::resetForTest();
    ui::registerClass({"OptionsTest", parentProc});
    parent_ = ui::createWindow("OptionsTest", "t", {0, 0, 900, 700});
    combo_ = ui::createControl(parent_, ui::ControlKind::ComboBox, 32780, "", {0, 0, 100, 20});
  }
  void TearDown() override { ui::resetForTest(); }
  ui::Hwnd parent_{};
  ui::Hwnd combo_{};
};

TEST_F(ComboTest, ChoiceSelectsTheExactEntryNotAPrefix) {
  ChoiceOption choice("AI", "AIG", {"AIG, FSLTL, JF, MTL", "AIG, FSLTL", "FSLTL", "AIG", "MTL"}, 32780, {});
  choice.window = combo_;
  struct Case { const char* value; int selected; };
  const Case cases[] = {{"AIG", 3}, {"AIG, FSLTL", 1}, {"aig", 3}, {"mtl", 4}, {"AI", -1}, {"JF", -1}, {"", -1}};
  for (const auto& c : cases) {
    choice.value = c.value;
    choice.fillCombo();
    EXPECT_EQ(ui::comboGetCurSel(combo_), c.selected) << c.value;
    EXPECT_EQ(ui::comboItems(combo_), choice.choices);
  }
  choice.value = "aig";
  EXPECT_FALSE(choice.indexOfValue().has_value());  // byte for byte
  choice.value = "FSLTL";
  EXPECT_EQ(choice.indexOfValue(), 2u);
}

TEST_F(ComboTest, DynamicChoiceFollowsItsReplacedList) {
  DynamicChoiceOption stands("STAND_SELECTOR", "", std::make_shared<std::vector<std::string>>(1, ""), 32780, {});
  stands.window = combo_;
  stands.fillCombo();
  EXPECT_EQ(ui::comboItems(combo_), std::vector<std::string>{""});
  stands.choices = std::make_shared<std::vector<std::string>>(std::vector<std::string>{"A1", "A10", "B2"});
  stands.value = "A1";
  stands.fillCombo();
  EXPECT_EQ(ui::comboItems(combo_), (std::vector<std::string>{"A1", "A10", "B2"}));
  EXPECT_EQ(ui::comboGetCurSel(combo_), 0);
}

TEST_F(ComboTest, IntListSelectsOnlyAListedValue) {
  IntListOption tcas("TCAS_FL", 180, {100, 140, 180, 440}, 32780, {});
  tcas.window = combo_;
  tcas.fillCombo();
  EXPECT_EQ(ui::comboItems(combo_), (std::vector<std::string>{"100", "140", "180", "440"}));
  EXPECT_EQ(ui::comboGetCurSel(combo_), 2);
  tcas.value = 150;  // held to the limits but not listed
  tcas.fillCombo();
  EXPECT_EQ(ui::comboGetCurSel(combo_), -1);
  tcas.value = 440;
  tcas.selectInCombo();
  EXPECT_EQ(ui::comboGetCurSel(combo_), 3);
}

TEST_F(ComboTest, NoWindowNoWork) {
  ChoiceOption choice("C", "a", {"a"}, 1, {});
  IntListOption list("L", 1, {1}, 2, {});
  choice.fillCombo();  // window null
  list.fillCombo();
  choice.window = combo_;
  ui::resetForTest();  // the control is gone
  choice.fillCombo();
  SUCCEED();
}

}  // namespace
