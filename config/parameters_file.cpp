#include "config/parameters_file.h"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config/keys.h"
#include "config/options.h"
#include "config/program_folders.h"
#include "config/xml_helpers.h"
#include "core/log.h"
#include "core/text.h"
#include "core/value_types.h"
#include "platform/os.h"
#include "platform/ui.h"

namespace fs = std::filesystem;

std::mutex g_parametersMutex;

namespace {

using LoadOutcome = ParametersLoadOutcome;
using LoadResult = ParametersLoadResult;

fs::path lf_withSuffix(const fs::path& path, std::string_view suffix) {
  fs::path result = path;
  result += std::string(suffix);
  return result;
}

pugi::xml_node lf_parametersNode(const pugi::xml_document& document) {
  pugi::xml_node root = document.child("root");
  return (root ? root : static_cast<pugi::xml_node>(document)).child("parameters");
}

// root/parameters for writing. A file with <parameters> at the top (no root) is read by the
// loader; here its section is moved under a new root so the file keeps one document element.
pugi::xml_node lf_parametersForWrite(pugi::xml_document& document) {
  pugi::xml_node root = document.child("root");
  if (!root) {
    root = document.append_child("root");
    if (!root) return {};
    if (pugi::xml_node loose = document.child("parameters")) return root.append_move(loose);
  }
  pugi::xml_node parameters = root.child("parameters");
  if (!parameters) parameters = root.append_child("parameters");
  return parameters;
}

pugi::xml_node lf_firstParameter(pugi::xml_node parameters, std::string_view name) {
  for (pugi::xml_node parameter : parameters.children("parameter"))
    if (name == parameter.attribute("name").value()) return parameter;
  return {};
}

// Parses as XML with a document element: what a save must leave behind, and what alone is
// worth keeping as the previous generation.
bool lf_isWellFormed(const fs::path& path) {
  pugi::xml_document check;
  return gf_loadParametersDocument(path, check).outcome == LoadOutcome::loaded;
}

std::atomic<bool> g_saveFailed{false};

// Settings that do not reach the disk are lost at the end of the run: said on stderr, once, with
// the system's reason, and the run's exit code says so (gf_parametersSaveFailed).
bool lf_saveFailed(const fs::path& target, const std::string& reason) {
  const std::string text = fmt::format("saving {} failed: {}", gf_pathToUtf8(target), reason);
  gf_logNoexcept(text);
  if (!g_saveFailed.exchange(true)) gf_sayFaultOnStderr(text);
  return false;
}

// The caller holds g_parametersMutex.
bool lf_saveXmlSafely(pugi::xml_document& document) {
  const fs::path target = g_parametersPath.get();
  const fs::path temporary = lf_withSuffix(target, ".tmp");
  const fs::path backup = lf_withSuffix(target, ".bak");
  std::error_code ignored;
  fs::remove(temporary, ignored);
  auto fail = [&](const std::string& reason) {
    fs::remove(temporary, ignored);
    return lf_saveFailed(target, reason);
  };
  errno = 0;
  if (!gf_saveXml(document, temporary)) return fail(os::errorText(errno ? errno : EIO));
  if (!lf_isWellFormed(temporary)) return fail("the written file does not read back");
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  if (error && status.type() != fs::file_type::not_found) return fail(error.message());
  if (fs::exists(status)) {
    if (lf_isWellFormed(target)) {
      // Through a temporary of its own, so a failed copy never leaves half a backup.
      const fs::path backupTemporary = lf_withSuffix(backup, ".tmp");
      if (!fs::copy_file(target, backupTemporary, fs::copy_options::overwrite_existing, error) ||
          !os::durableReplace(backupTemporary, backup, error)) {
        fs::remove(backupTemporary, ignored);
        return fail(error.message());
      }
    } else {
      gf_logNoexcept(fmt::format("{} is not valid XML and is not kept as {}", gf_pathToUtf8(target),
                                 gf_pathToUtf8(backup)));
    }
  }
  if (!os::durableReplace(temporary, target, error)) return fail(error.message());
  return true;
}

void lf_showCheck(const CheckboxOption& option) {
  if (ui::isWindow(option.window)) ui::setCheck(option.window, option.value);
}

// The combo boxes are drop-down lists: showing a value means selecting its entry.
void lf_showInGui(const IntListOption& option) { option.selectInCombo(); }

void lf_showInGui(const ChoiceOption& option) {
  if (!ui::isWindow(option.window)) return;
  const auto index = option.indexOfValue();
  ui::comboSetCurSel(option.window, index ? static_cast<int>(*index) : -1);
}

void lf_closingBanner() { gf_log(gf_bannerText(g_parametersBannerWidth, 10, false, true, "")); }

// The caller holds g_parametersMutex.
void lf_writeDefaultParameters() {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  PROGRAM_VERSION.defaultValue =
      gf_versionString(g_programVersion.major, g_programVersion.minor, g_programVersion.patch);
  pugi::xml_node parameters = root ? root.append_child("parameters") : pugi::xml_node();
  if (parameters) {
    for (BoolOption* option : g_boolOptions) {
      option->value = option->defaultValue;
      option->appendDefault(parameters);
    }
    for (CheckboxOption* option : g_checkboxOptions) {
      option->value = option->defaultValue;
      option->appendDefault(parameters);
      lf_showCheck(*option);
    }
    for (IntOption* option : g_intOptions) {
      option->value = option->defaultValue;
      option->appendDefault(parameters);
    }
    for (IntListOption* option : g_intListOptions) {
      option->value = option->defaultValue;
      option->appendDefault(parameters);
      lf_showInGui(*option);
    }
    for (StringOption* option : g_stringOptions) {
      option->value = option->defaultValue;
      option->appendDefault(parameters);
    }
    for (ChoiceOption* option : g_choiceOptions) {
      option->value = option->defaultValue;
      option->appendDefault(parameters);
      lf_showInGui(*option);
    }
    for (PathOption* option : g_pathOptions) {
      option->value = option->defaultValue;
      if (!gf_appendXmlPathParameter(parameters, option->name, option->defaultValue))
        gf_logNoexcept(fmt::format("{}adding xml parameter {} with {} failed!", "===> ", option->name,
                                   gf_pathToUtf8(option->defaultValue)));
      option->logValue();
    }
    if (!lf_saveXmlSafely(document))
      gf_logWarning(fmt::format("saving: {} failed", gf_pathToUtf8(g_parametersPath.get())));
  }
  lf_closingBanner();
}

// Sets the first parameter of the name to the text, appending one when there is none. For a
// parameter that is there but unreadable (an int written 12a), correcting it in place keeps
// the next load from finding the same bad text first and appending again.
void lf_putParameter(pugi::xml_node parameters, std::string_view name, std::string_view text) {
  if (pugi::xml_node existing = lf_firstParameter(parameters, name)) {
    pugi::xml_attribute value = existing.attribute("value");
    if (!value) value = existing.append_attribute("value");
    value.set_value(std::string(text).c_str());
    return;
  }
  pugi::xml_node parameter = parameters.append_child("parameter");
  gf_addXmlAttribute(parameter, "name", name);
  gf_addXmlAttribute(parameter, "value", text);
}

void lf_putBool(pugi::xml_node parameters, const BoolOption& option) {
  lf_putParameter(parameters, option.name, option.value ? "true" : "false");
}

void lf_loadInt(const pugi::xml_document& document, pugi::xml_node parameters, IntOption& option) {
  const auto read = gf_getIntParameter(document, option.name);
  option.value = read ? option.clamped(*read) : option.defaultValue;
  option.logValue();
  if (!read) lf_putParameter(parameters, option.name, std::to_string(option.value));
}

// Fills every option from the document and appends (or corrects) what was missing.
void lf_loadOptions(pugi::xml_document& document, pugi::xml_node parameters) {
  for (BoolOption* option : g_boolOptions)
    if (!option->load(document)) lf_putBool(parameters, *option);
  for (CheckboxOption* option : g_checkboxOptions) {
    if (!option->load(document)) lf_putBool(parameters, *option);
    lf_showCheck(*option);
  }
  for (IntOption* option : g_intOptions) lf_loadInt(document, parameters, *option);
  for (IntListOption* option : g_intListOptions) {
    lf_loadInt(document, parameters, *option);
    lf_showInGui(*option);
  }
  for (StringOption* option : g_stringOptions)
    if (!option->load(document)) lf_putParameter(parameters, option->name, option->value.load());
  for (ChoiceOption* option : g_choiceOptions) {
    if (!option->load(document)) lf_putParameter(parameters, option->name, option->value.load());
    lf_showInGui(*option);
  }
  for (PathOption* option : g_pathOptions) {
    if (option->load(document)) continue;
    if (pugi::xml_node existing = lf_firstParameter(parameters, option->name))
      gf_setXmlAttributePath(existing, "value", option->value);
    else
      gf_appendXmlPathParameter(parameters, option->name, option->value);
  }
}

// Sets the file aside as parameters.xml.corrupt; true when it is out of the way.
bool lf_setAsideCorrupt(const fs::path& path) {
  const fs::path corrupt = lf_withSuffix(path, ".corrupt");
  std::error_code error;
  fs::rename(path, corrupt, error);
  if (error) {
    gf_logWarning(fmt::format("{} could not be kept as {}: {}", gf_pathToUtf8(path), gf_pathToUtf8(corrupt),
                              error.message()));
    return false;
  }
  gf_log(fmt::format("the unreadable file is kept as {}", gf_pathToUtf8(corrupt)));
  return true;
}

}  // namespace

