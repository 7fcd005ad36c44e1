// parameters.xml: the input is the file as the start-up finds it, with a sound kept generation
// (.bak) beside it when the input's size is even and none when odd. After the load the file
// is sound XML holding the options' values, and a single-parameter save lands in it.
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "config/keys.h"
#include "config/options.h"
#include "config/parameters_file.h"
#include "config/program_folders.h"
#include "tests/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kKeptGeneration =
    "<?xml version=\"1.0\"?>\n<root><parameters><parameter name=\"PORT_NUMBER\" value=\"10811\" />"
    "</parameters></root>\n";

const fs::path& lf_folder() {
  static const fs::path folder = [] {
    const fs::path appData = fuzz::tempFolder() / "appdata";
    ::setenv("JORV_APPDATA", appData.c_str(), 1);
    gf_resetProgramFolders();
    const fs::path file = g_parametersPath.get();
    fs::create_directories(file.parent_path());
    return file.parent_path();
  }();
  return folder;
}

void lf_resetOptions() {
  PROGRAM_VERSION.defaultValue = "";
  for (auto* option : g_boolOptions) option->value = option->defaultValue;
  for (auto* option : g_checkboxOptions) option->value = option->defaultValue;
  for (auto* option : g_intOptions) option->value = option->defaultValue;
  for (auto* option : g_intListOptions) option->value = option->defaultValue;
  for (auto* option : g_stringOptions) option->value = option->defaultValue;
  for (auto* option : g_choiceOptions) option->value = option->defaultValue;
  for (auto* option : g_pathOptions) option->value = option->defaultValue;
}

// What the folder holds, for the report of a broken promise about the file.
void lf_require(bool condition, const char* promise, const fs::path& folder) {
  if (!condition)
    for (const auto& entry : fs::directory_iterator(folder))
      std::fprintf(stderr, "%s: %ju bytes\n", entry.path().c_str(), static_cast<std::uintmax_t>(entry.file_size()));
  fuzz::require(condition, promise);
}

bool lf_holdsLimits(const IntOption& option) {
  return option.value == option.defaultValue || (option.value >= option.minimum && option.value <= option.maximum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& folder = lf_folder();
  // Listed first, then removed: a folder changed while it is read may hide an entry.
  std::vector<fs::path> leftovers;
  for (const auto& entry : fs::directory_iterator(folder)) leftovers.push_back(entry.path());
  std::error_code ignored;
  for (const auto& leftover : leftovers) fs::remove_all(leftover, ignored);
  const fs::path file = g_parametersPath.get();
  fuzz::writeFile(file, fuzz::text(data, size));
  if (size % 2 == 0) fuzz::writeFile(folder / "parameters.xml.bak", kKeptGeneration);
  lf_resetOptions();

  gf_readParameters();
  for (const auto* option : g_intOptions) fuzz::require(lf_holdsLimits(*option), "an int option holds its limits");
  for (const auto* option : g_intListOptions) fuzz::require(lf_holdsLimits(*option), "an int option holds its limits");
  pugi::xml_document document;
  lf_require(static_cast<bool>(document.load_file(file.c_str())), "the loaded file is sound XML", folder);
  lf_require(static_cast<bool>(document.child("root").child("parameters")), "the loaded file has its section", folder);

  gf_saveParameter("PORT_NUMBER", "10812");
  document.reset();
  lf_require(static_cast<bool>(document.load_file(file.c_str())), "a saved file is sound XML", folder);
  bool saved = false;
  for (const auto parameter : document.child("root").child("parameters").children("parameter"))
    saved = saved || (std::string_view(parameter.attribute("name").value()) == "PORT_NUMBER" &&
                      std::string_view(parameter.attribute("value").value()) == "10812");
  lf_require(saved, "a saved parameter is in the file", folder);
  gf_setParameterWriter(nullptr);
  return 0;
}
