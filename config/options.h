#pragma once
// Option objects: one program-wide object per setting, keyed by its name in parameters.xml.
// Options shown in the main window also carry their control (id, place, window handle).
// Values are written on the GUI thread and on the worker, so each is an atomic or a locked value
// that either side may read or replace at any time; other threads read the parameter snapshot
// instead. Options are never copied.
#include <pugixml.hpp>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/locked_value.h"
#include "platform/ui.h"

class Option {
 public:
  explicit Option(std::string optionName) : name(std::move(optionName)) {}
  Option(const Option&) = delete;
  Option& operator=(const Option&) = delete;
  virtual ~Option() = default;

  std::string name;  // the parameter key, or a button's caption
};

class IntOption : public Option {
 public:
  // The default is not checked against the limits.
  IntOption(std::string optionName, std::int32_t defaultInt, std::int32_t minimumInt, std::int32_t maximumInt)
      : Option(std::move(optionName)), defaultValue(defaultInt), minimum(minimumInt), maximum(maximumInt),
        value(defaultInt) {}

  std::int32_t clamped(std::int32_t candidate) const;
  void logValue() const;
  void appendDefault(pugi::xml_node parameters) const;
  void save() const;
  void setAndSave(std::int32_t newValue);  // held to minimum..maximum first
  // Held to minimum..maximum; neither saved nor shown.
  void setClamped(std::int32_t newValue) { value = clamped(newValue); }

  std::int32_t defaultValue;
  std::int32_t minimum;
  std::int32_t maximum;
  std::atomic<std::int32_t> value;
};

class BoolOption : public Option {
 public:
  BoolOption(std::string optionName, bool defaultBool)
      : Option(std::move(optionName)), defaultValue(defaultBool), value(defaultBool) {}

  // True when the parameter held a bool word; otherwise the default is taken.
  bool load(const pugi::xml_document& document);
  void logValue() const;
  void appendDefault(pugi::xml_node parameters) const;
  void save() const;

  bool defaultValue;
  std::atomic<bool> value;
};

class StringOption : public Option {
 public:
  StringOption(std::string optionName, std::string defaultText)
      : Option(std::move(optionName)), defaultValue(defaultText), value(std::move(defaultText)) {}

  bool load(const pugi::xml_document& document);
  void logValue() const;
  void appendDefault(pugi::xml_node parameters) const;
  void save() const;
  void setAndSave(std::string newValue);

  std::string defaultValue;
  LockedValue<std::string> value;
};

class PathOption : public Option {
 public:
  PathOption(std::string optionName, std::filesystem::path defaultPath)
      : Option(std::move(optionName)), defaultValue(defaultPath), value(std::move(defaultPath)) {}

  bool load(const pugi::xml_document& document);
  void logValue() const;
  void save() const;
  void setAndSave(std::filesystem::path newValue);

  std::filesystem::path defaultValue;
  LockedValue<std::filesystem::path> value;
};

// Where an option's control sits in the main window's client area, in 96-DPI units: the
// control at (x, y + dy), its painted label at (labelX, y).
struct ControlLayout {
  std::int32_t x = 0;
  std::int32_t labelX = 0;
  std::int32_t y = 0;
  std::int32_t dy = 0;
};

class GuiControl {
 public:
  GuiControl(std::uint32_t id, ControlLayout layout)
      : controlId(id), x(layout.x), labelX(layout.labelX), y(layout.y), dy(layout.dy) {}
  GuiControl(const GuiControl&) = delete;
  GuiControl& operator=(const GuiControl&) = delete;
  virtual ~GuiControl() = default;

  std::uint32_t controlId;  // child id and WM_COMMAND id, 32773..32843
  std::int32_t x;
  std::int32_t labelX;
  std::int32_t y;
  std::int32_t dy;
  ui::Hwnd window = ui::Hwnd::null;      // set by the main window when it creates the control
  ui::WndProc previousWndProc = nullptr;  // an edit control's own procedure, once subclassed
};

// A bool shown as a 14 x 14 check box that the main window paints itself.
class CheckboxOption : public BoolOption, public GuiControl {
 public:
  CheckboxOption(std::string optionName, bool defaultBool, std::uint32_t id, std::int32_t xPos,
                 std::int32_t labelXPos, std::int32_t yPos, std::int32_t dyPos)
      : BoolOption(std::move(optionName), defaultBool), GuiControl(id, {xPos, labelXPos, yPos, dyPos}) {}

  // The value and its check box; not saved.
  void setState(bool state);
};

