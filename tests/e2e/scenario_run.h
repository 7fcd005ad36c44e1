#pragma once
// One whole run of the real program against the stand-ins: the simulator in the program's own
// process (with an outage on its scenario's clock), the RealTraffic desktop app played from this
// process with the generator's traffic and its noise, the generated Community tree, the park
// airport's stand file. What the simulator showed comes back as its trace.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standin/realtraffic/rt_app_peer.h"
#include "standin/realtraffic/traffic_scenario.h"
#include "tests/e2e/trace_checks.h"
#include "tools/trace_picture.h"

namespace e2e {

// Seconds on the feed's clock (scenario time, from the app's first connection or the program's
// first web API query) and on the simulator's (from the program's first call into it).
struct FaultPlan {
  // The program flies live reports 30 s after they come: the faults fall where it flies. The app's
  // disconnection (the program starts anew) and the feed's silence come while the taxi-outs stand,
  // before the program places them; the simulator's outage after their push-backs were due and
  // late (at 52 + 30 + 20 s at most), so that each is judged. The program runs on long enough
  // after it to show its traffic again and through the parking adjustment the outage asks for
  // (15 to 30 steps into the new session, its parked answer a reader round later), and some 20 s
  // past it: a hold-up there would show as a leap of the moving aircraft, and the taxi-in the
  // outage caught rolling onto its stand parks there before the close.
  double simulatorOutageAt = 106.0;
  double simulatorOutageFor = 3.0;
  double appDisconnectAt = 8.0;
  double appDisconnectFor = 3.0;
  double silenceFrom = 16.0;  // no traffic datagram at all
  double silenceTo = 36.0;
  double feedEnd = 1e9;          // nothing is sent after it
  double apiFaultAt = 40.0;      // RT Direct: the web API's clock, from the program's first traffic query
  double programSeconds = 160.0;  // the window closes itself after this
  // RT App: what field 43 of the traffic lines holds (RealTraffic's own layout for some flights).
  rtstandin::TrafficLayout layout = rtstandin::TrafficLayout::mixed;
  // Another day's traffic, its weather at this QNH (hPa); none: the sample's day (scenarioTraffic).
  std::optional<int> qnhHpa;
  // Where the user's aircraft stands (latitude, longitude) when not where the demo's simulator
  // has it, 500 m beside the approach to 32: the program takes arrivals there away as in its way.
  std::optional<std::pair<double, double>> userAt;
};

// No fault at all: the app stays, the feed speaks, the simulator runs.
inline FaultPlan calmPlan(double programSeconds) {
  FaultPlan plan;
  plan.simulatorOutageAt = plan.appDisconnectAt = plan.silenceFrom = plan.silenceTo = plan.apiFaultAt = 1e9;
  plan.programSeconds = programSeconds;
  return plan;
}

struct FeedCounts {
  std::uint64_t batches = 0;
  std::uint64_t records = 0;
  std::uint64_t repeated = 0;
  std::uint64_t nanSpeeds = 0;
  std::uint64_t badLines = 0;
  std::uint64_t gapsSkipped = 0;
  std::uint64_t connects = 0;  // RT Direct: sign-ins
  std::size_t trafficQueries = 0;  // RT Direct: all of them, and those before the fault
  std::size_t trafficQueriesBeforeFault = 0;
};

enum class FeedMode { RTApp, RTDirect };

struct RunResult {
  int exitCode = -1;
  tracepicture::Trace trace;
  Knowledge knowledge;
  FeedCounts feed;
  std::string log;
  std::string earlierLog;  // Log0.txt: the run before a restart
  std::string errors;
  std::filesystem::path programFolder;
  std::map<std::string, std::string> expectedTitles;  // by registration, the ladder's choice
  std::set<std::string> installedTitles;              // what the livery scan found
  WindowCounts window;                                // the counts the window showed at its close
  std::vector<std::string> appRequests;               // RT App: the request lines the app received
  // When the program was back after a fault took everything (RT App: it listens for the app
  // again), on the simulator's clock: its own pace, which a busy machine or the sanitizers slow.
  std::vector<double> programBackAt;
};

// Builds the traffic (seeded), runs the program with the faults of the plan and reads back the
// trace and the livery ladder's choices. A failure to set up throws std::runtime_error.
RunResult runScenario(const std::filesystem::path& runFolder, const FaultPlan& plan, FeedMode mode);

// Whether the program stands an airliner of this type (a heavy one or not) on the stand, by its own rule.
bool standTakes(const standin::sim::LayoutStand& stand, const std::string& type, bool heavy);

// The generator's traffic around LSZH with the noise the feed gets; kinds by registration, and
// when the flights that leave a stand push back (the feed's clock). `qnhDay`: another day, its
// weather at that QNH, its arrivals on 32 and 28, early.
rtstandin::TrafficScenario scenarioTraffic(std::map<std::string, Kind>& kinds,
                                           std::map<std::string, double>* pushbacks = nullptr,
                                           std::optional<int> qnhDay = std::nullopt);

}  // namespace e2e
