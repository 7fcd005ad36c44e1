#include "airportscan/bgl_sections.h"

#include <fmt/format.h>

#include <chrono>
#include <fstream>
#include <system_error>

#include "core/log.h"
#include "core/text.h"

namespace {

constexpr std::uint32_t kWideDescriptorFlag = 0x10000;
constexpr std::uint64_t kSmallestRecordBytes = 8;  // a 6-byte header, rounded up to whole words
constexpr std::uint64_t kRecordHeaderBytes = 6;

BglParseError lf_error(std::uint8_t kind, std::uint64_t offset, const char* message) {
  return BglParseError{kind, offset, message};
}

}  // namespace

std::optional<std::uint16_t> lf_readU16At(BglBytes bytes, std::uint64_t offset) {
  if (!lf_rangeFits(offset, 2, bytes.size())) return std::nullopt;
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::optional<std::uint32_t> lf_readU32At(BglBytes bytes, std::uint64_t offset) {
  if (!lf_rangeFits(offset, 4, bytes.size())) return std::nullopt;
  return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) | (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

bool lf_rangeFits(std::uint64_t start, std::uint64_t length, std::uint64_t limit) {
  return start <= limit && length <= limit - start;
}

int ByteRangeSet::insert(std::uint64_t start, std::uint64_t length) {
  if (length == 0) return kAdded;
  // Callers check their ranges against the file first; saturate all the same.
  const std::uint64_t end = length > UINT64_MAX - start ? UINT64_MAX : start + length;
  // The recorded ranges never overlap, so only the neighbours on either side can.
  auto next = ranges_.lower_bound({start, end});
  if (next != ranges_.end()) {
    if (next->first == start && next->second == end) return kKnown;
    if (next->first < end) return kOverlaps;
  }
  if (next != ranges_.begin() && std::prev(next)->second > start) return kOverlaps;
  ranges_.emplace_hint(next, start, end);
  return kAdded;
}

BglRecords lf_enumerateBglAirportRecords(BglBytes bytes) {
  const std::uint64_t n = bytes.size();
  if (n < kBglHeaderBytes) return lf_error(0, 0, "BGL file is smaller than its header");
  if (*lf_readU32At(bytes, 4) != kBglHeaderBytes) return lf_error(1, 4, "Unexpected BGL header size");
  const std::uint64_t count = *lf_readU32At(bytes, 20);
  if (count * kBglSectionEntryBytes > n - kBglHeaderBytes)
    return lf_error(2, kBglHeaderBytes, "BGL section table exceeds the file");

  ByteRangeSet tables;
  ByteRangeSet blocks;
  std::vector<BglRecordRef> records;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t e = kBglHeaderBytes + kBglSectionEntryBytes * i;
    if (*lf_readU32At(bytes, e) != kBglAirportSectionType) continue;
    const std::uint32_t flags = *lf_readU32At(bytes, e + 4);
    const std::uint64_t m = *lf_readU32At(bytes, e + 8);
    const std::uint64_t t = *lf_readU32At(bytes, e + 12);
    const std::uint64_t d = (flags & kWideDescriptorFlag) ? 20 : 16;
    if (t > n || d * m > n - t) return lf_error(3, t, "Airport subsection table exceeds the file");
    const int table = tables.insert(t, d * m);
    if (table == ByteRangeSet::kKnown) continue;
    if (table == ByteRangeSet::kOverlaps) return lf_error(5, t, "Airport subsection tables overlap");

    for (std::uint64_t j = 0; j < m; ++j) {
      const std::uint64_t p = t + d * j;
      const std::uint64_t c = *lf_readU32At(bytes, p + 4);
      const std::uint64_t o = *lf_readU32At(bytes, p + 8);
      const std::uint64_t s = *lf_readU32At(bytes, p + 12);
      if (!lf_rangeFits(o, s, n)) return lf_error(4, o, "Airport subsection data exceeds the file");
      if (c > s / kSmallestRecordBytes)
        return lf_error(6, p, "Airport subsection record count cannot fit in its data block");
      const int block = blocks.insert(o, s);
      if (block == ByteRangeSet::kKnown) continue;
      if (block == ByteRangeSet::kOverlaps) return lf_error(5, o, "Airport subsection data blocks overlap");

      std::uint64_t cursor = o;
      const std::uint64_t end = o + s;
      for (std::uint64_t k = 0; k < c; ++k) {
        if (!lf_rangeFits(cursor, kRecordHeaderBytes, end))
          return lf_error(7, cursor, "Airport section record header exceeds its subsection");
        const std::uint16_t id = *lf_readU16At(bytes, cursor);
        const std::uint64_t size = *lf_readU32At(bytes, cursor + 2);
        if (size < kRecordHeaderBytes || size % 4 != 0)
          return lf_error(8, cursor, "Airport section record has an invalid size");
        if (!lf_rangeFits(cursor, size, end)) return lf_error(9, cursor, "Airport section record exceeds its subsection");
        records.push_back({id, cursor, size});
        cursor += size;
      }
      if (cursor != end)
        return lf_error(10, cursor, "Airport subsection record count does not consume its complete data block");
    }
  }
  return records;
}

bool lf_bglHasAirportSection(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (!in || end < static_cast<std::streamoff>(kBglHeaderBytes + 1)) return false;
  const auto size = static_cast<std::uint64_t>(end);
  auto readU32 = [&in](std::uint64_t offset) -> std::optional<std::uint32_t> {
    std::uint8_t raw[4];
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in.read(reinterpret_cast<char*>(raw), 4)) return std::nullopt;
    return lf_readU32At(raw, 0);
  };
  const std::optional<std::uint32_t> count = readU32(20);
  if (!count || *count == 0 || *count > (size - kBglHeaderBytes) / kBglSectionEntryBytes) return false;
  for (std::uint64_t i = 0; i < *count; ++i) {
    const std::uint64_t entry = kBglHeaderBytes + kBglSectionEntryBytes * i;
    if (entry + 4 > size) break;
    const std::optional<std::uint32_t> type = readU32(entry);
    if (!type) return false;
    if (*type == kBglAirportSectionType) return true;
  }
  return false;
}

std::int64_t gf_monotonicNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void lf_logSlowBglProcessing(const std::filesystem::path& path, std::int64_t startNs, std::string_view phase) {
  const std::int64_t elapsed = gf_monotonicNowNs() - startNs;
  if (elapsed < 1'000'000'000) return;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  const std::string sizeText = error ? std::string("unknown size") : fmt::format("{} bytes", size);
  gf_logWarning(fmt::format("Slow BGL processing: {:.2f} s, {}, phase {}, file '{}'", elapsed / 1e9, sizeText, phase,
                            gf_pathToUtf8(path)));
}
