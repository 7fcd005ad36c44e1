#pragma once
// The settings as every thread but the GUI and the worker reads them: one immutable snapshot
// behind an atomic shared pointer. Readers load it once per operation and keep that pointer;
// writers copy, change and compare-exchange (gf_changeParameterSnapshot), so concurrent
// changes of different fields are all kept.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/atomic_shared_ptr.h"

class Option;

// The aircraft the user blocks in the main window.
struct SnapshotAcIdentity {
  std::string aircraft;  // BLOCK_AIRCRAFT, the selector's entry text
  std::string callsign;  // BLOCK_CALLSIGN
  std::string regcode;   // BLOCK_REGCODE
  std::uint32_t hexid = 0;  // BLOCK_HEXIDDEC
  bool callsignEndsInUnderscore = false;
};

struct ParameterSnapshot {
  std::uint32_t parkingPercentage = 30;
  std::uint32_t maxParkSel = 500;
  std::uint32_t maxLiveSel = 500;
  std::uint32_t maxFit = 47;
  bool rtParkTrafficOnly = false;
  bool autoPark = true;
  bool week = false;
  bool parkSoft = false;
  SnapshotAcIdentity blocked;
  std::string destination;
  std::uint8_t airGroundFilter = 0;  // 0 all traffic, 1 airborne only, 2 ground only
  double rangeNm = 40.0;
  double rangeNmSquared = 1600.0;
  std::uint32_t rangeMetres = 40 * 1852;  // plus 10000 with RT Direct once built from the options
  std::uint32_t range = 40;               // nautical miles
  std::uint32_t matchingDepth = 4;
  std::uint32_t holdingThresholdMetres = 250;
  std::uint32_t maxHoldingMinutes = 3;
  std::uint32_t tcasFl = 180;
  std::uint32_t airpRange = 20;    // nautical miles
  std::uint32_t airpHeight = 18000;  // feet
  std::uint32_t timeShiftDays = 0;
  std::uint32_t timeShiftHours = 0;
  std::uint32_t timeShiftMins = 0;
  std::uint32_t parkingIntervalMinutes = 20;
  bool autoRange = true;
  bool collisionUserGnd = true;
  bool collisionUserAir = true;
  bool random = true;
  bool flightMessages = true;
  bool reserved = false;
  bool guidChanges = true;
  bool navLightsWhileParked = true;
  bool objectIdList = false;
  bool simTime = false;
  bool keepSimTimePar = false;
  bool skipAirportScan = false;
  bool skipLiveriesScan = false;
  bool ligPrioritize = true;
  bool ligAutomatic = true;
  bool twoProps = false;
  bool lightAircraft = true;
  bool helicopters = true;
  bool highPerfAircraft = true;
};

// Never empty: holds a default snapshot from static construction on.
extern AtomicSharedPtr<const ParameterSnapshot> g_parameterSnapshot;

// The blocked callsign ends in '_'; kept by the block handler, read when the blocked identity
// is rebuilt from the block options.
extern std::atomic<bool> g_blockTrailingUnderscore;

// The publish loop for every writer on any thread: copies the current snapshot, lets change()
// alter the copy and installs it by compare-exchange, retrying on the newest snapshot until
// it wins. change() may run more than once, so it must only set fields.
void gf_changeParameterSnapshot(const std::function<void(ParameterSnapshot&)>& change);

// Worker set-up, after gf_setSimChoice and before any reader thread starts: the whole
// snapshot from the options, installed by a plain store.
void gf_initParameterSnapshot();

// After the user (or the worker) changed one option: copies its value into its field(s).
// Options without a field (RANGE among them) change nothing.
void gf_updateParameterSnapshot(const Option& option);

// Tests: the default snapshot and a cleared trailing-underscore flag.
void gf_resetParameterSnapshot();
