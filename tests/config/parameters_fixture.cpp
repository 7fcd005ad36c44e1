#include "tests/config/parameters_fixture.h"

#include <pugixml.hpp>

#include <cstdlib>

#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/random.h"
#include "config/sim_choice.h"
#include "core/log.h"

namespace params_test {

void resetOptions() {
  PROGRAM_VERSION.defaultValue = "";
  for (auto* option : g_boolOptions) option->value = option->defaultValue;
  for (auto* option : g_checkboxOptions) option->value = option->defaultValue;
  for (auto* option : g_intOptions) option->value = option->defaultValue;
  for (auto* option : g_intListOptions) option->value = option->defaultValue;
  for (auto* option : g_stringOptions) option->value = option->defaultValue;
  for (auto* option : g_choiceOptions) option->value = option->defaultValue;
  for (auto* option : g_pathOptions) option->value = option->defaultValue;
  MAX_FIT_FL.value = MAX_FIT_FL.defaultValue;
}

std::vector<std::pair<std::string, std::string>> parametersIn(const std::filesystem::path& file) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_file(file.c_str())) << file;
  std::vector<std::pair<std::string, std::string>> found;
  for (pugi::xml_node parameter : document.child("root").child("parameters").children("parameter"))
    found.emplace_back(parameter.attribute("name").value(), parameter.attribute("value").value());
  return found;
}

std::string parameterXml(const std::vector<std::pair<std::string, std::string>>& parameters) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n";
  for (const auto& [name, value] : parameters)
    xml += "    <parameter name=\"" + name + "\" value=\"" + value + "\" />\n";
  return xml + "  </parameters>\n</root>\n";
}

std::string valueOf(const std::vector<std::pair<std::string, std::string>>& parameters, const std::string& name) {
  for (const auto& [key, value] : parameters)
    if (key == name) return value;
  return "<missing>";
}

std::vector<std::string> storedNames() {
  std::vector<std::string> names;
  for (auto* o : g_boolOptions) names.push_back(o->name);
  for (auto* o : g_checkboxOptions) names.push_back(o->name);
  for (auto* o : g_intOptions) names.push_back(o->name);
  for (auto* o : g_intListOptions) names.push_back(o->name);
  for (auto* o : g_stringOptions) names.push_back(o->name);
  for (auto* o : g_choiceOptions) names.push_back(o->name);
  for (auto* o : g_pathOptions) names.push_back(o->name);
  return names;
}

void LoggedTest::SetUp() { gf_openLog(); }

void LoggedTest::TearDown() {
  gf_closeLog();
  gf_setParameterWriter(nullptr);
}

std::string LoggedTest::log() {
  gf_flushLog();
  return testing_support::readFile(dir_.path() / "Log.txt");
}

void ParametersTest::SetUp() {
  ::setenv("JORV_APPDATA", (dir_.path() / "appdata").c_str(), 1);
  gf_resetProgramFolders();
  folder_ = dir_.path() / "appdata" / "JORV";
  std::filesystem::create_directories(folder_);
  resetOptions();
  gf_resetParameterSnapshot();
  gf_publishSimChoice(SimChoice{});
  LoggedTest::SetUp();
}

void ParametersTest::TearDown() {
  LoggedTest::TearDown();
  resetOptions();
  gf_resetParameterSnapshot();
  gf_publishSimChoice(SimChoice{});
  ::unsetenv("JORV_APPDATA");
  gf_resetProgramFolders();
}

}  // namespace params_test
