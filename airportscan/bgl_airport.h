#pragma once
// What the airport scan takes from an airport record of a .bgl file: its packed ident, its
// altitude, its helipads and its parking positions, turned into a checked code and Stands with
// names unique within the airport. Every field is read by its byte offset inside the airport
// record, and a sub-record's fields only inside that sub-record (its size at bytes 2-5).
//
// Findings go to the scan message list (scan_state.h).
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "airportscan/bgl_sections.h"
#include "core/geodesy.h"
#include "simlink/facility_stand.h"

inline constexpr std::uint16_t kBglHelipadId = 0x26;
inline constexpr std::uint16_t kBglParkingListId = 0xE7;
inline constexpr std::uint64_t kBglAirportAltitudeOffset = 20;  // u32, millimetres
inline constexpr std::uint64_t kBglAirportIdentOffset = 40;     // u32, packed ident
inline constexpr std::uint64_t kBglAirportSubrecordsOffset = 68;

// reason: 0 valid and known, 1 not decodable, 2 not 4 characters, 3 not a known airport.
struct BglIdent {
  std::string text;
  std::uint8_t ok = 0;
  std::uint8_t reason = 0;
};

// Base-38 characters above the low 5 bits; a 4-character code must be in the airports list.
BglIdent lf_decodeBglIdent(std::uint32_t ident);

// subrecord: from the sub-record's start to the end of its airport record. Appends one helipad
// ("helipad1", "helipad2", ... by the counter) unless its position is invalid or already seen.
void lf_readBglHelipad(BglBytes subrecord, BglAirport& airport, std::vector<Lalo>& seenPositions,
                       std::uint32_t& helipadCounter);
// Appends a Stand for every usable entry of a parking list; the list stops at the first entry
// that does not fit in its sub-record.
void lf_readBglTaxiwayParking(BglBytes subrecord, BglAirport& airport, std::set<std::string>& usedNames);

// The name itself, else the name with the first free letter of "abcdefghij"; recorded as used.
// None after a warning when all eleven are taken.
std::optional<std::string> lf_uniqueStandId(const std::string& name, std::set<std::string>& usedNames);

// The packed ident of an airport record; none when the record is too small to hold it.
std::optional<std::uint32_t> gf_bglAirportIdent(BglBytes file, const BglRecordRef& record);

struct BglAirportRead {
  BglAirport airport;  // altitude and stands; the caller sets code and name
  std::uint32_t helipadCount = 0;
};
// Altitude and the sub-records from byte 68 up to the end of the record: every helipad, then
// the parking list, after which nothing more is read.
BglAirportRead gf_readBglAirportRecord(BglBytes file, const BglRecordRef& record);
