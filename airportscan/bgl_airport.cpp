#include "airportscan/bgl_airport.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string_view>

#include "airportscan/scan_state.h"
#include "core/log.h"
#include "core/value_types.h"
#include "refdata/airports.h"

namespace {

constexpr double kLatPerRaw = 3.3527612686157227e-07;  // 180 / 2^29
constexpr double kLonPerRaw = 4.470348358154297e-07;   // 360 / (3 x 2^28)
constexpr double kTwoPi = 6.283185307179586;
constexpr double kFeetPerMillimetre = 3.2808399 / 1000.0;
constexpr std::int32_t kHighestAltitudeFt = 10000;  // above: a broken field, not an airport
constexpr int kMaxSubrecordSteps = 9000;

constexpr std::uint64_t kParkingCountOffset = 6;     // u16
constexpr std::uint64_t kParkingEntriesOffset = 8;
constexpr std::uint64_t kParkingEntryBytes = 56;     // before the entry's airline codes

Lalo lf_bglLalo(std::uint32_t rawLat, std::uint32_t rawLon) {
  return {90.0 - rawLat * kLatPerRaw, rawLon * kLonPerRaw - 180.0};
}

std::optional<float> lf_readF32At(BglBytes bytes, std::uint64_t offset) {
  const auto raw = lf_readU32At(bytes, offset);
  if (!raw) return std::nullopt;
  return std::bit_cast<float>(*raw);
}

// The sub-record's own bytes: its size field bounds every read, and so does the airport record.
// None when the sub-record's header itself does not fit.
std::optional<BglBytes> lf_subrecordBytes(BglBytes subrecord) {
  const auto size = lf_readU32At(subrecord, 2);
  if (!size) return std::nullopt;
  return subrecord.first(std::min<std::uint64_t>(*size, subrecord.size()));
}

}  // namespace

BglIdent lf_decodeBglIdent(std::uint32_t ident) {
  std::uint32_t v = ident >> 5;
  std::string reversed;
  bool decodable = true;
  while (v != 0) {
    if (reversed.size() == 10) {
      decodable = false;
      break;
    }
    const std::uint32_t digit = v % 38;
    v /= 38;
    if (digit == 0) {
      reversed += ' ';
      decodable = false;
    } else if (digit == 1) {
      reversed += '?';
      decodable = false;
    } else if (digit < 12) {
      reversed += static_cast<char>('0' + digit - 2);
    } else {
      reversed += static_cast<char>('A' + digit - 12);
    }
  }
  std::string text(reversed.rbegin(), reversed.rend());
  if (!decodable) return {std::move(text), 0, 1};
  if (text.size() != 4) return {std::move(text), 0, 2};
  // Digits and capitals only by now, so the code always builds.
  if (!gf_isKnownAirport(IcaoCode(text))) {
    gf_addAirportScanMessage(fmt::format("{} is not known", text));
    return {std::move(text), 0, 3};
  }
  return {std::move(text), 1, 0};
}

void lf_readBglHelipad(BglBytes subrecord, BglAirport& airport, std::vector<Lalo>& seenPositions,
                       std::uint32_t& helipadCounter) {
  const std::optional<BglBytes> own = lf_subrecordBytes(subrecord);
  const auto rawLon = own ? lf_readU32At(*own, 12) : std::nullopt;
  const auto rawLat = own ? lf_readU32At(*own, 16) : std::nullopt;
  const auto sizeMetres = own ? lf_readF32At(*own, 28) : std::nullopt;
  if (!rawLon || !rawLat || !sizeMetres) {
    gf_addAirportScanMessage(
        fmt::format("helipad sub-record of {} bytes is too small (skipped)", own ? own->size() : subrecord.size()));
    return;
  }
  const Lalo position = lf_bglLalo(*rawLat, *rawLon);
  if (!gf_isValidLalo(position)) {
    gf_addAirportScanMessage(fmt::format("lat/lon helipad incorrect (skipped): {}", position));
    return;
  }
  for (const Lalo& seen : seenPositions) {
    if (std::fabs(seen.lat - position.lat) < 1e-8 && std::fabs(seen.lon - position.lon) < 1e-8) {
      gf_addAirportScanMessage(fmt::format("double helipad {} (skipped) {}", airport.name, position));
      return;
    }
  }
  seenPositions.push_back(position);
  airport.stands.emplace_back(fmt::format("helipad{}", helipadCounter), std::vector<StandOption>{}, position, 0.0,
                              *sizeMetres / 2.0, 0, false, false, true);
  ++helipadCounter;
}

