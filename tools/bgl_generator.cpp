#include "tools/bgl_generator.h"

#include <fmt/format.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace bglgen {
namespace {

constexpr std::uint32_t kAirportSectionType = 3;
constexpr std::uint16_t kAirportRecordId = 0x56;
constexpr std::uint16_t kHelipadId = 0x26;
constexpr std::uint16_t kParkingListId = 0xE7;
constexpr std::size_t kHeaderBytes = 56;
constexpr std::size_t kEntryBytes = 20;
constexpr std::size_t kAirportFixedBytes = 68;
constexpr std::size_t kHelipadBytes = 36;
constexpr std::size_t kParkingEntryBytes = 56;
constexpr std::uint32_t kFarOutside = 0xFFFFFF00;  // where other sections' tables "are"

// splitmix64: the same numbers from a seed on every platform and library.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint32_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
  }
  std::uint32_t below(std::uint32_t n) { return n == 0 ? 0 : next() % n; }
  bool chance(std::uint32_t oneIn) { return below(oneIn) == 0; }
  double between(double low, double high) { return low + (high - low) * (next() / 4294967296.0); }

 private:
  std::uint64_t state_;
};

void append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

void putF32(Bytes& bytes, std::size_t offset, float value) { putU32(bytes, offset, std::bit_cast<std::uint32_t>(value)); }

Bytes header(std::uint16_t id, std::size_t size) {
  Bytes bytes(size, 0);
  putU16(bytes, 0, id);
  putU32(bytes, 2, static_cast<std::uint32_t>(size));
  return bytes;
}

constexpr std::array<const char*, 8> kIdents{"EGLL", "KJFK", "EHAM", "LSZH", "EDDF", "KLAX", "ZZZ9", "ABC"};

AirportRecord randomAirport(Random& random) {
  AirportRecord airport;
  airport.ident = kIdents[random.below(kIdents.size())];
  airport.altitudeMm = random.below(3'500'000);
  const double lat = random.between(-60, 70);
  const double lon = random.between(-179, 179);
  for (std::uint32_t i = random.below(3); i > 0; --i)
    airport.subrecords.push_back(Helipad{lat + random.between(-0.01, 0.01), lon + random.between(-0.01, 0.01),
                                         static_cast<float>(random.between(5, 40))});
  for (std::uint32_t i = random.below(3); i > 0; --i)
    airport.subrecords.push_back(OtherSubrecord{static_cast<std::uint16_t>(0x10 + random.below(0x20)),
                                                8 + 4 * random.below(10)});
  ParkingList list;
  for (std::uint32_t i = random.below(7); i > 0; --i)
    list.entries.push_back(Parking{random.below(41), random.below(16), random.below(4096),
                                   static_cast<float>(random.between(8, 40)),
                                   static_cast<float>(random.below(360)), lat + random.between(-0.02, 0.02),
                                   lon + random.between(-0.02, 0.02), random.below(3)});
  if (!list.entries.empty() || random.chance(2)) airport.subrecords.push_back(list);
  return airport;
}

Bytes randomRecord(Random& random) {
  if (random.chance(3)) return airportRecordBytes(randomAirport(random));
  std::uint16_t id = static_cast<std::uint16_t>(random.below(0x100));
  if (id == kAirportRecordId) ++id;
  return plainRecordBytes(id, 8 + 4 * random.below(12));
}

Block randomBlock(Random& random, std::uint32_t records) {
  Block block;
  for (std::uint32_t i = 0; i < records; ++i) block.records.push_back(randomRecord(random));
  return block;
}

// First the record every fault in block 0 relies on: 16 bytes or more, so that one more
// record than it holds still passes the count check.
Section randomAirportSection(Random& random) {
  Section section;
  section.wideDescriptors = random.chance(2);
  Block first = randomBlock(random, random.below(4));
  first.records.insert(first.records.begin(), plainRecordBytes(0x11, 16 + 4 * random.below(4)));
  section.blocks.push_back(std::move(first));
  for (std::uint32_t i = 1 + random.below(3); i > 0; --i) {
    if (random.chance(6)) {
      section.blocks.push_back(Block{{}, 0});  // names block 0's data again
    } else if (random.chance(5)) {
      section.blocks.push_back(Block{});  // empty: size 0, count 0
    } else {
      section.blocks.push_back(randomBlock(random, 1 + random.below(5)));
    }
  }
  return section;
}

std::size_t blockBytes(const Block& block) {
  std::size_t size = 0;
  for (const Bytes& record : block.records) size += record.size();
  return size;
}

