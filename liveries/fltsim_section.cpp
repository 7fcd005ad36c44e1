#include "liveries/fltsim_section.h"

#include <fmt/format.h>

#include <algorithm>

#include "core/log.h"
#include "core/text.h"
#include "liveries/cfg_keys.h"
#include "liveries/cfg_reader.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_reports.h"
#include "refdata/model_ids.h"
#include "refdata/registration.h"

namespace {

constexpr std::size_t kMaxRegistrationLength = 12;

struct SectionText {
  std::string_view header;
  std::string_view pathText;
  std::string_view folderText;
};

// The pieces of an atc_id value: its part before any ';', split at ',', trimmed. Invalid
// (reported, and no registration) when nothing is left or a piece cannot be a registration.
void lf_readRegistration(std::string value, const std::string& title, std::string& registration) {
  if (const auto comment = value.find(';'); comment != std::string::npos) value.resize(comment);
  const std::vector<std::string> pieces = gf_splitAtComma(value);
  const bool invalid = pieces.empty() || std::any_of(pieces.begin(), pieces.end(), [](const std::string& piece) {
                         return piece.size() > kMaxRegistrationLength || piece.find('*') != std::string::npos;
                       });
  if (invalid)
    lf_reportIncompleteSection(fmt::format("invalid atc_id={} in: {}", value, title));
  else if (pieces.size() == 1)
    registration = pieces.front();  // several aircraft in one livery name none of them
}

std::optional<Livery> lf_section(std::uint32_t sourceIndex, std::span<const std::string> section,
                                 std::string_view model, const SectionText& text) {
  section = lf_withoutTrailingComments(section);
  const std::string_view header = text.header;
  std::string title, airline, parkingTypes, registration;
  bool refused = false;
  auto reject = [&](std::string line) {
    lf_reportIncompleteSection(std::move(line));
    refused = true;
  };

  for (const std::string& line : section) {
    std::string value;
    if (lf_readTitleKey(line, value)) {
      if (!title.empty()) {
        reject(fmt::format("{} {} has more than one title key", text.folderText, header));
        break;
      }
      title = gf_trim(value);
      // The payware airliners' own liveries are no AI traffic.
      refused = title.find("FenixA320") != std::string::npos || title.find("PMDG 737") != std::string::npos;
      if (refused) break;
      continue;
    }
    if (airline.empty()) {
      if (lf_readIcaoAirlineKey(line, value)) {
        gf_trimCommaList(value);
        // A fourth letter X or C marks a cargo or charter arm of the airline.
        if (value.size() == 4 && (value.back() == 'X' || value.back() == 'C')) value.resize(3);
        if (!value.empty() && g_dbaseAirlineCodes.contains(value)) {
          airline = std::move(value);
        } else {
          if (value == "RFO") return std::nullopt;
          lf_reportInvalidAirlineCode(value, text.pathText, header);
        }
        continue;
      }
    } else if (lf_hasIcaoAirlineKey(line)) {
      reject(fmt::format("{} {} has more than one icao_airline key", text.folderText, header));
      break;
    }
    if (parkingTypes.empty()) {
      if (lf_readParkingTypesKey(line, value)) {
        gf_trimCommaList(value);
        parkingTypes = lf_upper(value);
        continue;
      }
    } else if (lf_hasParkingTypesKey(line)) {
      reject(fmt::format("{} {} has more than one atc_parking_types key", text.folderText, header));
      break;
    }
    if (registration.empty()) {
      if (lf_readAtcIdKey(line, value)) lf_readRegistration(std::move(value), title, registration);
    } else if (lf_hasAtcIdKey(line)) {
      reject(fmt::format("{}, {}, has more than one atc_id key", text.folderText, header));
      break;
    }
  }

  if (airline.empty())
    lf_reportIncompleteSection(
        fmt::format("{} {} icao_airline is missing, or it has invalid info ", text.pathText, header));
  if (refused) return std::nullopt;
  if (title.empty()) {
    lf_reportIncompleteSection(fmt::format("{} {} misses title", text.folderText, header));
    return std::nullopt;
  }
  if (title.size() >= 9 && title.find("Fictional") != std::string::npos) return std::nullopt;
  if (title.size() >= 5 && title.ends_with("-STUB")) airline = "ZZZ";
  if (g_dontUseTitles.contains(title)) return std::nullopt;
  if (airline == "ZZZ") registration.clear();

  std::optional<DbaseEntry> entry;
  auto lookUp = [&] {
    if (registration.empty()) return;
    if (const auto found = gf_lookupRegistration(registration); found && found->airlineId != 0) entry = found;
  };
  lookUp();
  if (airline.empty()) {
    // A heavy aircraft of no airline is a broken livery, not a private one.
    const bool heavy = gf_categoryOfModel(model) == AcCategory::heavy;
    if (registration.empty()) {
      if (heavy) {
        lf_reportIncompleteSection(
            fmt::format("'{}' '{}' has no airline and no regcode info", text.folderText, header));
        return std::nullopt;
      }
      airline = "PVT";
      registration = gf_findRegistrationIn(title).value_or(std::string());
      lookUp();
    } else if (!entry) {
      if (heavy) {
        lf_reportIncompleteSection(
            fmt::format("'{}' '{}' has no airline and regcode not in dbase", text.folderText, header));
        return std::nullopt;
      }
      airline = "PVT";
    }
  }

  const bool cargo = parkingTypes.size() >= 5 && parkingTypes.find("CARGO") != std::string::npos &&
                     parkingTypes.find("GATE") == std::string::npos;
  Livery livery;
  if (entry) {
    livery.setIdentity(*entry);
  } else {
    livery.airline = gf_internAirlineName(airline);
    livery.model = gf_modelIdOf(model);
    livery.cargo = cargo ? 1 : 0;
  }
  if (g_scannedTitles.insert(title).second) {
    livery.title = title;
    livery.registration = std::move(registration);
    livery.sourceIndex = static_cast<std::uint16_t>(sourceIndex);
  } else {
    livery = Livery{};
  }
  if (gf_liveryIncomplete(livery)) {
    lf_reportIncompleteSection(fmt::format("{} {} title '{}' already exists", text.folderText, header, title));
    return std::nullopt;
  }
  return livery;
}

}  // namespace

std::optional<Livery> lf_procesFltSimSection(std::uint32_t sourceIndex, std::span<const std::string> section,
                                             std::string_view model, std::string_view pathText,
                                             std::string_view folderText) {
  if (section.empty()) return std::nullopt;
  try {
    return lf_section(sourceIndex, section, model, SectionText{section.front(), pathText, folderText});
  } catch (const std::exception& e) {
    gf_log(fmt::format("Exception in lf_procesFltSimSection: {}, file: {}", gf_escapedText(e.what()), pathText));
    throw;
  }
}
