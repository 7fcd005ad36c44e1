#pragma once
// The container layer of a compiled scenery file (.bgl): the header, the section table, the
// subsection tables of the airport sections and the records packed in their data blocks. Every
// offset and size is checked against the file and against each other before it is followed;
// what a record holds is read elsewhere (bgl_airport.h).
//
// All integers are little-endian; offsets are bytes from the start of the file.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

using BglBytes = std::span<const std::uint8_t>;

inline constexpr std::uint64_t kBglHeaderBytes = 56;
inline constexpr std::uint64_t kBglSectionEntryBytes = 20;
inline constexpr std::uint32_t kBglAirportSectionType = 3;
inline constexpr std::uint16_t kBglAirportRecordId = 0x56;

// One record of an airport section: its id, where its 6-byte header starts, its whole size.
struct BglRecordRef {
  std::uint16_t id = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  friend bool operator==(const BglRecordRef&, const BglRecordRef&) = default;
};

// Kinds 0 and 1 say the file is no BGL file of this layout; 2 to 10 that it is a damaged one.
struct BglParseError {
  std::uint8_t kind = 0;
  std::uint64_t offset = 0;  // the byte the failure refers to
  std::string message;
};

// The records in section-table, descriptor and data order, or the first failure (and then no
// records at all).
using BglRecords = std::variant<std::vector<BglRecordRef>, BglParseError>;

// Empty when the field would not lie wholly inside the bytes.
std::optional<std::uint16_t> lf_readU16At(BglBytes bytes, std::uint64_t offset);
std::optional<std::uint32_t> lf_readU32At(BglBytes bytes, std::uint64_t offset);
// start <= limit and length <= limit - start, without overflow for any values.
bool lf_rangeFits(std::uint64_t start, std::uint64_t length, std::uint64_t limit);

// Half-open byte ranges [start, end) of one file that do not overlap each other.
class ByteRangeSet {
 public:
  static constexpr int kAdded = 0;     // new and recorded; also any empty range, never recorded
  static constexpr int kKnown = 1;     // exactly this range is recorded already
  static constexpr int kOverlaps = 2;  // overlaps a recorded range; not recorded
  int insert(std::uint64_t start, std::uint64_t length);

 private:
  std::set<std::pair<std::uint64_t, std::uint64_t>> ranges_;  // by start, then end
};

// Walks the whole file's bytes. No file access, no log, no exception for any input (only an
// allocation can throw). A subsection table or data block reached a second time is skipped.
BglRecords lf_enumerateBglAirportRecords(BglBytes bytes);

// Cheap probe while the folders are walked: the file has a section entry of the airport type.
// False for a file that cannot be opened or read.
bool lf_bglHasAirportSection(const std::filesystem::path& path);

// The steady clock in nanoseconds: the start time of a file's processing.
std::int64_t gf_monotonicNowNs();
// One warning when a file took a second or more since startNs; phase names where it got to.
void lf_logSlowBglProcessing(const std::filesystem::path& path, std::int64_t startNs, std::string_view phase);
