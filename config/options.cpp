#include "config/options.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <exception>

#include "core/log.h"
#include "core/text.h"

namespace {

std::atomic<ParameterWriter> g_parameterWriter{nullptr};

void lf_writeParameter(std::string_view name, std::string_view valueText) {
  if (ParameterWriter writer = g_parameterWriter.load()) writer(name, valueText);
}

std::string_view lf_boolText(bool value) { return value ? "true" : "false"; }

bool lf_equalNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// The combo box shows the entry that is the value. A byte-equal entry wins; else one that
// differs only in letter case (a hand-edited file). A mere prefix is no match: "AIG" must not
// select "AIG, FSLTL, JF, MTL".
int lf_entryIndex(const std::vector<std::string>& entries, std::string_view value) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i] == value) return static_cast<int>(i);
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (lf_equalNoCase(entries[i], value)) return static_cast<int>(i);
  return -1;
}

void lf_fillTextCombo(ui::Hwnd combo, const std::vector<std::string>& entries, std::string_view value) {
  if (!ui::isWindow(combo)) return;
  ui::comboResetContent(combo);
  for (const auto& entry : entries) ui::comboAddString(combo, entry);
  ui::comboSetCurSel(combo, lf_entryIndex(entries, value));
}

pugi::xml_node lf_parametersNode(const pugi::xml_document& document) {
  pugi::xml_node root = document.child("root");
  return (root ? root : static_cast<pugi::xml_node>(document)).child("parameters");
}

void lf_appendParameter(pugi::xml_node parameters, std::string_view name, std::string_view valueText) {
  pugi::xml_node element = parameters.append_child("parameter");
  bool appended = false;
  if (element) {
    pugi::xml_attribute nameAttribute = element.append_attribute("name");
    pugi::xml_attribute valueAttribute = element.append_attribute("value");
    appended = nameAttribute && valueAttribute && nameAttribute.set_value(std::string(name).c_str()) &&
               valueAttribute.set_value(std::string(valueText).c_str());
  }
  if (!appended)
    gf_logNoexcept(fmt::format("{}adding xml parameter {} with {} failed!", "===> ", name, valueText));
}

template <typename T>
T lf_smallest(const std::vector<T>& values) {
  if (values.empty()) throw std::invalid_argument("configuration option list cannot be empty");
  return *std::min_element(values.begin(), values.end());
}

template <typename T>
T lf_largest(const std::vector<T>& values) {
  if (values.empty()) throw std::invalid_argument("configuration option list cannot be empty");
  return *std::max_element(values.begin(), values.end());
}

template <typename T>
T lf_entryAt(const std::vector<T>& values, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= values.size()) throw gf_makeOptionIndexError();
  return values[static_cast<std::size_t>(index)];
}

}  // namespace

// --- reading parameters.xml ---

std::optional<std::string> gf_readXmlParameterString(const pugi::xml_document& document, std::string_view name) {
  for (pugi::xml_node parameter : lf_parametersNode(document).children("parameter")) {
    if (name != parameter.attribute("name").value()) continue;
    pugi::xml_attribute value = parameter.attribute("value");
    if (!value) return std::nullopt;
    return std::string(value.value());
  }
  return std::nullopt;
}

std::optional<bool> gf_attributeAsBool(std::string_view text) {
  std::string word = gf_trim(text);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "true" || word == "yes" || word == "on" || word == "1") return true;
  if (word == "false" || word == "no" || word == "off" || word == "0") return false;
  return std::nullopt;
}

std::optional<bool> gf_readXmlParameterBool(const pugi::xml_document& document, std::string_view name) {
  auto text = gf_readXmlParameterString(document, name);
  if (!text) return std::nullopt;
  return gf_attributeAsBool(*text);
}

std::optional<std::filesystem::path> gf_readXmlAttributePath(const pugi::xml_document& document,
                                                             std::string_view name) {
  auto text = gf_readXmlParameterString(document, name);
  if (!text) return std::nullopt;
  try {
    return std::filesystem::path(utf8_to_wide(*text));
  } catch (const std::exception&) {
    return std::nullopt;  // not UTF-8: as good as missing
  }
}

