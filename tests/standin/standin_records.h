#pragma once
// The records a dispatch hands to its callback, kept whole, and the fields read out of them.
#include <cstring>
#include <vector>

#include "platform/simconnect.h"

namespace standintest {

using Record = std::vector<std::byte>;

// The callback's context is a std::vector<Record>.
inline void collect(const SimConnectRecv* data, std::uint32_t size, void* context) {
  const auto* bytes = reinterpret_cast<const std::byte*>(data);
  static_cast<std::vector<Record>*>(context)->emplace_back(bytes, bytes + size);
}

template <typename Value>
Value fieldAt(const Record& record, std::size_t offset) {
  Value value;
  std::memcpy(&value, record.data() + offset, sizeof value);
  return value;
}

inline std::uint32_t recordId(const Record& record) { return fieldAt<std::uint32_t>(record, 8); }

}  // namespace standintest
