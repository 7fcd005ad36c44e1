#pragma once
// A generator of compiled scenery files (.bgl) for tests, fuzzing corpora and benchmarks:
// the header, the section table, airport sections with 16- or 20-byte subsection descriptors,
// their data blocks and records, and airport records with altitude, packed ident and
// sub-records (helipads, parking lists, others) from byte 68. Fields the program does not read
// stay zero; every record and sub-record size is a multiple of 4.
//
// Deterministic: a seed always gives the same bytes, on any platform. Each generated file
// comes with what a reader must find in it: its records, or the one error it must report.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bglgen {

using Bytes = std::vector<std::uint8_t>;

// The packed forms the airport record uses.
std::uint32_t rawLatitude(double latitude);
std::uint32_t rawLongitude(double longitude);
std::uint32_t packIdent(std::string_view code);  // base 38 above the low 5 bits

void putU16(Bytes& bytes, std::size_t offset, std::uint16_t value);
void putU32(Bytes& bytes, std::size_t offset, std::uint32_t value);

struct Helipad {
  double lat = 0.0;
  double lon = 0.0;
  float sizeMetres = 0.0f;
};
struct Parking {
  std::uint32_t nameCode = 0;
  std::uint32_t type = 0;
  std::uint32_t number = 0;
  float radiusMetres = 0.0f;
  float headingDegrees = 0.0f;
  double lat = 0.0;
  double lon = 0.0;
  std::uint32_t airlineCodes = 0;
};
struct ParkingList {
  std::vector<Parking> entries;
  std::optional<std::uint16_t> count;  // a count field that differs from the entries written
};
struct OtherSubrecord {
  std::uint16_t id = 0;
  std::uint32_t size = 8;
};
using Subrecord = std::variant<Helipad, ParkingList, OtherSubrecord>;

struct AirportRecord {
  std::string ident;                // packed with packIdent; empty: ident field 0
  std::uint32_t altitudeMm = 0;
  std::vector<Subrecord> subrecords;
};

Bytes subrecordBytes(const Subrecord& subrecord);
Bytes airportRecordBytes(const AirportRecord& airport);
// A record of another kind: its header and zeros.
Bytes plainRecordBytes(std::uint16_t id, std::uint32_t size);

struct Block {
  std::vector<Bytes> records;
  // An earlier block of the same section, by index: this descriptor names its data again.
  std::optional<std::size_t> sameDataAs;
};
struct Section {
  std::uint32_t type = 3;
  bool wideDescriptors = false;
  std::vector<Block> blocks;
  // Another section's table, by index into the file's sections: this entry repeats it.
  std::optional<std::size_t> sameTableAs;
};

struct RecordRef {
  std::uint16_t id = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  friend bool operator==(const RecordRef&, const RecordRef&) = default;
};

// Where build() put everything, for tests that damage a file on purpose.
struct BlockAt {
  std::uint64_t descriptor = 0;
  std::uint64_t data = 0;
  std::uint64_t size = 0;
  std::vector<std::uint64_t> records;
};
struct SectionAt {
  std::uint64_t entry = 0;
  std::uint64_t table = 0;
  std::vector<BlockAt> blocks;
};
struct Built {
  Bytes bytes;
  std::vector<RecordRef> records;  // what a reader finds: airport sections' records in walk order
  std::vector<SectionAt> sections;
};
// Header, section table, then every subsection table, then every data block, back to back.
// Sections of other types get a table offset far outside the file (never to be followed).
Built build(const std::vector<Section>& sections);

// What reading a file must give.
struct Expected {
  bool ok = true;
  std::vector<RecordRef> records;
  std::uint8_t kind = 0;
  std::uint64_t offset = 0;
  friend bool operator==(const Expected&, const Expected&) = default;
};
std::string expectedText(const Expected& expected);  // "records N" and "id offset size" lines, or "error kind offset"
std::optional<Expected> parseExpectedText(std::string_view text);

// The damage a seeded file carries; each gives its error kind at a known offset.
enum class Fault {
  none,
  shortFile,          // kind 0
  headerSize,         // kind 1
  sectionTable,       // kind 2
  subsectionTable,    // kind 3
  dataBlock,          // kind 4
  tablesOverlap,      // kind 5 at a table
  blocksOverlap,      // kind 5 at a block
  recordCount,        // kind 6
  recordHeader,       // kind 7
  recordSize,         // kind 8
  recordBeyondBlock,  // kind 9
  leftOver,           // kind 10
};
inline constexpr int kFaultCount = 13;

struct Generated {
  Bytes bytes;
  Expected expected;
};
// A file of several sections (airport and others), repeated tables and blocks, empty blocks and
// airport records, about minBytes or more, with the fault applied.
Generated generate(std::uint32_t seed, Fault fault, std::size_t minBytes = 0);

// count files "bgl_<seed>_<i>.bgl", each with its ".expected" beside it, the faults in turn.
void writeSeededFiles(const std::filesystem::path& folder, std::uint32_t seed, int count);

}  // namespace bglgen