// What build() lays out: other sections' tables and repeated tables take no room.
std::size_t sizeOf(const std::vector<Section>& sections) {
  std::size_t size = kHeaderBytes + kEntryBytes * sections.size();
  for (const Section& section : sections) {
    if (section.type != kAirportSectionType || section.sameTableAs) continue;
    size += (section.wideDescriptors ? 20 : 16) * section.blocks.size();
    for (const Block& block : section.blocks) size += blockBytes(block);
  }
  return size;
}

}  // namespace

std::uint32_t rawLatitude(double latitude) {
  return static_cast<std::uint32_t>(std::llround((90.0 - latitude) * 536870912.0 / 180.0));
}

std::uint32_t rawLongitude(double longitude) {
  return static_cast<std::uint32_t>(std::llround((longitude + 180.0) * 805306368.0 / 360.0));
}

std::uint32_t packIdent(std::string_view code) {
  std::uint32_t value = 0;
  for (const char c : code) {
    const std::uint32_t digit = c >= '0' && c <= '9' ? static_cast<std::uint32_t>(c - '0' + 2)
                                : c >= 'A' && c <= 'Z' ? static_cast<std::uint32_t>(c - 'A' + 12)
                                : c == '?'             ? 1u
                                                       : 0u;
    value = value * 38 + digit;
  }
  return value << 5;
}

void putU16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
  bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
  bytes[offset] = static_cast<std::uint8_t>(value);
}

void putU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  bytes.at(offset + 3);
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes subrecordBytes(const Subrecord& subrecord) {
  if (const auto* helipad = std::get_if<Helipad>(&subrecord)) {
    Bytes bytes = header(kHelipadId, kHelipadBytes);
    putU32(bytes, 12, rawLongitude(helipad->lon));
    putU32(bytes, 16, rawLatitude(helipad->lat));
    putF32(bytes, 28, helipad->sizeMetres);
    return bytes;
  }
  if (const auto* list = std::get_if<ParkingList>(&subrecord)) {
    std::size_t size = 8;
    for (const Parking& entry : list->entries) size += kParkingEntryBytes + 4 * entry.airlineCodes;
    Bytes bytes = header(kParkingListId, size);
    putU16(bytes, 6, list->count.value_or(static_cast<std::uint16_t>(list->entries.size())));
    std::size_t at = 8;
    for (const Parking& entry : list->entries) {
      putU32(bytes, at, (entry.nameCode & 0x3F) | (entry.type & 0xF) << 8 | (entry.number & 0xFFF) << 12 |
                            (entry.airlineCodes & 0xFF) << 24);
      putF32(bytes, at + 4, entry.radiusMetres);
      putF32(bytes, at + 8, entry.headingDegrees);
      putU32(bytes, at + 28, rawLongitude(entry.lon));
      putU32(bytes, at + 32, rawLatitude(entry.lat));
      at += kParkingEntryBytes + 4 * entry.airlineCodes;
    }
    return bytes;
  }
  const auto& other = std::get<OtherSubrecord>(subrecord);
  return header(other.id, other.size);
}

Bytes airportRecordBytes(const AirportRecord& airport) {
  Bytes body;
  for (const Subrecord& subrecord : airport.subrecords) append(body, subrecordBytes(subrecord));
  Bytes bytes = header(kAirportRecordId, kAirportFixedBytes + body.size());
  putU32(bytes, 20, airport.altitudeMm);
  if (!airport.ident.empty()) putU32(bytes, 40, packIdent(airport.ident));
  std::copy(body.begin(), body.end(), bytes.begin() + kAirportFixedBytes);
  return bytes;
}

Bytes plainRecordBytes(std::uint16_t id, std::uint32_t size) { return header(id, size); }

