#pragma once
// Small value types that carry identities and versions through the program: airport codes,
// program and data-set versions, package versions. Codes validate their text once and from
// then on compare and hash as plain integers.
#include <fmt/format.h>

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace value_types_detail {
// Upper-cases ASCII letters; anything but A-Z and 0-9 spoils the code. No trimming: a code
// with a blank around it is a different text, not the same code.
template <std::size_t N>
constexpr bool packCode(std::string_view text, std::array<char, N>& chars, std::uint32_t& key) {
  if (text.size() != N) return false;
  std::uint32_t packed = 0;
  for (std::size_t i = 0; i < N; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    chars[i] = c;
    packed = (packed << 8) | static_cast<unsigned char>(c);
  }
  key = packed;
  return true;
}
// Throws std::invalid_argument "'{text}' {typeName}: invalid string".
[[noreturn]] void throwInvalidCode(std::string_view typeName, std::string_view text);
}  // namespace value_types_detail

// Four letters or digits, upper-cased. The key packs them big-endian (EHAM: 0x4548414D), so
// ordering keys as unsigned numbers orders the codes alphabetically, digits before letters.
class IcaoCode {
 public:
  IcaoCode() = default;  // key 0: no code
  // Throws std::invalid_argument "'{}' IcaoCode: invalid string".
  constexpr explicit IcaoCode(std::string_view text) {
    if (!value_types_detail::packCode(text, m_text, m_key)) value_types_detail::throwInvalidCode("IcaoCode", text);
  }

  constexpr std::uint32_t key() const { return m_key; }
  std::string_view text() const { return m_key ? std::string_view(m_text.data(), m_text.size()) : std::string_view(); }
  constexpr bool empty() const { return m_key == 0; }

  friend constexpr bool operator==(const IcaoCode& a, const IcaoCode& b) { return a.m_key == b.m_key; }
  friend constexpr std::strong_ordering operator<=>(const IcaoCode& a, const IcaoCode& b) { return a.m_key <=> b.m_key; }

 private:
  friend std::optional<IcaoCode> gf_optionalIcaoCode(std::string_view text);
  std::uint32_t m_key = 0;
  std::array<char, 4> m_text{};
};

// The same rules without an exception, for input where bad codes are expected.
std::optional<IcaoCode> gf_optionalIcaoCode(std::string_view text);

// Three letters or digits, upper-cased, packed big-endian into the low 24 bits (AMS: 0x00414D53).
// All zero stands for an absent code.
class IataCode {
 public:
  IataCode() = default;
  // Throws std::invalid_argument "'{}' IataCode: invalid string".
  constexpr explicit IataCode(std::string_view text) {
    if (!value_types_detail::packCode(text, m_text, m_key)) value_types_detail::throwInvalidCode("IataCode", text);
  }

  constexpr std::uint32_t key() const { return m_key; }
  std::string_view text() const { return m_key ? std::string_view(m_text.data(), m_text.size()) : std::string_view(); }
  constexpr bool empty() const { return m_key == 0; }

  friend constexpr bool operator==(const IataCode& a, const IataCode& b) { return a.m_key == b.m_key; }
  friend constexpr std::strong_ordering operator<=>(const IataCode& a, const IataCode& b) { return a.m_key <=> b.m_key; }

 private:
  std::uint32_t m_key = 0;
  std::array<char, 3> m_text{};
};

// The airports list's default IATA code.
inline constexpr IataCode g_defaultIataCode{"XXX"};

// "EHAM (AMS)", "EHAM" without IATA code, "?" without ICAO code: how airport records print.
std::string gf_airportCodesText(const IcaoCode& icao, const IataCode& iata);

// major.minor.patch; 0.0.0 is "unknown".
struct VersionData {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;

  VersionData() = default;
  constexpr VersionData(std::uint32_t majorNumber, std::uint32_t minorNumber, std::uint32_t patchNumber)
      : major(majorNumber), minor(minorNumber), patch(patchNumber) {}
  // "16.8" or "16.8.2", or a JSON object with "major", "minor", "patch". Never throws: a bad
  // text is logged ("VersionData exception: ...") and gives 0.0.0.
  explicit VersionData(const std::string& text);

  bool unknown() const { return major == 0 && minor == 0 && patch == 0; }
  friend bool operator==(const VersionData&, const VersionData&) = default;
  friend std::strong_ordering operator<=>(const VersionData&, const VersionData&) = default;
};

// The running program's version, 16.8.2, from program.h's text; constant-initialised, so
// other globals may use it while they are built.
extern const VersionData g_programVersion;

struct DottedNumbers {
  std::uint32_t numbers[3] = {0, 0, 0};  // 0 where absent
  bool ok = false;
};

// Two or three dot-separated decimal numbers, nothing else: "1.2" and "1.2.3".
DottedNumbers gf_parseDottedNumbers(std::string_view text) noexcept;

struct PackageVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;
  std::uint32_t rc = 0;  // release-candidate number, 0 when none
  bool isReleaseCandidate = false;
  bool valid = false;
};

// "2.0.10", or with a release-candidate suffix: "2.0.10-RC3", "2.0.10rc3", "1.2-RC".
PackageVersion gf_parsePackageVersion(std::string_view text) noexcept;

template <>
struct std::hash<IcaoCode> {
  std::size_t operator()(const IcaoCode& code) const noexcept { return std::hash<std::uint32_t>{}(code.key()); }
};
template <>
struct std::hash<IataCode> {
  std::size_t operator()(const IataCode& code) const noexcept { return std::hash<std::uint32_t>{}(code.key()); }
};

template <>
struct fmt::formatter<IcaoCode> : fmt::formatter<std::string_view> {
  template <typename FormatContext>
  auto format(const IcaoCode& code, FormatContext& ctx) const {
    return fmt::formatter<std::string_view>::format(code.text(), ctx);
  }
};
template <>
struct fmt::formatter<IataCode> : fmt::formatter<std::string_view> {
  template <typename FormatContext>
  auto format(const IataCode& code, FormatContext& ctx) const {
    return fmt::formatter<std::string_view>::format(code.text(), ctx);
  }
};
template <>
struct fmt::formatter<VersionData> : fmt::formatter<std::string_view> {
  template <typename FormatContext>
  auto format(const VersionData& version, FormatContext& ctx) const {
    return fmt::format_to(ctx.out(), "{}.{}.{}", version.major, version.minor, version.patch);
  }
};