std::optional<std::int32_t> gf_intAttribute(std::string_view text) {
  std::string trimmed = gf_trim(text);
  std::string_view digits = trimmed;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.front() == '+') return std::nullopt;
  std::int32_t value = 0;
  const char* end = digits.data() + digits.size();
  auto [ptr, ec] = std::from_chars(digits.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// --- saving: the writer of parameters.xml plugs in ---

void gf_setParameterWriter(ParameterWriter writer) { g_parameterWriter.store(writer); }

void gf_saveParameterText(std::string_view name, std::string_view valueText) {
  gf_logNoexcept(fmt::format("{}={}", name, valueText));
  lf_writeParameter(name, valueText);
}

// --- IntOption ---

std::int32_t IntOption::clamped(std::int32_t candidate) const {
  return std::max(minimum, std::min(maximum, candidate));
}

void IntOption::logValue() const { gf_logNoexcept(fmt::format("{}={}", name, value.load())); }

void IntOption::appendDefault(pugi::xml_node parameters) const {
  lf_appendParameter(parameters, name, std::to_string(defaultValue));
  logValue();
}

void IntOption::save() const { gf_saveParameterText(name, std::to_string(value.load())); }

void IntOption::setAndSave(std::int32_t newValue) {
  value = clamped(newValue);
  save();
}

// --- BoolOption ---

bool BoolOption::load(const pugi::xml_document& document) {
  const auto read = gf_readXmlParameterBool(document, name);
  value = read.value_or(defaultValue);
  logValue();
  return read.has_value();
}

void BoolOption::logValue() const { gf_logNoexcept(fmt::format("{}={}", name, lf_boolText(value))); }

void BoolOption::appendDefault(pugi::xml_node parameters) const {
  lf_appendParameter(parameters, name, lf_boolText(defaultValue));
  logValue();
}

void BoolOption::save() const { gf_saveParameterText(name, lf_boolText(value.load())); }

// --- StringOption ---

bool StringOption::load(const pugi::xml_document& document) {
  auto read = gf_readXmlParameterString(document, name);
  const bool found = read.has_value();
  value = found ? std::move(*read) : defaultValue;
  logValue();
  return found;
}

void StringOption::logValue() const { gf_logNoexcept(fmt::format("{}=\"{}\"", name, value.load())); }

void StringOption::appendDefault(pugi::xml_node parameters) const {
  lf_appendParameter(parameters, name, defaultValue);
  logValue();
}

void StringOption::save() const {
  const std::string current = value;
  gf_logNoexcept(fmt::format("{}=\"{}\"", name, current));
  lf_writeParameter(name, current);
}

void StringOption::setAndSave(std::string newValue) {
  value = std::move(newValue);
  save();
}

// --- PathOption ---

bool PathOption::load(const pugi::xml_document& document) {
  auto read = gf_readXmlAttributePath(document, name);
  const bool found = read.has_value();
  value = found ? std::move(*read) : defaultValue;
  logValue();
  return found;
}

void PathOption::logValue() const { gf_logNoexcept(fmt::format("{}=\"{}\"", name, value.load().string())); }

void PathOption::save() const {
  const std::filesystem::path current = value;
  gf_logNoexcept(fmt::format("{}=\"{}\"", name, current.string()));
  lf_writeParameter(name, gf_pathToUtf8(current));
}

void PathOption::setAndSave(std::filesystem::path newValue) {
  value = std::move(newValue);
  save();
}

void CheckboxOption::setState(bool state) {
  value = state;
  if (ui::isWindow(window)) ui::setCheck(window, state);
}

// --- choices ---

void ChoiceOption::fillCombo() const { lf_fillTextCombo(window, choices, value.load()); }

std::optional<std::size_t> ChoiceOption::indexOfValue() const {
  auto it = std::find(choices.begin(), choices.end(), value.load());
  if (it == choices.end()) return std::nullopt;
  return static_cast<std::size_t>(it - choices.begin());
}

DynamicChoiceOption::DynamicChoiceOption(std::string optionName, std::string defaultText, ChoiceList choiceList,
                                         std::uint32_t id, ControlLayout layout)
    : GuiStringOption(std::move(optionName), std::move(defaultText), id, layout), choices(std::move(choiceList)) {
  if (!choices.load()) throw std::invalid_argument("dynamic configuration option list cannot be null");
}

void DynamicChoiceOption::fillCombo() const {
  // Our own reference to the list: its owner may store a new one meanwhile.
  const ChoiceList list = choices;
  lf_fillTextCombo(window, *list, value.load());
}

// --- lists ---

IntListOption::IntListOption(std::string optionName, std::int32_t defaultInt, std::vector<std::int32_t> valueList,
                             std::uint32_t id, ControlLayout layout)
    : IntOption(std::move(optionName), defaultInt, lf_smallest(valueList), lf_largest(valueList)),
      GuiControl(id, layout),
      values(std::move(valueList)) {}

void IntListOption::fillCombo() const {
  if (!ui::isWindow(window)) return;
  ui::comboResetContent(window);
  for (std::int32_t entry : values) ui::comboAddString(window, std::to_string(entry));
  selectInCombo();
}

void IntListOption::selectInCombo() const {
  if (!ui::isWindow(window)) return;
  auto it = std::find(values.begin(), values.end(), value.load());
  if (it != values.end()) ui::comboSetCurSel(window, static_cast<int>(it - values.begin()));
}

std::int32_t IntListOption::valueAt(int index) const { return lf_entryAt(values, index); }

FloatListOption::FloatListOption(std::string optionName, float defaultFloat, std::vector<float> valueList,
                                 std::uint32_t id, ControlLayout layout)
    : FloatOption(std::move(optionName), defaultFloat, lf_smallest(valueList), lf_largest(valueList)),
      GuiControl(id, layout),
      values(std::move(valueList)) {}

float FloatListOption::valueAt(int index) const { return lf_entryAt(values, index); }

std::out_of_range gf_makeOptionIndexError() {
  return std::out_of_range("configuration option index is out of range");
}