// A push button captioned with the name; it holds no value and is never stored.
class ButtonOption : public Option, public GuiControl {
 public:
  ButtonOption(std::string caption, std::uint32_t id, std::int32_t xPos, std::int32_t labelXPos, std::int32_t yPos,
               std::int32_t dyPos)
      : Option(std::move(caption)), GuiControl(id, {xPos, labelXPos, yPos, dyPos}) {}
};

// A text option shown in a control (DESTINATION's edit field, the choice combo boxes).
class GuiStringOption : public StringOption, public GuiControl {
 public:
  GuiStringOption(std::string optionName, std::string defaultText, std::uint32_t id, ControlLayout layout)
      : StringOption(std::move(optionName), std::move(defaultText)), GuiControl(id, layout) {}
};

class ChoiceOption : public GuiStringOption {
 public:
  ChoiceOption(std::string optionName, std::string defaultText, std::vector<std::string> choiceList,
               std::uint32_t id, ControlLayout layout)
      : GuiStringOption(std::move(optionName), std::move(defaultText), id, layout), choices(std::move(choiceList)) {}

  // GUI thread. Fills the combo box and selects the entry equal to the value (letter case
  // aside); none when no entry is.
  void fillCombo() const;
  // The first choice equal byte for byte to the value.
  std::optional<std::size_t> indexOfValue() const;

  std::vector<std::string> choices;
};

using ChoiceList = std::shared_ptr<const std::vector<std::string>>;

// A selector whose list its owner replaces while the program runs (aircraft, stands): a new
// list is stored whole, never changed in place. Never stored in parameters.xml.
class DynamicChoiceOption : public GuiStringOption {
 public:
  // Throws std::invalid_argument when the list is null.
  DynamicChoiceOption(std::string optionName, std::string defaultText, ChoiceList choiceList, std::uint32_t id,
                      ControlLayout layout);

  void fillCombo() const;  // GUI thread; as ChoiceOption::fillCombo

  LockedValue<ChoiceList> choices;
};

// An int picked from a list; minimum and maximum are the list's smallest and largest entries.
class IntListOption : public IntOption, public GuiControl {
 public:
  // Throws std::invalid_argument when the list is empty.
  IntListOption(std::string optionName, std::int32_t defaultInt, std::vector<std::int32_t> valueList,
                std::uint32_t id, ControlLayout layout);

  // GUI thread. Selects the entry equal to the value, or nothing when the list lacks it.
  void fillCombo() const;
  void selectInCombo() const;
  // The entry at a combo box index; -1 (no selection) or past the end throws std::out_of_range.
  std::int32_t valueAt(int index) const;

  std::vector<std::int32_t> values;
};

class FloatOption : public Option {
 public:
  FloatOption(std::string optionName, float defaultFloat, float minimumFloat, float maximumFloat)
      : Option(std::move(optionName)), defaultValue(defaultFloat), minimum(minimumFloat), maximum(maximumFloat),
        value(defaultFloat) {}

  float defaultValue;
  float minimum;
  float maximum;
  std::atomic<float> value;
};

class FloatListOption : public FloatOption, public GuiControl {
 public:
  // Throws std::invalid_argument when the list is empty.
  FloatListOption(std::string optionName, float defaultFloat, std::vector<float> valueList, std::uint32_t id,
                  ControlLayout layout);

  float valueAt(int index) const;  // as IntListOption::valueAt

  std::vector<float> values;
};

std::out_of_range gf_makeOptionIndexError();

// Reading parameters.xml: the first <parameter> named exactly so (case-sensitive) under
// root/parameters, or under parameters directly when the file has no root.
std::optional<std::string> gf_readXmlParameterString(const pugi::xml_document& document, std::string_view name);
std::optional<bool> gf_readXmlParameterBool(const pugi::xml_document& document, std::string_view name);
std::optional<std::filesystem::path> gf_readXmlAttributePath(const pugi::xml_document& document,
                                                             std::string_view name);
// true/yes/on/1 and false/no/off/0, any case, blanks, tabs, CR and LF around ignored.
std::optional<bool> gf_attributeAsBool(std::string_view text);
// A decimal i32 filling the trimmed text, one leading "+" allowed.
std::optional<std::int32_t> gf_intAttribute(std::string_view text);

// save() logs the value line, then hands the option's name and value text to the
// single-parameter writer of parameters.xml. gf_readParameters installs gf_saveParameter here,
// so nothing reaches the file before it has been loaded once; until then save() only logs.
// Tests put their own writer, or null to write nothing.
using ParameterWriter = void (*)(std::string_view name, std::string_view valueText);
void gf_setParameterWriter(ParameterWriter writer);
// What save() does with a value given as its text: the value line logged, the text written.
void gf_saveParameterText(std::string_view name, std::string_view valueText);