void lf_readBglTaxiwayParking(BglBytes subrecord, BglAirport& airport, std::set<std::string>& usedNames) {
  const std::optional<BglBytes> own = lf_subrecordBytes(subrecord);
  const auto count = own ? lf_readU16At(*own, kParkingCountOffset) : std::nullopt;
  if (!count) {
    gf_addAirportScanMessage(fmt::format("parking list sub-record of {} bytes is too small (skipped)",
                                         own ? own->size() : subrecord.size()));
    return;
  }
  std::uint64_t entry = kParkingEntriesOffset;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const auto word = lf_readU32At(*own, entry);
    const std::uint64_t codes = word ? (*word >> 24) : 0;
    if (!word || !lf_rangeFits(entry, kParkingEntryBytes + 4 * codes, own->size())) {
      // A count larger than its sub-record: what follows belongs to other records.
      gf_addAirportScanMessage(fmt::format("parking list holds {} entries, only {} fit in its {} bytes (rest skipped)",
                                           *count, i, own->size()));
      return;
    }
    const std::uint64_t at = entry;
    entry += kParkingEntryBytes + 4 * codes;

    const std::uint32_t nameCode = *word & 0x3F;
    const std::uint32_t type = (*word >> 8) & 0xF;
    const std::uint32_t number = (*word >> 12) & 0xFFF;
    if (type == 0 || type == 13) continue;  // none, and vehicle parking
    const std::optional<std::string> name =
        lf_uniqueStandId(fmt::format("{}{}", gf_parkingNamePrefix(nameCode), number), usedNames);
    if (!name) continue;
    const Lalo position = lf_bglLalo(*lf_readU32At(*own, at + 32), *lf_readU32At(*own, at + 28));
    if (!gf_isValidLalo(position)) {
      gf_addAirportScanMessage(fmt::format("LatLon {} invalid (skipped)", position));
      continue;
    }
    const float radiusMetres = *lf_readF32At(*own, at + 4);
    const float headingDegrees = *lf_readF32At(*own, at + 8);
    // North is 2 pi here; the stand record makes it 0, and the scan's file writes it as 360.0 again.
    const double heading = headingDegrees == 0.0f ? kTwoPi : headingDegrees * geo::kDegToRad;
    const bool cargo = type == 5 || type == 6;
    const bool ramp = (type >= 1 && type <= 4) || type == 14;
    airport.stands.emplace_back(*name, std::vector<StandOption>{}, position, heading, radiusMetres, type, cargo, ramp,
                                false);
  }
}

std::optional<std::string> lf_uniqueStandId(const std::string& name, std::set<std::string>& usedNames) {
  if (usedNames.insert(name).second) return name;
  for (const char letter : std::string_view("abcdefghij")) {
    std::string candidate = name + letter;
    if (usedNames.insert(candidate).second) return candidate;
  }
  gf_addAirportScanMessage(fmt::format("{}Warning: more than 10 duplicate IDs {}", "===> ", name));
  return std::nullopt;
}

std::optional<std::uint32_t> gf_bglAirportIdent(BglBytes file, const BglRecordRef& record) {
  if (!lf_rangeFits(record.offset, record.size, file.size())) return std::nullopt;
  return lf_readU32At(file.subspan(record.offset, record.size), kBglAirportIdentOffset);
}

BglAirportRead gf_readBglAirportRecord(BglBytes file, const BglRecordRef& record) {
  BglAirportRead read;
  if (!lf_rangeFits(record.offset, record.size, file.size())) return read;
  const BglBytes bytes = file.subspan(record.offset, record.size);
  if (const auto millimetres = lf_readU32At(bytes, kBglAirportAltitudeOffset)) {
    const auto feet = static_cast<std::int64_t>(std::llround(*millimetres * kFeetPerMillimetre));
    read.airport.altitude = feet > kHighestAltitudeFt ? 0 : static_cast<std::int32_t>(feet);
  }

  std::uint32_t helipadCounter = 1;
  std::vector<Lalo> helipadPositions;
  std::set<std::string> usedNames;
  std::uint64_t p = kBglAirportSubrecordsOffset;
  int steps = 0;
  for (; p < bytes.size() && steps < kMaxSubrecordSteps; ++steps) {
    const auto id = lf_readU16At(bytes, p);
    const auto size = lf_readU32At(bytes, p + 2);
    // A size below one word would never move on.
    if (!id || !size || *size / 4 == 0) {
      gf_log(fmt::format("   Warning: invalid record boundary at o3 = {}", record.offset + p));
      break;
    }
    // Every sub-record is read inside the airport record, whatever its size claims.
    const BglBytes rest = bytes.subspan(p);
    if (*id == kBglHelipadId) {
      lf_readBglHelipad(rest, read.airport, helipadPositions, helipadCounter);
    } else if (*id == kBglParkingListId) {
      lf_readBglTaxiwayParking(rest, read.airport, usedNames);
      break;
    }
    p += *size / 4 * 4;
  }
  if (steps == kMaxSubrecordSteps && p < bytes.size())
    gf_logWarning("Error: Maximum loop iterations reached (1) \u2014 possible corrupt SIA or malformed input");
  read.helipadCount = helipadCounter - 1;
  return read;
}