Built build(const std::vector<Section>& sections) {
  Built built;
  Bytes& bytes = built.bytes;
  bytes.assign(sizeOf(sections), 0);
  putU32(bytes, 4, kHeaderBytes);
  putU32(bytes, 20, static_cast<std::uint32_t>(sections.size()));

  std::size_t cursor = kHeaderBytes + kEntryBytes * sections.size();
  built.sections.resize(sections.size());
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& section = sections[i];
    SectionAt& at = built.sections[i];
    at.entry = kHeaderBytes + kEntryBytes * i;
    const std::size_t descriptor = section.wideDescriptors ? 20 : 16;
    if (section.sameTableAs) {
      at = built.sections.at(*section.sameTableAs);
      at.entry = kHeaderBytes + kEntryBytes * i;
    } else if (section.type != kAirportSectionType) {
      at.table = kFarOutside;
    } else {
      at.table = cursor;
      cursor += descriptor * section.blocks.size();
    }
    putU32(bytes, at.entry, section.type);
    putU32(bytes, at.entry + 4, section.wideDescriptors ? 0x10000 : 0);
    putU32(bytes, at.entry + 8, static_cast<std::uint32_t>(section.blocks.size()));
    putU32(bytes, at.entry + 12, static_cast<std::uint32_t>(at.table));
  }
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& section = sections[i];
    if (section.type != kAirportSectionType || section.sameTableAs) continue;
    SectionAt& at = built.sections[i];
    const std::size_t descriptor = section.wideDescriptors ? 20 : 16;
    for (std::size_t j = 0; j < section.blocks.size(); ++j) {
      const Block& block = section.blocks[j];
      BlockAt blockAt;
      blockAt.descriptor = at.table + descriptor * j;
      if (block.sameDataAs) {
        const BlockAt& same = at.blocks.at(*block.sameDataAs);
        blockAt.data = same.data;
        blockAt.size = same.size;
        blockAt.records = same.records;
      } else {
        blockAt.data = cursor;
        for (const Bytes& record : block.records) {
          std::copy(record.begin(), record.end(), bytes.begin() + static_cast<std::ptrdiff_t>(cursor));
          blockAt.records.push_back(cursor);
          built.records.push_back({static_cast<std::uint16_t>(record[0] | record[1] << 8), cursor, record.size()});
          cursor += record.size();
        }
        blockAt.size = cursor - blockAt.data;
      }
      putU32(bytes, blockAt.descriptor + 4, static_cast<std::uint32_t>(blockAt.records.size()));
      putU32(bytes, blockAt.descriptor + 8, static_cast<std::uint32_t>(blockAt.data));
      putU32(bytes, blockAt.descriptor + 12, static_cast<std::uint32_t>(blockAt.size));
      at.blocks.push_back(std::move(blockAt));
    }
  }
  // Repeated tables point at blocks already laid out: copy their places for the tests.
  for (std::size_t i = 0; i < sections.size(); ++i)
    if (sections[i].sameTableAs) built.sections[i].blocks = built.sections[*sections[i].sameTableAs].blocks;
  return built;
}

std::string expectedText(const Expected& expected) {
  if (!expected.ok) return fmt::format("error {} {}\n", expected.kind, expected.offset);
  std::string text = fmt::format("records {}\n", expected.records.size());
  for (const RecordRef& record : expected.records)
    text += fmt::format("{} {} {}\n", record.id, record.offset, record.size);
  return text;
}

std::optional<Expected> parseExpectedText(std::string_view text) {
  std::vector<std::uint64_t> numbers;
  std::string_view word;
  std::size_t at = text.find_first_not_of(" \n");
  const std::size_t first = text.find_first_of(" \n", at);
  if (at == std::string_view::npos || first == std::string_view::npos) return std::nullopt;
  word = text.substr(at, first - at);
  at = first;
  while ((at = text.find_first_not_of(" \n", at)) != std::string_view::npos) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;
    numbers.push_back(value);
    at = static_cast<std::size_t>(end - text.data());
  }
  Expected expected;
  if (word == "error" && numbers.size() == 2) {
    expected.ok = false;
    expected.kind = static_cast<std::uint8_t>(numbers[0]);
    expected.offset = numbers[1];
    return expected;
  }
  if (word != "records" || numbers.empty() || numbers.size() != 1 + 3 * numbers[0]) return std::nullopt;
  for (std::size_t i = 1; i < numbers.size(); i += 3)
    expected.records.push_back({static_cast<std::uint16_t>(numbers[i]), numbers[i + 1], numbers[i + 2]});
  return expected;
}