bool gf_readParameters() {
  std::lock_guard lock(g_parametersMutex);
  gf_setParameterWriter(&gf_saveParameter);
  gf_log(gf_bannerText(g_parametersBannerWidth, 0, true, false, "parameters"));
  const fs::path path = g_parametersPath.get();
  const std::string pathText = gf_pathToUtf8(path);

  pugi::xml_document document;
  const LoadResult result = gf_loadParametersDocument(path, document);
  std::string failure;  // the log line's cause when the file cannot be used
  switch (result.outcome) {
    case LoadOutcome::loaded:
      if (!lf_parametersNode(document))
        failure = fmt::format("Section '{}' not found in '{}'", "parameters", pathText);
      break;
    case LoadOutcome::notFound:
      gf_log(fmt::format("{} could not be opened, creating new with default values:", pathText));
      lf_writeDefaultParameters();
      return true;
    case LoadOutcome::openFailed:
      // Someone's settings that we cannot read now: keep the file, use the values in memory
      // and save nothing this run.
      gf_logWarning(fmt::format("{} could not be read: {}, keeping it and using the current values", pathText,
                                result.description));
      lf_closingBanner();
      return true;
    case LoadOutcome::parseFailed:
      failure = fmt::format("{} could not be loaded: {}", pathText, result.description);
      break;
  }

  fs::path source = path;
  bool mayWrite = true;
  if (!failure.empty()) {
    // The bad file goes aside and the kept generation, when it is sound, takes its place;
    // only then the defaults.
    mayWrite = lf_setAsideCorrupt(path);
    const fs::path backup = lf_withSuffix(path, ".bak");
    document.reset();
    if (gf_loadParametersDocument(backup, document).outcome != LoadOutcome::loaded || !lf_parametersNode(document)) {
      gf_logWarning(fmt::format("{}, creating new with default values:", failure));
      if (mayWrite) {
        lf_writeDefaultParameters();
      } else {
        lf_closingBanner();
      }
      return true;
    }
    gf_logWarning(fmt::format("{}, restoring from {}:", failure, gf_pathToUtf8(backup)));
    source = backup;
  }
  gf_log(fmt::format("from '{}'", gf_pathToUtf8(source)));

  pugi::xml_node parameters = lf_parametersForWrite(document);
  lf_loadOptions(document, parameters);
  if (mayWrite) lf_saveXmlSafely(document);
  lf_closingBanner();
  return false;
}

