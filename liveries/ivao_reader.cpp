#include "liveries/ivao_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <system_error>

#include "core/log.h"
#include "core/text.h"
#include "liveries/cfg_keys.h"
#include "liveries/cfg_reader.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_reports.h"
#include "refdata/registration.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxRegistrationLength = 12;
// Their titles carry a "W" right behind the model code.
constexpr std::array<std::string_view, 5> kWingletFolders{"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM",
                                                          "IVAO_A320wIAE", "IVAO_A319fIAEw"};

constexpr bool lf_isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
constexpr bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool lf_hasLineEnd(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool lf_endsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && lf_equalsNoCase(text.substr(text.size() - tail.size()), tail);
}

void lf_readIvaoRegistration(const std::string& value, const std::string& title, std::string& registration) {
  const std::vector<std::string> pieces = gf_splitAtComma(value);
  const bool invalid = pieces.empty() || std::any_of(pieces.begin(), pieces.end(), [](const std::string& piece) {
                         return piece.size() > kMaxRegistrationLength || piece.find('*') != std::string::npos;
                       });
  if (invalid)
    lf_reportIncompleteSection(fmt::format("invalid atc_id={} in {}", value, title));
  else if (pieces.size() == 1)
    registration = pieces.front();
}

std::vector<Livery> lf_ivaoLiveriesOf(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                      const std::string& model, const fs::path& path) {
  if (!lf_enumerateFltsimSections(lines, gf_pathToUtf8(path))) return {};
  return lf_processIvaoFltSimSections(sourceIndex, lines, model, path);
}

}  // namespace

std::optional<std::string> lf_ivaoModelFolder(std::string_view path) {
  constexpr std::string_view kFile = "/aircraft.cfg";
  if (!lf_endsWithNoCase(path, kFile)) return std::nullopt;
  path.remove_suffix(kFile.size());
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view folder = path.substr(slash + 1);
  constexpr std::string_view kPrefix = "IVAO_";
  if (folder.size() <= kPrefix.size() || !lf_equalsNoCase(folder.substr(0, kPrefix.size()), kPrefix) ||
      !std::all_of(folder.begin() + kPrefix.size(), folder.end(), lf_isWordChar))
    return std::nullopt;
  const std::string_view above = path.substr(0, slash);
  for (const std::string_view set : {"/IVAO_MTL/SimObjects/Airplanes", "/ivao_x-csl/SimObjects/Airplanes"}) {
    // Something must stand in front of the set's folder, on the same line.
    if (above.size() > set.size() && lf_endsWithNoCase(above, set) &&
        !lf_hasLineEnd(above.substr(0, above.size() - set.size())))
      return std::string(folder.substr(kPrefix.size()));
  }
  return std::nullopt;
}

std::optional<std::string> lf_ivaoTitleAirline(std::string_view title, std::string_view model, bool winglets) {
  if (title.size() < model.size() || !lf_equalsNoCase(title.substr(0, model.size()), model)) return std::nullopt;
  std::size_t i = model.size();
  if (winglets) {
    if (i == title.size() || (title[i] != 'W' && title[i] != 'w')) return std::nullopt;
    ++i;
  }
  while (i < title.size() && lf_isBlank(title[i])) ++i;
  if (title.size() - i < 3 || !std::all_of(title.begin() + static_cast<std::ptrdiff_t>(i),
                                           title.begin() + static_cast<std::ptrdiff_t>(i + 3), lf_isWordChar))
    return std::nullopt;
  if (lf_hasLineEnd(title.substr(i + 3))) return std::nullopt;
  return std::string(title.substr(i, 3));
}

std::string lf_fixIvaoModel(const fs::path& path) {
  const std::string pathText = gf_pathToUtf8(path);
  std::string slashed = pathText;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const auto folder = lf_ivaoModelFolder(slashed);
  if (!folder) {
    lf_reportInvalidModelCode("  ", pathText);
    return {};
  }
  return lf_checkedModelCode(folder->substr(0, 4), pathText);
}

std::vector<Livery> lf_searchLiveriesinIVAOFile(std::uint32_t sourceIndex, const fs::path& path) {
  try {
    const std::string model = lf_fixIvaoModel(path);
    if (model.empty()) return {};
    std::vector<std::string> lines;
    if (!lf_readCfgLines(path, lines, true)) return {};
    return lf_ivaoLiveriesOf(sourceIndex, lines, model, path);
  } catch (const std::exception& e) {
    gf_log(fmt::format("! Exception in lf_searchLiveriesinIVAOFile {}: {}", gf_pathToUtf8(path),
                       gf_escapedText(e.what())));
    throw;
  }
}

std::vector<Livery> lf_liveriesFromIvaoLines(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                             const fs::path& path) {
  const std::string model = lf_fixIvaoModel(path);
  if (model.empty()) return {};
  return lf_ivaoLiveriesOf(sourceIndex, lines, model, path);
}

