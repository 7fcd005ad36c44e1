#pragma once
// parameters.xml in the per-user folder: <root><parameters><parameter name=".." value=".."/>...
// Loaded once per run of the worker, then rewritten one parameter at a time. Every writer
// holds g_parametersMutex for its whole read-modify-save, and every save goes through the
// verified safe save (temporary file, re-parse, one kept generation ".bak", durable replace).
#include <pugixml.hpp>

#include <cstddef>
#include <filesystem>
#include <string>
#include <mutex>
#include <string_view>

class Option;

inline constexpr int g_parametersBannerWidth = 70;  // 80 less the length of "parameters"
// A parameters file beyond this is refused unread.
inline constexpr std::size_t kParametersFileMaxBytes = std::size_t{1} << 20;

// Every read of parameters.xml and of its kept generation goes through this one reader: a file
// past kParametersFileMaxBytes is refused before it is read whole, a document nested beyond
// reason after. Only a file that is not there counts as missing.
enum class ParametersLoadOutcome { loaded, notFound, openFailed, parseFailed };
struct ParametersLoadResult {
  ParametersLoadOutcome outcome = ParametersLoadOutcome::loaded;
  std::string description;  // why it failed
};
ParametersLoadResult gf_loadParametersDocument(const std::filesystem::path& path, pugi::xml_document& document);

extern std::mutex g_parametersMutex;  // plain: no writer calls another while holding it

// The start-up load. True when the options were set to their defaults (a new file, or one that
// could be neither read nor restored from its kept generation); false when a file was read.
// Installs the single-parameter writer into the options, so saves reach the file only after
// it has been loaded once.
bool gf_readParameters();

// A new file with every stored option at its default; the options take their defaults too.
void gf_writeDefaultParameters();

// The single-parameter writer behind BoolOption::save and its siblings: updates every
// <parameter> of that name, appending one when none is there. A missing file is created with
// that one parameter; a file that cannot be read or parsed is left alone and nothing is saved.
void gf_saveParameter(std::string_view name, std::string_view valueText);

// Removes the first <parameter> of the option's name; true when removed and saved.
bool gf_removeParameter(const Option& option);

// The safe save of parameters.xml (its target is always g_parametersPath). Takes
// g_parametersMutex itself.
bool gf_saveXmlSafely(pugi::xml_document& document);
// A save of parameters.xml failed this process (said on stderr the first time): settings were
// lost, and the run ends with a non-zero exit code. Tests reset it.
bool gf_parametersSaveFailed();
void gf_resetParametersSaveFailed();
