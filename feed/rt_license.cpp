#include "feed/rt_license.h"

#include <fmt/format.h>

#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "config/program_folders.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "core/user_exception.h"
#include "platform/os.h"

std::string g_rtCredential;

namespace {

namespace fs = std::filesystem;

std::mutex g_promptMutex;
TextPrompt g_prompt;
ui::Hwnd g_promptOwner = ui::Hwnd::null;

// The program's own file lives in its working folder.
fs::path lf_programLicenseFile() { return g_realTrafficLicName; }

}  // namespace

void gf_setLicensePrompt(TextPrompt prompt, ui::Hwnd owner) {
  std::lock_guard lock(g_promptMutex);
  g_prompt = std::move(prompt);
  g_promptOwner = owner;
}

bool gf_isLicensePlaceholder(std::string_view value) {
  return value == kLicensePlaceholder || value == kTokenPlaceholder;
}

std::string gf_readLicenseFile(const fs::path& path) {
  const std::string shown = path.string();
  try {
    const os::SmallFile file = os::readSmallRegularFile(path, kLicenseFileMaxBytes);
    if (file.outcome == os::SmallFileOutcome::notRegular || file.outcome == os::SmallFileOutcome::tooLarge) {
      gf_log(fmt::format("No license found in '{}'. Problem: {}", shown,
                         file.outcome == os::SmallFileOutcome::notRegular
                             ? std::string("not a regular file")
                             : fmt::format("larger than {} bytes", kLicenseFileMaxBytes)));
      return {};
    }
    if (file.outcome != os::SmallFileOutcome::read) {
      gf_log(fmt::format("Could not open '{}'. {}", shown, os::errorText(file.error)));
      return {};
    }
    std::istringstream in(file.bytes);
    std::vector<std::string> lines;
    gf_readLines(in, lines);
    if (lines.empty()) {
      gf_log(fmt::format("No license found in '{}'. File is empty.", shown));
      return {};
    }
    std::string joined;
    for (const std::string& line : lines) joined += line;
    const nlohmann::json document = nlohmann::json::parse(joined);
    if (!document.is_object()) {
      gf_log(fmt::format("No license found in '{}'. Problem: JSON root is not an object", shown));
      return {};
    }
    const auto license = document.find("License");
    if (license == document.end() || !license->is_string()) {
      gf_log(fmt::format("No license found in '{}'. Problem: Missing or invalid 'License' field", shown));
      return {};
    }
    std::string value = license->get<std::string>();
    if (value.empty()) {
      gf_log(fmt::format("No license found in '{}'. Problem: Empty 'License' value", shown));
      return {};
    }
    return value;
  } catch (const std::exception& e) {
    gf_log(fmt::format("No license found in '{}'. Problem: {}", shown, gf_escapedText(e.what())));
    return {};
  }
}

bool gf_writeLicenseFile(const std::string& value) {
  const nlohmann::json license = value.empty() ? std::string(kTokenPlaceholder) : value;
  // Exactly {"License":...,"Name":"unknown"}: members in this order, compact, no line end.
  const std::string text = fmt::format("{{\"License\":{},\"Name\":\"unknown\"}}",
                                       license.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  return gf_writePrivateStringToFile(text, lf_programLicenseFile());
}

std::optional<std::string> gf_licenseTokenDialog(ui::Hwnd owner) {
  TextPrompt prompt;
  {
    std::lock_guard lock(g_promptMutex);
    prompt = g_prompt;
  }
  if (!prompt) return std::nullopt;  // no window layer: nobody to ask
  const TextPromptRequest request;
  std::optional<std::string> typed = prompt(owner, request);
  if (!typed || typed->empty()) return std::nullopt;
  return typed;
}

void gf_readRTLicenseOrToken() {
  g_rtCredential.clear();
  const fs::path appData = gf_appDataFolder();
  const fs::path appFile = appData.empty() ? fs::path() : appData / g_realTrafficAppFolderName / g_realTrafficLicName;
  const fs::path ownFile = lf_programLicenseFile();
  ui::Hwnd owner;
  {
    std::lock_guard lock(g_promptMutex);
    owner = g_promptOwner;
  }

  for (int candidate = 1; candidate <= 2; ++candidate) {
    const fs::path& path = candidate == 1 ? appFile : ownFile;
    if (path.empty()) continue;  // no roaming folder known
    bool present = fs::exists(path);  // a failing status query throws
    if (candidate == 2 && !present) {
      if (!gf_writeLicenseFile({})) continue;
      present = true;
    }
    std::string value = present ? gf_readLicenseFile(path) : std::string();
    if (candidate == 2 && (value.empty() || gf_isLicensePlaceholder(value))) {
      if (auto typed = gf_licenseTokenDialog(owner); typed && gf_writeLicenseFile(*typed)) value = std::move(*typed);
    }
    if (value.empty() || gf_isLicensePlaceholder(value)) continue;
    g_rtCredential = std::move(value);
    const bool token = g_rtCredential.size() >= 3 && g_rtCredential.starts_with("rt_");
    if (token) {
      gf_log(fmt::format("Your RealTraffic API-token was taken from '{}'", path.string()));
    } else {
      gf_log(fmt::format("Your RealTraffic license was taken from '{}'", path.string()));
    }
    return;
  }
  const fs::path place = !appFile.empty() && fs::exists(appFile) ? appFile : fs::path("JORV") / g_realTrafficLicName;
  throw jrv::UserRelatedException(
      899, fmt::format("No valid RT license / API-token found. Place your new license in '{}'.", place.string()));
}