std::vector<Livery> lf_processIvaoFltSimSections(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                                 std::string_view model, const fs::path& path) {
  std::vector<Livery> liveries;
  std::size_t start = 0;
  bool inSection = false;
  auto process = [&](std::size_t end) {
    if (!inSection || end == start) return;
    Livery livery = lf_procesIvaoFltSimSection(sourceIndex, lines.subspan(start, end - start), model, path);
    if (!gf_liveryIncomplete(livery)) liveries.push_back(std::move(livery));
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lf_readFltsimHeader(lines[i]).empty()) {
      process(i);
      start = i;
      inSection = true;
    } else if (lines[i].find('[') != std::string::npos) {
      process(i);
      inSection = false;
    }
  }
  process(lines.size());
  return liveries;
}

Livery lf_procesIvaoFltSimSection(std::uint32_t sourceIndex, std::span<const std::string> section,
                                  std::string_view model, const fs::path& path) {
  if (section.empty()) return {};
  const std::string pathText = gf_pathToUtf8(path);
  const std::string folder = lf_folderText(path);
  const bool winglets = std::any_of(kWingletFolders.begin(), kWingletFolders.end(), [&](std::string_view name) {
    return folder.find(name) != std::string::npos;
  });
  section = lf_withoutTrailingComments(section);
  const std::string& header = section.front();

  std::string title, parkingTypes, registration, texture;
  for (const std::string& line : section) {
    std::string value;
    if (lf_readTitleKey(line, value)) {
      if (!title.empty()) {
        lf_reportIncompleteSection(fmt::format("{} {} has more than one title key", folder, header));
        return {};
      }
      title = gf_trim(value);
      if (title.size() < value.size()) gf_log(fmt::format("removed spaces around title '{}' --> '{}'", value, title));
      continue;
    }
    if (parkingTypes.empty()) {
      if (lf_readParkingTypesKey(line, value)) {
        gf_trimCommaList(value);
        parkingTypes = lf_upper(value);
        continue;
      }
    } else if (lf_hasParkingTypesKey(line)) {
      lf_reportIncompleteSection(fmt::format("{} {} has more than one atc_parking_types key", folder, header));
      return {};
    }
    if (registration.empty()) {
      if (lf_readAtcIdKey(line, value)) {
        lf_readIvaoRegistration(value, title, registration);
        continue;
      }
    } else if (lf_hasAtcIdKey(line)) {
      lf_reportIncompleteSection(fmt::format("{}, {}, has more than one atc_id key", folder, header));
      return {};
    }
    if (texture.empty() && lf_readTextureKey(line, value)) texture = std::move(value);
  }

  const fs::path textureFolder = fs::path(folder) / ("texture." + texture);
  std::error_code error;
  const fs::file_status status = fs::status(textureFolder, error);
  // A texture name too long for the file system names no folder: it costs its section only.
  if (error && status.type() != fs::file_type::not_found && error != std::errc::filename_too_long)
    throw fs::filesystem_error("status", textureFolder, error);
  if (!fs::is_directory(status)) {
    lf_reportIncompleteSection(fmt::format("{} {} does not exist", gf_pathToUtf8(textureFolder), header));
    return {};
  }
  if (title.empty()) {
    lf_reportIncompleteSection(fmt::format("{} {} misses title", folder, header));
    return {};
  }
  if (g_dontUseTitles.contains(title)) return {};

  Livery livery;
  if (const auto airline = lf_ivaoTitleAirline(title, model, winglets)) {
    if (!gf_isIcaoAirlineCode(*airline)) {
      lf_reportInvalidAirlineCode(*airline, pathText, header);
      return {};
    }
    if (*airline == "ZZZ") registration.clear();
    const DbaseEntry identity{gf_internAirlineName(*airline), 0, gf_modelIdOf(model), 0, 0};
    livery = lf_makeIvaoLivery(sourceIndex, identity, title, registration);
  } else if (registration.empty()) {
    lf_reportIncompleteSection(
        fmt::format("{} {} misses airlinecode in title: {}, and no regcode", folder, header, title));
    return {};
  } else {
    const auto entry = gf_lookupRegistration(registration);
    if (!entry || entry->airlineId == 0) {
      lf_reportIncompleteSection(fmt::format("{} {} misses airlinecode in title: {}, and regcode unknown {}", folder,
                                             header, title, registration));
      return {};
    }
    livery = lf_makeIvaoLivery(sourceIndex, *entry, title, registration);
  }
  if (gf_liveryIncomplete(livery))
    lf_reportIncompleteSection(fmt::format("{} {} title already exists: {}", folder, header, title));
  return livery;
}

Livery lf_makeIvaoLivery(std::uint32_t sourceIndex, const DbaseEntry& identity, const std::string& title,
                         const std::string& registration) {
  if (!g_scannedTitles.insert(title).second) return {};
  Livery livery;
  livery.setIdentity(identity);
  livery.title = title;
  livery.registration = registration;
  livery.sourceIndex = static_cast<std::uint16_t>(sourceIndex);
  return livery;
}