void gf_writeDefaultParameters() {
  std::lock_guard lock(g_parametersMutex);
  lf_writeDefaultParameters();
}

void gf_saveParameter(std::string_view name, std::string_view valueText) {
  std::lock_guard lock(g_parametersMutex);
  const fs::path path = g_parametersPath.get();
  const std::string pathText = gf_pathToUtf8(path);
  pugi::xml_document document;
  const LoadResult result = gf_loadParametersDocument(path, document);
  if (result.outcome == LoadOutcome::openFailed || result.outcome == LoadOutcome::parseFailed) {
    // Saving now would replace every other setting by this one.
    gf_logNoexcept(fmt::format("{} could not be loaded: {}", pathText, result.description));
    gf_logNoexcept(fmt::format("saving '{}' failed", pathText));
    return;
  }
  pugi::xml_node parameters = lf_parametersForWrite(document);
  if (!parameters) {
    gf_logNoexcept(fmt::format("adding XML parameter '{}' failed", name));
    return;
  }
  bool matched = false;
  for (pugi::xml_node parameter : parameters.children("parameter")) {
    if (name != parameter.attribute("name").value()) continue;
    matched = true;
    pugi::xml_attribute value = parameter.attribute("value");
    if (!value) value = parameter.append_attribute("value");
    if (!value || !value.set_value(std::string(valueText).c_str()))
      gf_logNoexcept(fmt::format("updating XML parameter '{}' failed", name));
  }
  if (!matched) {
    pugi::xml_node parameter = parameters.append_child("parameter");
    if (!parameter || !gf_appendXmlAttribute(parameter, "name", name) ||
        !gf_appendXmlAttribute(parameter, "value", valueText))
      gf_logNoexcept(fmt::format("adding XML parameter '{}' failed", name));
  }
  if (!lf_saveXmlSafely(document)) gf_logNoexcept(fmt::format("saving '{}' failed", pathText));
}

