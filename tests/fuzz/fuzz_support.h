#pragma once
// Shared by the fuzz drivers: a folder of the process's own for file-based readers, the input
// as text and lines, and the small world around the feed's decoders (dbase, park airport, user
// aircraft, a blocked aircraft), put back the same before every input so that a replay finds
// what the fuzzer found.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "feed/traffic_records.h"

namespace fuzz {

// Amsterdam: the park airport and the user's aircraft; the seeds' traffic flies around it.
inline constexpr Lalo kParkAirport{52.3086, 4.7639};
inline constexpr double kParkAirportElevationFt = -11.0;

// Created on first use in $JORV_FUZZ_TMP when set, else on /dev/shm when it is there (the
// readers' fsyncs are free on it), else in the system's temporary folder; removed when the
// process ends normally.
const std::filesystem::path& tempFolder();
void writeFile(const std::filesystem::path& file, std::string_view bytes);

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}
// Split at '\n'; the views point into text.
std::vector<std::string_view> lines(std::string_view text);

// The dbase, the parameter snapshot (with a blocked aircraft), the traffic source, the feed's
// neighbours, the published user aircraft and the traffic mailbox, as every input expects them.
void resetFeedWorld(bool rtDirect);

// Ends the process with a message when a promise of the code under test is broken: the
// fuzzer takes that for a crash and keeps the input.
void require(bool condition, const char* promise);

// What every record handed on by the feed keeps, whatever arrived: a valid position, a real
// aircraft address, a name, an altitude of 0 or more, angles in their ranges.
void checkRecord(const TrafficRecord& record);
void checkParked(const ParkedRecord& record);
// Checks and empties the batches waiting in the traffic mailbox.
void checkMailbox();

}  // namespace fuzz