Generated generate(std::uint32_t seed, Fault fault, std::size_t minBytes) {
  Random random(seed);
  // Other sections before, between and after two or three airport sections; one airport table
  // is sometimes named twice.
  std::vector<Section> sections;
  auto otherSection = [&random] {
    Section other;
    other.type = 4 + random.below(40);
    other.blocks.resize(random.below(5));
    return other;
  };
  for (std::uint32_t i = random.below(3); i > 0; --i) sections.push_back(otherSection());
  const std::size_t firstAirport = sections.size();
  sections.push_back(randomAirportSection(random));
  if (random.chance(2)) sections.push_back(otherSection());
  const std::size_t secondAirport = sections.size();
  sections.push_back(randomAirportSection(random));
  std::vector<std::size_t> growable{secondAirport};
  if (random.chance(2)) {
    growable.push_back(sections.size());
    sections.push_back(randomAirportSection(random));
  }
  if (random.chance(3)) {
    Section repeat = sections[firstAirport];
    repeat.sameTableAs = firstAirport;
    sections.push_back(std::move(repeat));
  }
  for (std::size_t size = sizeOf(sections); size < minBytes;) {
    Section& grown = sections[growable[random.below(static_cast<std::uint32_t>(growable.size()))]];
    grown.blocks.push_back(randomBlock(random, 64));
    size += (grown.wideDescriptors ? 20 : 16) + blockBytes(grown.blocks.back());
  }

  Built built = build(sections);
  Generated generated{std::move(built.bytes), Expected{true, std::move(built.records)}};
  Bytes& bytes = generated.bytes;
  const std::uint64_t n = bytes.size();
  const SectionAt& first = built.sections[firstAirport];
  const BlockAt& block = first.blocks[0];
  auto fail = [&generated](std::uint8_t kind, std::uint64_t offset) {
    generated.expected = Expected{false, {}, kind, offset};
  };
  auto setCount = [&bytes](const BlockAt& at, std::uint64_t count) {
    putU32(bytes, at.descriptor + 4, static_cast<std::uint32_t>(count));
  };
  switch (fault) {
    case Fault::none: break;
    case Fault::shortFile:
      bytes.resize(random.below(kHeaderBytes));
      fail(0, 0);
      break;
    case Fault::headerSize:
      putU32(bytes, 4, random.chance(2) ? 0 : 60);
      fail(1, 4);
      break;
    case Fault::sectionTable:
      putU32(bytes, 20, static_cast<std::uint32_t>((n - kHeaderBytes) / kEntryBytes + 1 + random.below(1000)));
      fail(2, kHeaderBytes);
      break;
    case Fault::subsectionTable:
      if (random.chance(2)) {
        putU32(bytes, first.entry + 8, 0xFFFFFFFF);
        fail(3, first.table);
      } else {
        const std::uint64_t outside = n + 1 + random.below(100);
        putU32(bytes, first.entry + 12, static_cast<std::uint32_t>(outside));
        fail(3, outside);
      }
      break;
    case Fault::dataBlock:
      putU32(bytes, block.descriptor + 12, static_cast<std::uint32_t>(n - block.data + 1));
      fail(4, block.data);
      break;
    case Fault::tablesOverlap:
      putU32(bytes, built.sections[secondAirport].entry + 12, static_cast<std::uint32_t>(first.table + 4));
      fail(5, first.table + 4);
      break;
    case Fault::blocksOverlap: {
      const BlockAt& second = first.blocks[1];
      setCount(second, 0);
      putU32(bytes, second.descriptor + 8, static_cast<std::uint32_t>(block.data + 4));
      putU32(bytes, second.descriptor + 12, 8);
      fail(5, block.data + 4);
      break;
    }
    case Fault::recordCount:
      setCount(block, block.size / 8 + 1);
      fail(6, block.descriptor);
      break;
    case Fault::recordHeader:
      setCount(block, block.records.size() + 1);
      fail(7, block.data + block.size);
      break;
    case Fault::recordSize: {
      constexpr std::array<std::uint32_t, 4> kBadSizes{0, 2, 6, 10};
      putU32(bytes, block.records[0] + 2, kBadSizes[random.below(kBadSizes.size())]);
      fail(8, block.records[0]);
      break;
    }
    case Fault::recordBeyondBlock:
      putU32(bytes, block.records[0] + 2, static_cast<std::uint32_t>(block.size + 4));
      fail(9, block.records[0]);
      break;
    case Fault::leftOver:
      setCount(block, block.records.size() - 1);
      fail(10, block.records.back());
      break;
  }
  return generated;
}

void writeSeededFiles(const std::filesystem::path& folder, std::uint32_t seed, int count) {
  std::filesystem::create_directories(folder);
  for (int i = 0; i < count; ++i) {
    const Generated generated = generate(seed + static_cast<std::uint32_t>(i), static_cast<Fault>(i % kFaultCount));
    const std::string stem = fmt::format("bgl_{}_{}", seed, i);
    std::ofstream bgl(folder / (stem + ".bgl"), std::ios::binary);
    bgl.write(reinterpret_cast<const char*>(generated.bytes.data()), static_cast<std::streamsize>(generated.bytes.size()));
    std::ofstream(folder / (stem + ".expected"), std::ios::binary) << expectedText(generated.expected);
    if (!bgl) throw std::runtime_error(fmt::format("could not write {}", stem));
  }
}

}  // namespace bglgen