bool gf_removeParameter(const Option& option) {
  std::lock_guard lock(g_parametersMutex);
  const fs::path path = g_parametersPath.get();
  const std::string pathText = gf_pathToUtf8(path);
  pugi::xml_document document;
  const LoadResult result = gf_loadParametersDocument(path, document);
  if (result.outcome == LoadOutcome::notFound) return false;
  if (result.outcome != LoadOutcome::loaded) {
    gf_logNoexcept(fmt::format("{} could not be loaded: {}", pathText, result.description));
    return false;
  }
  pugi::xml_node root = document.child("root");
  if (!root) {
    gf_logNoexcept(fmt::format("{} missing in {}", "root", pathText));
    return false;
  }
  pugi::xml_node parameters = root.child("parameters");
  if (!parameters) {
    gf_logNoexcept(fmt::format("Section {} missing in {}", "parameters", pathText));
    return false;
  }
  pugi::xml_node parameter = lf_firstParameter(parameters, option.name);
  if (!parameter) return false;
  parameters.remove_child(parameter);
  gf_logNoexcept(fmt::format("Parameter '{}' removed", option.name));
  return lf_saveXmlSafely(document);
}

bool gf_saveXmlSafely(pugi::xml_document& document) {
  std::lock_guard lock(g_parametersMutex);
  return lf_saveXmlSafely(document);
}

bool gf_parametersSaveFailed() { return g_saveFailed.load(); }
void gf_resetParametersSaveFailed() { g_saveFailed = false; }

// Only a file that is not there counts as missing; a file that is there but cannot be read is
// someone's settings, and must not be replaced by a fresh one.
ParametersLoadResult gf_loadParametersDocument(const fs::path& path, pugi::xml_document& document) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) return {LoadOutcome::notFound, {}};
  if (error) return {LoadOutcome::openFailed, error.message()};
  // A folder or device where the file belongs is damage like a broken text: the .bak may help.
  if (status.type() != fs::file_type::regular) return {LoadOutcome::parseFailed, "not a regular file"};
  const auto tooLarge = [] {
    return ParametersLoadResult{LoadOutcome::parseFailed, fmt::format("larger than {} bytes", kParametersFileMaxBytes)};
  };
  if (const std::uintmax_t size = fs::file_size(path, error); !error && size > kParametersFileMaxBytes) return tooLarge();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int code = errno;
    if (code == ENOENT) return {LoadOutcome::notFound, {}};
    return {LoadOutcome::openFailed, os::errorText(code)};
  }
  // Settings never come near the limit; a file past it is damage, refused before it is read
  // whole and built into memory (a deep one takes many times its size there).
  std::string bytes(kParametersFileMaxBytes + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return {LoadOutcome::openFailed, "read error"};
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  // The size may have changed since it was asked: the read itself stops past the limit.
  if (bytes.size() > kParametersFileMaxBytes) return tooLarge();
  const pugi::xml_parse_result parsed = document.load_buffer(bytes.data(), bytes.size());
  if (std::string problem = gf_xmlLoadProblem(parsed, document); !problem.empty())
    return {LoadOutcome::parseFailed, std::move(problem)};
  if (!document.document_element()) return {LoadOutcome::parseFailed, "No document element found"};
  return {};
}
