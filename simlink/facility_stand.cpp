#include "simlink/facility_stand.h"

#include <fmt/format.h>

#include <array>

std::string gf_parkingNamePrefix(std::uint32_t code) {
  static constexpr std::array<const char*, 12> kPrefixes = {"",           "PARKING ",    "N_PARKING ", "NE_PARKING ",
                                                            "E_PARKING ", "SE_PARKING ", "S_PARKING ", "SW_PARKING ",
                                                            "W_PARKING ", "NW_PARKING ", "GATE ",      "DOCK "};
  if (code < kPrefixes.size()) return kPrefixes[code];
  if (code <= 37) return fmt::format("GATE {}", static_cast<char>('A' + (code - 12)));
  return "";
}
