#include "tests/e2e/trace_checks.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

namespace e2e {

namespace {

using standin::sim::distanceMetres;
using standin::sim::kFeetPerMetre;
using tracepicture::Trace;
using tracepicture::TraceEvent;

constexpr double kKnotInMetresPerSecond = 1852.0 / 3600.0;

struct Span {
  const char* type;
  double metres;
};
constexpr Span kSpans[] = {{"A319", 35.8}, {"A320", 35.8}, {"A20N", 35.8}, {"A321", 35.8}, {"A333", 60.3},
                           {"A359", 64.8}, {"A388", 79.8}, {"B737", 35.8}, {"B738", 35.8}, {"B739", 35.8},
                           {"B744", 64.4}, {"B748", 68.4}, {"B752", 38.1}, {"B763", 47.6}, {"B772", 60.9},
                           {"B77L", 64.8}, {"B77W", 64.8}, {"B789", 60.1}, {"CRJ9", 24.9}, {"E190", 28.7},
                           {"E195", 28.7}, {"MD11", 51.7}, {"DH8D", 28.4}, {"AT76", 27.1}, {"C172", 11.0}};

// One complaint per object: the first fault it showed, and how many more.
class FirstAndMore {
 public:
  // `unit`: what the further faults are counted in (" second(s)"), after "and N more".
  explicit FirstAndMore(const char* unit = "") : unit_(unit) {}
  bool none() const { return first_.empty(); }
  void add(std::string fault) {
    if (first_.empty()) first_ = std::move(fault);
    else ++more_;
  }
  void into(Complaints& complaints) const {
    if (!first_.empty()) complaints.push_back(more_ ? fmt::format("{} (and {} more{})", first_, more_, unit_) : first_);
  }

 private:
  const char* unit_;
  std::string first_;
  std::size_t more_ = 0;
};

const FlightFact* lf_fact(const Knowledge& knowledge, const std::string& tail) {
  const auto it = knowledge.flights.find(tail);
  return it == knowledge.flights.end() ? nullptr : &it->second;
}

bool lf_finite(const TraceEvent& e) {
  return std::isfinite(e.latitude) && std::isfinite(e.longitude) && std::isfinite(e.altitude) &&
         std::isfinite(e.heading);
}

// The ground as the stand-in simulator has it: flat at the nearest fixture airport's elevation.
std::optional<double> lf_groundFeet(const Knowledge& knowledge, double lat, double lon) {
  std::optional<double> ground;
  double best = 0.0;
  for (const auto& airport : knowledge.airports) {
    const double dLat = airport.latitude - lat;
    const double dLon = std::remainder(airport.longitude - lon, 360.0) * std::cos(lat * M_PI / 180.0);
    const double d = dLat * dLat + dLon * dLon;
    if (!ground || d < best) {
      ground = airport.elevationMetres * kFeetPerMetre;
      best = d;
    }
  }
  return ground;
}

// Each object's events in order (create, poses, remove), by object id.
std::map<std::uint32_t, std::vector<const TraceEvent*>> lf_byObject(const Trace& trace) {
  std::map<std::uint32_t, std::vector<const TraceEvent*>> objects;
  for (const TraceEvent& e : trace.events)
    if (e.objectId) objects[*e.objectId].push_back(&e);
  return objects;
}

std::string lf_name(const TraceEvent& e) {
  return fmt::format("{} ({}, object {}) at {:.0f} s", e.tailNumber, e.title, e.objectId.value_or(0), e.t);
}

const standin::sim::FacilityLayout* lf_parkAirport(const Knowledge& knowledge) {
  for (const auto& airport : knowledge.airports)
    if (airport.icao == knowledge.parkAirport) return &airport;
  return nullptr;
}

// The stand an object stands on: the nearest within its radius (and a little for rounding).
const standin::sim::LayoutStand* lf_standAt(const standin::sim::FacilityLayout& airport, double lat, double lon) {
  const standin::sim::LayoutStand* found = nullptr;
  double best = 0.0;
  for (const auto& stand : airport.stands) {
    const double d = distanceMetres(lat, lon, stand.latitude, stand.longitude);
    if (d <= stand.radiusMetres + 2.0 && (!found || d < best)) {
      found = &stand;
      best = d;
    }
  }
  return found;
}

double lf_headingStep(double from, double to) {
  const double d = std::fabs(std::remainder(to - from, 360.0));
  return d;
}

double lf_categoryTopSpeedKt(const std::string& category) {
  if (category == "A1") return 200.0;
  if (category == "A2") return 300.0;
  if (category == "A7") return 160.0;  // rotorcraft
  return 520.0;  // large and heavy jets, a strong tailwind at cruise included
}

// Objects of live flights that moved or flew at some time: a static aircraft may bear the
// registration of a flight, but it never leaves its stand.
std::set<std::uint32_t> lf_movers(const Trace& trace) {
  std::set<std::uint32_t> movers;
  for (const auto& [id, events] : lf_byObject(trace))
    for (const TraceEvent* e : events)
      if (lf_finite(*e) && (!e->onGround || distanceMetres(events.front()->latitude, events.front()->longitude,
                                                           e->latitude, e->longitude) > 5.0)) {
        movers.insert(id);
        break;
      }
  return movers;
}

bool lf_liveFlight(const Knowledge& knowledge, const std::string& tail) {
  const FlightFact* fact = lf_fact(knowledge, tail);
  return fact && fact->kind != Kind::Parked;
}

// The time of the program's orderly removal of everything: the trace ends with removals only,
// after which nothing is left. A trace that ends otherwise ends after its last event.
double lf_orderlyEnd(const Trace& trace) {
  std::set<std::uint32_t> present;
  double end = -1.0;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    if (e.event == "remove") {
      present.erase(*e.objectId);
      if (end < 0.0) end = e.t;
    } else {
      present.insert(*e.objectId);
      end = -1.0;
    }
  }
  if (end >= 0.0 && present.empty()) return end;
  return trace.events.empty() ? 0.0 : trace.events.back().t + 1e-6;
}

std::optional<long> lf_count(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::stol(std::string(text));
}

}  // namespace

WindowCounts windowCountsOf(const std::string& windowTexts) {
  struct Painted {
    int x;
    int y;
    std::string text;
  };
  std::vector<Painted> painted;
  std::size_t from = 0;
  while (from < windowTexts.size()) {
    std::size_t end = windowTexts.find('\n', from);
    if (end == std::string::npos) end = windowTexts.size();
    const std::string line = windowTexts.substr(from, end - from);
    from = end + 1;
    // painted <x> <y> <text>
    const std::size_t a = line.find('\t');
    const std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    const std::size_t c = b == std::string::npos ? b : line.find('\t', b + 1);
    if (c == std::string::npos || line.compare(0, a, "painted") != 0) continue;
    const auto x = lf_count(std::string_view(line).substr(a + 1, b - a - 1));
    const auto y = lf_count(std::string_view(line).substr(b + 1, c - b - 1));
    if (x && y) painted.push_back({static_cast<int>(*x), static_cast<int>(*y), line.substr(c + 1)});
  }
  WindowCounts counts;
  auto after = [](const std::string& text, std::string_view prefix) -> std::optional<long> {
    if (!text.starts_with(prefix)) return std::nullopt;
    std::string_view rest = std::string_view(text).substr(prefix.size());
    return lf_count(rest.substr(0, rest.find('(')));
  };
  for (const Painted& p : painted) {
    if (auto n = after(p.text, "park live:")) counts.parkedLive = n;
    if (auto n = after(p.text, "static:")) counts.parkedStatic = n;
    if (auto n = after(p.text, "max park:")) counts.maxPark = n;
    // The live count stands alone to the right of its label, on the label's line.
    if (p.text == "# live aircraft:")
      for (const Painted& q : painted)
        if (q.y == p.y && q.x > p.x)
          if (auto n = lf_count(q.text)) counts.live = n;
  }
  return counts;
}

Knowledge knowledgeOf(const rtstandin::TrafficScenario& scenario, const std::map<std::string, Kind>& kinds) {
  Knowledge knowledge;
  for (const rtstandin::Flight& flight : scenario.flights) {
    FlightFact fact;
    const auto kind = kinds.find(flight.registration);
    fact.kind = kind == kinds.end() ? Kind::Overflight : kind->second;
    fact.registration = flight.registration;
    fact.airline = flight.airline;
    fact.type = flight.type;
    fact.category = flight.emitterCategory;
    if (!flight.track.empty()) fact.trackEnd = flight.track.back().t;
    for (std::size_t i = 0; i < flight.track.size(); ++i) {
      const rtstandin::TrackPoint& p = flight.track[i];
      if (std::isfinite(p.gs)) fact.topSpeedKt = std::max(fact.topSpeedKt, p.gs);
      if (std::isfinite(p.gs) && p.altitude <= 0.0) fact.topGroundSpeedKt = std::max(fact.topGroundSpeedKt, p.gs);
      if (i > 0 && p.t > flight.track[i - 1].t) {
        const rtstandin::TrackPoint& before = flight.track[i - 1];
        fact.topTurnDegPerS = std::max(fact.topTurnDegPerS, lf_headingStep(before.track, p.track) / (p.t - before.t));
      }
    }
    knowledge.flights[flight.registration] = fact;
  }
  for (const rtstandin::ParkedAircraft& parked : scenario.parked) {
    FlightFact fact;
    fact.kind = Kind::Parked;
    fact.registration = parked.registration;
    fact.type = parked.type;
    knowledge.flights.emplace(parked.registration, fact);
  }
  return knowledge;
}

double halfSpanMetres(const std::string& type) {
  for (const Span& span : kSpans)
    if (type == span.type) return span.metres / 2.0;
  return 36.0 / 2.0;
}

namespace {

// The feed time at which what the feeder sent of a flight passed nearest a pose, on its stretches
// in the air or on the ground; none farther off than `withinMetres`.
std::optional<double> lf_feedTimeAt(const FlightFact& fact, const TraceEvent& e, bool airborne, double withinMetres) {
  constexpr double kMetresPerDegree = 111320.0;
  const double east = kMetresPerDegree * std::cos(e.latitude * M_PI / 180.0);
  double best = withinMetres;
  std::optional<double> feedTime;
  for (std::size_t i = 1; i < fact.sent.size(); ++i) {
    const FlightFact::Sent& a = fact.sent[i - 1];
    const FlightFact::Sent& b = fact.sent[i];
    if (!(b.t > a.t) || (a.altitude > 0.0) != airborne || (b.altitude > 0.0) != airborne) continue;
    const double bx = (b.lon - a.lon) * east;
    const double by = (b.lat - a.lat) * kMetresPerDegree;
    const double px = (e.longitude - a.lon) * east;
    const double py = (e.latitude - a.lat) * kMetresPerDegree;
    const double length2 = bx * bx + by * by;
    if (length2 < 1.0) continue;  // a repeated report: no direction to read a time from
    const double u = std::clamp((px * bx + py * by) / length2, 0.0, 1.0);
    const double d = std::hypot(px - u * bx, py - u * by);
    if (d < best) {
      best = d;
      feedTime = a.t + u * (b.t - a.t);
    }
  }
  return feedTime;
}

double lf_median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

}  // namespace

FeedProgress feedProgress(const Trace& trace, const Knowledge& knowledge) {
  // A pose farther off its flight's reported track than this is no reading of where it is in
  // the feed (the program's turn or flare smoothing, a go-around of its own).
  constexpr double kOffTrackMetres = 300.0;
  std::map<double, std::vector<double>> bySecond;  // simulator time -> feed times of its poses
  for (const TraceEvent& e : trace.events) {
    if (e.event != "pose" || e.onGround || !lf_finite(e)) continue;
    const FlightFact* fact = lf_fact(knowledge, e.tailNumber);
    if (!fact || fact->kind == Kind::Parked || fact->sent.size() < 2) continue;
    if (const auto feedTime = lf_feedTimeAt(*fact, e, true, kOffTrackMetres)) bySecond[e.t].push_back(*feedTime);
  }
  // The median of each second's flights and the seconds around it: one flight the program flies
  // off its reports, or a second with few flights about, does not move the reading.
  const auto median = lf_median;
  std::vector<std::pair<double, double>> seconds;
  for (const auto& [t, times] : bySecond) seconds.emplace_back(t, median(times));
  FeedProgress progress;
  for (std::size_t i = 0; i < seconds.size(); ++i) {
    std::vector<double> offsets;
    for (std::size_t j = i >= 2 ? i - 2 : 0; j < std::min(seconds.size(), i + 3); ++j)
      if (std::fabs(seconds[j].first - seconds[i].first) <= 2.5) offsets.push_back(seconds[j].first - seconds[j].second);
    progress.points.push_back({seconds[i].first, seconds[i].first - median(offsets)});
  }
  return progress;
}

std::optional<double> FeedProgress::simTimeOf(double feedSeconds) const {
  // Readings a few seconds apart in the feed are one stretch the program flew through; a larger
  // step is a stretch it never showed (a restart, a silence).
  constexpr double kStretchSeconds = 5.0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Point& p = points[i];
    if (p.feedSeconds < feedSeconds) continue;
    if (i == 0 || p.feedSeconds - points[i - 1].feedSeconds > kStretchSeconds) return p.simSeconds;
    const Point& q = points[i - 1];
    return q.simSeconds + (p.simSeconds - q.simSeconds) * (feedSeconds - q.feedSeconds) / (p.feedSeconds - q.feedSeconds);
  }
  return std::nullopt;
}

Complaints floatingOrSinking(const Trace& trace, const Knowledge& knowledge) {
  Complaints complaints;
  std::set<std::uint32_t> named;  // one complaint per object and fault is enough
  for (const TraceEvent& e : trace.events) {
    if (e.event != "pose" || !lf_finite(e)) continue;
    const auto ground = lf_groundFeet(knowledge, e.latitude, e.longitude);
    if (!ground) continue;
    const double aboveGear = e.altitude - *ground - knowledge.cgFeet;
    std::string fault;
    // Rotating on its main wheels, the nose up, an aircraft leaves the ground: the simulator's gear
    // still counts it on the ground a foot or two up.
    const bool rotating = e.pitch && *e.pitch >= 2.0 && aboveGear > 0.0 && aboveGear <= 2.0;
    if (e.onGround && std::fabs(aboveGear) > 1.0 && !rotating) {
      // At or under the feed's 0 ft: the height the reports give aircraft on the ground, kept.
      fault = fmt::format("on the ground {:+.1f} ft off its gear{}", aboveGear,
                          e.altitude <= 0.5 ? ", at the feed's ground height 0 ft or under it" : "");
    } else if (e.altitude < *ground - 0.5) {
      fault = fmt::format("{:.1f} ft below the ground", *ground - e.altitude);
    } else if (const FlightFact* fact = lf_fact(knowledge, e.tailNumber);
               fact && (fact->kind == Kind::Parked || fact->kind == Kind::TaxiOut || fact->kind == Kind::TaxiIn) &&
               !e.onGround) {
      fault = fmt::format("a ground flight {:.1f} ft above its gear", aboveGear);
    }
    if (!fault.empty() && named.insert(*e.objectId).second) complaints.push_back(lf_name(e) + ": " + fault);
  }
  return complaints;
}

Complaints ghostsAndDuplicates(const Trace& trace, const Knowledge& knowledge) {
  Complaints complaints;
  // A flight is what moves or flies; a parked aircraft may bear a registration that a flight has too.
  const std::set<std::uint32_t> flying = lf_movers(trace);
  std::map<std::uint32_t, const TraceEvent*> present;  // the latest event of each object there
  std::map<std::uint32_t, const TraceEvent*> before;   // its pose the second before
  std::set<std::pair<std::string, double>> namedTwins;
  std::set<std::pair<std::uint32_t, std::uint32_t>> namedClose;
  // Two aircraft standing still (a step under half a metre) overlap when one stands within the other's half span.
  auto closeCheck = [&](double t) {
    std::vector<const TraceEvent*> standing;
    for (const auto& [id, e] : present) {
      const auto it = before.find(id);
      if (e->t == t && e->onGround && lf_finite(*e) && it != before.end() &&
          distanceMetres(it->second->latitude, it->second->longitude, e->latitude, e->longitude) < 0.5)
        standing.push_back(e);
    }
    for (std::size_t i = 0; i < standing.size(); ++i)
      for (std::size_t j = i + 1; j < standing.size(); ++j) {
        const TraceEvent& a = *standing[i];
        const TraceEvent& b = *standing[j];
        const FlightFact* fa = lf_fact(knowledge, a.tailNumber);
        const FlightFact* fb = lf_fact(knowledge, b.tailNumber);
        // A live aircraft stands where its reports put it, close by a parked one at times: only one
        // standing inside the other's body is a fault there; parked ones keep their wings apart.
        const bool live = (fa && fa->kind != Kind::Parked) || (fb && fb->kind != Kind::Parked);
        const double allowed = (live ? 0.5 : 1.0) *
                               std::max(halfSpanMetres(fa ? fa->type : ""), halfSpanMetres(fb ? fb->type : ""));
        const double d = distanceMetres(a.latitude, a.longitude, b.latitude, b.longitude);
        if (d < allowed && namedClose.insert({*a.objectId, *b.objectId}).second)
          complaints.push_back(fmt::format("{} and {}: {:.1f} m apart on the ground, {:.1f} m needed", lf_name(a),
                                           lf_name(b), d, allowed));
      }
  };
  double second = -1.0;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    if (e.event == "pose" && e.t != second) {
      if (second >= 0.0) closeCheck(second);
      second = e.t;
    }
    if (e.event == "remove") {
      present.erase(*e.objectId);
      before.erase(*e.objectId);
      continue;
    }
    if (e.event == "create" && !e.tailNumber.empty() && flying.contains(*e.objectId)) {
      for (const auto& [id, other] : present)
        if (id != *e.objectId && flying.contains(id) && other->tailNumber == e.tailNumber &&
            namedTwins.insert({e.tailNumber, e.t}).second)
          complaints.push_back(fmt::format("{} created while object {} of the same flight is there", lf_name(e), id));
    }
    if (const auto it = present.find(*e.objectId); it != present.end() && e.event == "pose")
      before[*e.objectId] = it->second;
    present[*e.objectId] = &e;
  }
  if (second >= 0.0) closeCheck(second);
  return complaints;
}

Complaints stuckAtTheGate(const Trace& trace, const Knowledge& knowledge, std::size_t* judged) {
  Complaints complaints;
  // How far each flight's objects went from where its first one appeared.
  std::map<std::string, std::pair<const TraceEvent*, double>> moved;
  std::map<std::string, const TraceEvent*> last;
  std::map<std::string, bool> removed;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId || e.tailNumber.empty() || !lf_finite(e)) continue;
    auto& [first, farthest] = moved[e.tailNumber];
    if (!first) first = &e;
    farthest = std::max(farthest, distanceMetres(first->latitude, first->longitude, e.latitude, e.longitude));
    last[e.tailNumber] = &e;
    removed[e.tailNumber] = e.event == "remove";
  }
  const auto* airport = lf_parkAirport(knowledge);
  const FeedProgress progress = feedProgress(trace, knowledge);
  // What the program flew of the feed, less its lead-in and smoothing: by its own pace when its
  // airborne traffic shows it.
  const double played = progress.points.empty()
                            ? knowledge.playedUntil
                            : std::min(knowledge.playedUntil, progress.points.back().feedSeconds);
  const double horizon = played - 5.0;
  const double orderlyEnd = lf_orderlyEnd(trace);
  const auto objects = lf_byObject(trace);
  for (const auto& [tail, fact] : knowledge.flights) {
    if (std::isfinite(fact.pushbackAt)) {
      // The simulator shows a departure leave its stand when the feed's push-back, flown the
      // program's delay later, says so. Reports come every 2 to 10 s and the program flies
      // between them: the first movement may show up to one gap early, and it needs a report
      // that has moved before it pushes back: up to two gaps late.
      constexpr double kEarly = 10.0;
      constexpr double kLate = 20.0;
      // Due when the program shows the rest of its traffic at the push-back's feed time; by the
      // clocks' offset and its delay when no airborne flight tells where it stands.
      double due = fact.pushbackAt + knowledge.feedToSimSeconds + knowledge.delaySeconds;
      if (!progress.points.empty()) {
        const std::optional<double> shown = progress.simTimeOf(fact.pushbackAt);
        if (!shown) continue;  // the program never flew that far
        due = *shown;
      }
      for (const auto& [id, events] : objects) {
        const TraceEvent& created = *events.front();
        if (created.tailNumber != tail || created.event != "create" || !created.onGround) continue;
        // An object created away from the stand came moving: only one on its stand is judged,
        // also when it came late.
        const bool onItsStand =
            fact.sent.empty() ? created.t <= due - kEarly
                              : distanceMetres(fact.sent.front().lat, fact.sent.front().lon, created.latitude,
                                               created.longitude) < 30.0;
        if (!onItsStand) continue;
        const std::string came =
            created.t > due - kEarly ? fmt::format(", appears on its stand {:.0f} s after it was due,", created.t - due)
                                     : std::string();
        const TraceEvent* left = nullptr;
        const TraceEvent* gone = nullptr;
        for (const TraceEvent* e : events) {
          if (e->event == "remove") {
            gone = e;
            break;
          }
          if (lf_finite(*e) && distanceMetres(created.latitude, created.longitude, e->latitude, e->longitude) > 5.0) {
            left = e;
            break;
          }
        }
        // Taken away (a fault) or the run ended before it was to go at the latest: nothing to judge.
        if (!left && (gone ? gone->t : orderlyEnd) < due + kLate) continue;
        if (judged) ++*judged;
        if (left && left->t < due - kEarly)
          complaints.push_back(fmt::format("{} ({}) leaves its stand at {:.0f} s, its push-back is due at {:.0f} s",
                                           tail, fact.type, left->t, due));
        else if (!left)
          complaints.push_back(fmt::format("{} ({}){} stays on its stand until {:.0f} s, its push-back was due at {:.0f} s",
                                           tail, fact.type, came, gone ? gone->t : orderlyEnd, due));
        else if (left->t > due + kLate)
          complaints.push_back(fmt::format("{} ({}){} leaves its stand at {:.0f} s, {:.0f} s after its push-back was due",
                                           tail, fact.type, came, left->t, left->t - due));
        // Judged once, on the first object that could show it: one made again after a fault
        // takes up the push where the last one was.
        break;
      }
      continue;
    }
    const auto it = moved.find(tail);
    if (fact.sent.empty() || it == moved.end()) continue;
    if ((fact.kind == Kind::Departure || fact.kind == Kind::TaxiOut) && fact.sent.front().altitude <= 0.0) {
      // What the feed moved by more than a stand's length while the program flew it, the
      // simulator shows moving too, if late.
      double fed = 0.0;
      for (const FlightFact::Sent& p : fact.sent)
        if (p.t <= horizon)
          fed = std::max(fed, distanceMetres(fact.sent.front().lat, fact.sent.front().lon, p.lat, p.lon));
      if (fed > 300.0 && it->second.second < 0.3 * fed)
        complaints.push_back(fmt::format("{} ({}) stays put: the feed moved it {:.0f} m, the simulator {:.0f} m", tail,
                                         fact.type, fed, it->second.second));
    }
    if ((fact.kind == Kind::Arrival || fact.kind == Kind::TaxiIn) && fact.trackEnd + 15.0 < horizon && airport) {
      // Its reports ended well before the program's flight did: it parks on a stand or leaves.
      const TraceEvent& end = *last.at(tail);
      if (!removed[tail] && !lf_standAt(*airport, end.latitude, end.longitude))
        complaints.push_back(fmt::format("{} ({}) arrived and neither reached a stand nor left: last at {:.6f},{:.6f}",
                                         tail, fact.type, end.latitude, end.longitude));
    }
  }
  return complaints;
}

Complaints parkedLivePastTheRules(const Trace& trace, const Knowledge& knowledge, std::optional<long> maxPark) {
  Complaints complaints;
  const auto* airport = lf_parkAirport(knowledge);
  if (!airport) return complaints;
  const std::set<std::uint32_t> movers = lf_movers(trace);
  const std::vector<double> wholesale = wholesaleRemovals(trace);
  // Parked at time t: live aircraft resting on a stand and static aircraft at the airport.
  struct Rest {
    std::uint32_t id;
    double from;
    double until;
    bool removedAlone;  // removed there, not with everything else
  };
  std::vector<Rest> rests;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const std::string& tail = events.front()->tailNumber;
    if (!movers.contains(id) || !lf_liveFlight(knowledge, tail)) continue;
    const FlightFact& fact = *lf_fact(knowledge, tail);
    // Where it comes to rest on a stand after moving: ten seconds without half a metre's step.
    for (std::size_t i = 1; i < events.size(); ++i) {
      const TraceEvent& at = *events[i];
      if (at.event == "remove" || !at.onGround || !lf_finite(at)) continue;
      const auto* stand = lf_standAt(*airport, at.latitude, at.longitude);
      if (!stand) continue;
      std::size_t j = i;
      while (j + 1 < events.size() && lf_finite(*events[j + 1]) &&
             distanceMetres(at.latitude, at.longitude, events[j + 1]->latitude, events[j + 1]->longitude) < 0.5)
        ++j;
      const TraceEvent& last = *events[j];
      if (last.t - at.t < 10.0 && last.event != "remove") continue;
      rests.push_back({id, at.t, last.t, false});
      // Unreported it goes after 90 minutes (180 for a heavy), at the next adjustment.
      double reported = at.t;
      for (const FlightFact::Sent& p : fact.sent)
        if (p.altitude <= 0.0 && distanceMetres(p.lat, p.lon, stand->latitude, stand->longitude) <= stand->radiusMetres + 10.0)
          reported = std::max(reported, p.t + knowledge.feedToSimSeconds + knowledge.delaySeconds);
      const double limit = ((fact.category == "A5" ? 180.0 : 90.0) + knowledge.parkingIntervalMinutes + 1.0) * 60.0;
      if (last.t - reported > limit)
        complaints.push_back(fmt::format("{} on {}: parked unreported from {:.0f} s to {:.0f} s, past {:.0f} min",
                                         lf_name(at), stand->name, reported, last.t, limit / 60.0));
      // Silent, it stays: its removal there needs a fault, the shutdown, or more parked than wanted.
      rests.back().removedAlone =
          last.event == "remove" && std::find(wholesale.begin(), wholesale.end(), last.t) == wholesale.end();
      break;
    }
  }
  auto parkedAt = [&](double t) {
    std::size_t parked = 0;
    for (const Rest& r : rests) parked += r.from <= t && t <= r.until ? 1 : 0;
    std::map<std::uint32_t, const TraceEvent*> present;
    for (const TraceEvent& e : trace.events) {
      if (e.t > t) break;
      if (!e.objectId) continue;
      if (e.event == "remove") present.erase(*e.objectId);
      else present[*e.objectId] = &e;
    }
    for (const auto& [id, e] : present)
      if (!movers.contains(id) && !e->tailNumber.empty() && lf_finite(*e) &&
          distanceMetres(e->latitude, e->longitude, airport->latitude, airport->longitude) < 10000.0)
        ++parked;
    return parked;
  };
  // Judged once every rest is known: the others parked then count.
  for (const Rest& r : rests) {
    if (!r.removedAlone) continue;
    const double t = r.until;
    const std::size_t parked = parkedAt(t - 1e-6);
    if (maxPark && parked > static_cast<std::size_t>(std::max(*maxPark, 0L))) continue;
    complaints.push_back(fmt::format("object {}: parked live from {:.0f} s, removed at {:.0f} s with {} parked{}", r.id,
                                     r.from, t, parked,
                                     maxPark ? fmt::format(" of {} wanted", *maxPark) : std::string(", no limit known")));
  }
  return complaints;
}

Complaints windowCountsDiffer(const Trace& trace, const Knowledge& knowledge, const WindowCounts& shown) {
  if (!shown.live && !shown.parkedLive && !shown.parkedStatic) return {"the window shows no aircraft counts"};
  // When the program's own removal at its end had nothing to take, a fault took every object
  // before the close: then what the trace was left with is what held.
  const double end = knowledge.ownedAtShutdown == std::size_t{0} ? std::numeric_limits<double>::infinity()
                                                                  : lf_orderlyEnd(trace);
  // The counts are posted once per engine step, each second, and the window closes before the
  // program removes its objects: what it showed held in the trace within these seconds before.
  constexpr double kLag = 3.0;
  const std::set<std::uint32_t> movers = lf_movers(trace);
  struct Tally {
    long live = 0;    // objects of live flights that moved
    long still = 0;   // objects of live flights' registrations that never moved: live or static
    long parked = 0;  // static aircraft
    bool operator==(const Tally&) const = default;
  };
  std::map<std::uint32_t, const TraceEvent*> present;
  auto tally = [&] {
    Tally t;
    for (const auto& [id, e] : present) {
      // The user's own aircraft is no object of ours; one without a tail is a static whose record had none.
      if (!lf_liveFlight(knowledge, e->tailNumber)) ++t.parked;
      else if (movers.contains(id)) ++t.live;
      else ++t.still;
    }
    return t;
  };
  std::vector<Tally> seen;
  for (const TraceEvent& e : trace.events) {
    if (e.t >= end) break;
    if (!e.objectId) continue;
    if (e.t >= end - kLag && seen.empty()) seen.push_back(tally());
    if (e.event == "remove") present.erase(*e.objectId);
    else present[*e.objectId] = &e;
    if (e.t >= end - kLag && !(tally() == seen.back())) seen.push_back(tally());
  }
  if (seen.empty()) seen.push_back(tally());
  const long shownLive = shown.live.value_or(0) + shown.parkedLive.value_or(0);
  for (const Tally& t : seen) {
    const bool liveFits = !shown.live || (shownLive >= t.live && shownLive <= t.live + t.still);
    const bool staticFits = !shown.parkedStatic || !shown.live || shownLive + *shown.parkedStatic == t.live + t.still + t.parked;
    const bool staticAloneFits = !shown.parkedStatic || shown.live ||
                                 (*shown.parkedStatic >= t.parked && *shown.parkedStatic <= t.parked + t.still);
    if (liveFits && staticFits && staticAloneFits) return {};
  }
  auto text = [](const std::optional<long>& n) { return n ? std::to_string(*n) : std::string("-"); };
  std::string held;
  for (const Tally& t : seen) held += fmt::format(" {}+{}?/{}", t.live, t.still, t.parked);
  return {fmt::format("the window shows {} live, {} parked live and {} static aircraft at its close; the simulator "
                      "held (live + either / static) {} in the {:.0f} s before the orderly end at {:.0f} s",
                      text(shown.live), text(shown.parkedLive), text(shown.parkedStatic), held, kLag, end)};
}

Complaints wrongLivery(const Trace& trace, const Knowledge& knowledge,
                       const std::map<std::string, std::string>& expected, const std::set<std::string>& installed) {
  Complaints complaints;
  for (const TraceEvent& e : trace.events) {
    if (e.event != "create" && e.event != "refuse") continue;
    const FlightFact* fact = lf_fact(knowledge, e.tailNumber);
    const bool live = fact && fact->kind != Kind::Parked;
    if (const auto it = expected.find(e.tailNumber); live && it != expected.end()) {
      if (e.title != it->second)
        complaints.push_back(fmt::format("{} ({} {}): \"{}\" where the ladder gives \"{}\"", lf_name(e), fact->airline,
                                         fact->type, e.title, it->second));
    } else if (!installed.contains(e.title)) {
      complaints.push_back(fmt::format("{}: \"{}\" is no installed livery", lf_name(e), e.title));
    }
  }
  return complaints;
}

Complaints teleporting(const Trace& trace, const Knowledge& knowledge) {
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const FlightFact* fact = lf_fact(knowledge, events.front()->tailNumber);
    const double topKt = fact ? std::max(lf_categoryTopSpeedKt(fact->category), fact->topSpeedKt)
                              : lf_categoryTopSpeedKt("A3");
    const double turnDegPerS = std::max(fact ? fact->topTurnDegPerS : 0.0, 3.0);
    const TraceEvent* previous = nullptr;
    for (const TraceEvent* e : events) {
      if (e->event == "remove" || !lf_finite(*e)) continue;
      if (previous && e->t > previous->t) {
        const double dt = e->t - previous->t;
        const double metres = distanceMetres(previous->latitude, previous->longitude, e->latitude, e->longitude);
        const double speed = metres / dt / kKnotInMetresPerSecond;
        // On the ground the fastest is the flight's own fastest roll there, and a brisk taxi at least.
        const bool rolling = previous->onGround && e->onGround;
        const double limitKt = rolling ? std::max(fact ? fact->topGroundSpeedKt : 0.0, 40.0) : topKt;
        // On the ground an aircraft turns on its nose wheel: far quicker than a rate-one turn.
        const double turnLimit = 1.5 * (rolling ? std::max(turnDegPerS, 30.0) : turnDegPerS);
        const double turn = lf_headingStep(previous->heading, e->heading) / dt;
        if (speed > 1.5 * limitKt) {
          complaints.push_back(
              fmt::format("{}: {:.0f} kt in one step, above 1.5 x {:.0f} kt", lf_name(*e), speed, limitKt));
          break;
        }
        if (turn > turnLimit) {
          complaints.push_back(fmt::format("{}: turns {:.1f} deg/s, above {:.1f} deg/s", lf_name(*e), turn, turnLimit));
          break;
        }
      }
      previous = e;
    }
  }
  return complaints;
}

Complaints parkedAircraft(const Trace& trace, const Knowledge& knowledge, double wantedShare) {
  Complaints complaints;
  const auto* airport = lf_parkAirport(knowledge);
  if (!airport) return {"no facility data of the park airport " + knowledge.parkAirport};
  // Static aircraft: created on the ground and never a live flight.
  std::map<std::uint32_t, const TraceEvent*> holders;  // by object: its create
  std::map<std::string, std::uint32_t> standHolder;    // stand name -> object there now
  std::size_t mostStatic = 0;
  std::map<std::uint32_t, std::string> standOf;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    const FlightFact* fact = lf_fact(knowledge, e.tailNumber);
    const bool isStatic = !fact || fact->kind == Kind::Parked;
    if (e.event == "remove") {
      if (const auto it = standOf.find(*e.objectId); it != standOf.end()) {
        if (standHolder[it->second] == *e.objectId) standHolder.erase(it->second);
        standOf.erase(it);
      }
      holders.erase(*e.objectId);
      continue;
    }
    if (e.event != "create" || !isStatic || !lf_finite(e)) continue;
    const double distance = distanceMetres(e.latitude, e.longitude, airport->latitude, airport->longitude);
    if (distance > 10000.0) continue;  // another airport's
    const auto* stand = lf_standAt(*airport, e.latitude, e.longitude);
    if (!stand) {
      complaints.push_back(fmt::format("{}: parked at {:.6f},{:.6f}, on no stand of {}", lf_name(e), e.latitude,
                                       e.longitude, airport->icao));
      continue;
    }
    if (const auto it = standHolder.find(stand->name); it != standHolder.end())
      complaints.push_back(fmt::format("{}: parked on {}, which object {} holds", lf_name(e), stand->name, it->second));
    standHolder[stand->name] = *e.objectId;
    standOf[*e.objectId] = stand->name;
    holders[*e.objectId] = &e;
    mostStatic = std::max(mostStatic, holders.size());
  }
  std::size_t parkable = 0;
  for (const auto& stand : airport->stands) parkable += stand.radiusMetres >= 10.0 ? 1 : 0;
  const double wanted = std::floor(parkable * wantedShare / 100.0);
  // Stands taken by live aircraft and the user's are left out of the target: half of it is the floor.
  if (static_cast<double>(mostStatic) < 0.5 * wanted)
    complaints.push_back(fmt::format("at most {} parked aircraft at {} where {:.0f} % of {} stands are wanted",
                                     mostStatic, airport->icao, wantedShare, parkable));

  return complaints;
}

Complaints leftBehind(const Trace& trace) {
  std::map<std::uint32_t, const TraceEvent*> present;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    if (e.event == "remove")
      present.erase(*e.objectId);
    else
      present[*e.objectId] = &e;
  }
  Complaints complaints;
  for (const auto& [id, e] : present) complaints.push_back(lf_name(*e) + " is still in the simulator");
  return complaints;
}

namespace {

// An object's poses with a finite position, in order (its create's pose first).
std::vector<const TraceEvent*> lf_poses(const std::vector<const TraceEvent*>& events) {
  std::vector<const TraceEvent*> poses;
  for (const TraceEvent* e : events)
    if (e->event != "remove" && lf_finite(*e)) poses.push_back(e);
  return poses;
}

// The first pose at least `seconds` after poses[i]; poses.size() when there is none.
std::size_t lf_after(const std::vector<const TraceEvent*>& poses, std::size_t i, double seconds) {
  std::size_t j = i + 1;
  while (j < poses.size() && poses[j]->t < poses[i]->t + seconds - 1e-6) ++j;
  return j;
}

// Knots between two poses, and the bearing of the move.
double lf_speedKt(const TraceEvent& a, const TraceEvent& b) {
  if (b.t <= a.t) return 0.0;
  return distanceMetres(a.latitude, a.longitude, b.latitude, b.longitude) / (b.t - a.t) / kKnotInMetresPerSecond;
}

bool lf_groundAll(const std::vector<const TraceEvent*>& poses, std::size_t from, std::size_t to) {
  for (std::size_t k = from; k <= to && k < poses.size(); ++k)
    if (!poses[k]->onGround) return false;
  return true;
}

double lf_meanHeading(double a, double b) { return a + std::remainder(b - a, 360.0) / 2.0; }

// The window of every rate the checks measure: two simulator seconds, so that one late frame of
// a loaded machine neither makes nor hides a fault.
constexpr double kWindowSeconds = 2.0;

// From when an object's motion tells how the program drives it. An object made again after a
// fault took every object (the simulator's restart) stays where it was made until the program
// has it, however long a busy machine takes for that, and then goes on at its flight's pace:
// only a window after it first moved. Any other object from its first pose.
double lf_judgedFrom(const std::vector<const TraceEvent*>& events, const std::vector<const TraceEvent*>& poses,
                     const std::vector<double>& faults) {
  double settled = -std::numeric_limits<double>::infinity();
  if (events.front()->event == "create")
    for (const double fault : faults) {
      if (!(events.front()->t >= fault && events.front()->t < fault + 30.0)) continue;
      settled = std::numeric_limits<double>::infinity();
      for (const TraceEvent* pose : poses) {
        if (distanceMetres(events.front()->latitude, events.front()->longitude, pose->latitude, pose->longitude) > 0.5) {
          settled = pose->t + kWindowSeconds;
          break;
        }
      }
    }
  return settled;
}

// The first pose on the ground after one in the air: the touch-down; poses.size() for none.
std::size_t lf_touchDown(const std::vector<const TraceEvent*>& poses) {
  for (std::size_t i = 1; i < poses.size(); ++i)
    if (poses[i]->onGround && !poses[i - 1]->onGround) return i;
  return poses.size();
}

bool lf_airliner(const FlightFact* fact) {
  return fact && fact->kind != Kind::Parked && (fact->category == "A3" || fact->category == "A4" || fact->category == "A5");
}

}  // namespace

Complaints landingsOffTheRunway(const Trace& trace, const Knowledge& knowledge) {
  Complaints complaints;
  const auto* airport = lf_parkAirport(knowledge);
  if (!airport) return complaints;
  // The touch-down zone: the first 900 m (about 3000 ft) past the threshold; the first ground
  // pose comes up to a second after the contact.
  constexpr double kZoneMetres = 900.0;
  for (const tracepicture::TouchDown& td : tracepicture::touchDowns(trace, *airport)) {
    const FlightFact* fact = lf_fact(knowledge, td.tailNumber);
    if (!fact || fact->kind != Kind::Arrival) continue;
    const std::string who = fmt::format("{} (object {}) at {:.0f} s", td.tailNumber, td.objectId, td.t);
    if (td.runway.empty())
      complaints.push_back(fmt::format("{}: touches down on no runway, at {:.6f},{:.6f}", who, td.latitude, td.longitude));
    else if (td.shortOfRunway())
      complaints.push_back(fmt::format("{}: touches down {:.0f} m short of runway {}", who, -td.pastThresholdMetres, td.runway));
    else if (!td.onRunway)
      complaints.push_back(fmt::format("{}: touches down off runway {}, {:.0f} m from its centreline, {:.0f} m past its threshold",
                                       who, td.runway, td.offCentreMetres, td.pastThresholdMetres));
    else if (td.pastThresholdMetres > kZoneMetres + td.groundSpeedKt * kKnotInMetresPerSecond)
      complaints.push_back(fmt::format("{}: touches down {:.0f} m past the threshold of {}, beyond its touch-down zone", who,
                                       td.pastThresholdMetres, td.runway));
  }
  return complaints;
}

Complaints steepNearTheGround(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kBelowFeet = 200.0;
  constexpr double kMostFtMin = 1500.0;
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const auto poses = lf_poses(events);
    for (std::size_t i = 0; i < poses.size(); ++i) {
      const std::size_t j = lf_after(poses, i, kWindowSeconds);
      if (j >= poses.size() || poses[i]->onGround) continue;
      const TraceEvent& a = *poses[i];
      const TraceEvent& b = *poses[j];
      const auto ground = lf_groundFeet(knowledge, b.latitude, b.longitude);
      if (!ground || b.altitude - *ground - knowledge.cgFeet > kBelowFeet) continue;
      const double rate = (b.altitude - a.altitude) / (b.t - a.t) * 60.0;
      if (rate < -kMostFtMin) {
        complaints.push_back(fmt::format("{}: descends {:.0f} ft/min at {:.0f} ft over the ground", lf_name(b), -rate,
                                         std::max(0.0, b.altitude - *ground - knowledge.cgFeet)));
        break;
      }
    }
  }
  return complaints;
}

Complaints removedNearTheGround(const Trace& trace, const Knowledge& knowledge) {
  Complaints complaints;
  const auto* airport = lf_parkAirport(knowledge);
  if (!airport) return complaints;
  const std::vector<double> wholesale = wholesaleRemovals(trace);
  for (const tracepicture::AirRemoval& r : tracepicture::removalsInTheAir(trace, *airport, 300.0)) {
    if (std::find(wholesale.begin(), wholesale.end(), r.t) != wholesale.end()) continue;
    complaints.push_back(fmt::format("{} (object {}) removed in the air {:.0f} ft over the field at {:.0f} s", r.tailNumber,
                                     r.objectId, r.heightFeet, r.t));
  }
  return complaints;
}

Complaints slidingOnTheGround(const Trace& trace) {
  constexpr double kFromKt = 5.0;
  constexpr double kMostDeg = 20.0;
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const auto poses = lf_poses(events);
    for (std::size_t i = 0; i < poses.size(); ++i) {
      const std::size_t j = lf_after(poses, i, kWindowSeconds);
      if (j >= poses.size() || !lf_groundAll(poses, i, j)) continue;
      const TraceEvent& a = *poses[i];
      const TraceEvent& b = *poses[j];
      const double kt = lf_speedKt(a, b);
      if (kt <= kFromKt) continue;
      const double moving = standin::sim::bearingDeg(a.latitude, a.longitude, b.latitude, b.longitude);
      const double off = std::fabs(std::remainder(moving - lf_meanHeading(a.heading, b.heading), 360.0));
      if (off > kMostDeg && off < 180.0 - kMostDeg) {
        complaints.push_back(fmt::format("{}: heading {:.0f} deg while moving along {:.0f} deg at {:.0f} kt", lf_name(b),
                                         lf_meanHeading(a.heading, b.heading), moving, kt));
        break;
      }
    }
  }
  return complaints;
}

namespace {
bool lf_linedUp(const Knowledge& knowledge, const TraceEvent& e);

// A take-off roll: lined up on a runway all the way to its lift-off, or to its removal at speed.
std::set<const TraceEvent*> lf_takeoffRolls(const std::vector<const TraceEvent*>& poses, const Knowledge& knowledge) {
  // A roll the run's end cuts off some seconds in is past a taxi's speed already.
  constexpr double kFastKt = 20.0;
  std::set<const TraceEvent*> rolling;
  for (std::size_t i = poses.size(); i-- > 0;) {
    const bool liftOff = i + 1 < poses.size() && poses[i]->onGround && !poses[i + 1]->onGround;
    const bool goneRolling = i + 1 == poses.size() && poses[i]->onGround && i > 0 &&
                             lf_speedKt(*poses[i - 1], *poses[i]) > kFastKt;
    if (!liftOff && !goneRolling) continue;
    for (std::size_t j = i + 1; j-- > 0 && poses[j]->onGround && lf_linedUp(knowledge, *poses[j]);) rolling.insert(poses[j]);
  }
  return rolling;
}

// The take-off rolls that lift off, each from its slowest second on: a landing roll or a line-up's
// stand before it is no part of its run.
std::set<const TraceEvent*> lf_runsToLiftOff(const std::vector<const TraceEvent*>& poses, const Knowledge& knowledge) {
  std::set<const TraceEvent*> runs;
  for (std::size_t i = 1; i + 1 < poses.size(); ++i) {
    if (!poses[i]->onGround || poses[i + 1]->onGround) continue;
    std::size_t slowest = i;
    for (std::size_t j = i; j > 0 && poses[j - 1]->onGround && lf_linedUp(knowledge, *poses[j - 1]); --j)
      if (lf_speedKt(*poses[j - 1], *poses[j]) < lf_speedKt(*poses[slowest - 1], *poses[slowest])) slowest = j;
    for (std::size_t j = slowest; j <= i; ++j) runs.insert(poses[j]);
  }
  return runs;
}
}  // namespace

Complaints groundSpeedJumps(const Trace& trace, const MachineShares& shares, const Knowledge* knowledge) {
  // What an airliner does: taxiing it gathers speed at about 3 kt/s, on a take-off roll at about
  // 5 kt/s, and brakes at about 6 kt/s at most, as a roll-out does on when its reports end; half a
  // knot a second for the sampling, and for the braking a knot more: on a busy machine the
  // worker's pace wavers, and 6 kt/s then shows as up to 7 at a roll-out's speed.
  constexpr double kTaxiAccel = 3.5;
  constexpr double kRollAccel = 5.5;
  constexpr double kBraking = 7.5;
  constexpr double kRollFromKt = 30.0;
  Complaints complaints;
  const std::vector<double> faults = wholesaleRemovals(trace);
  for (const auto& [id, events] : lf_byObject(trace)) {
    const auto poses = lf_poses(events);
    const double settled = lf_judgedFrom(events, poses, faults);
    const auto rolling = knowledge ? lf_takeoffRolls(poses, *knowledge) : std::set<const TraceEvent*>{};
    for (std::size_t i = 0; i < poses.size(); ++i) {
      const std::size_t j = lf_after(poses, i, kWindowSeconds);
      const std::size_t k = j < poses.size() ? lf_after(poses, j, kWindowSeconds) : poses.size();
      if (k >= poses.size() || !lf_groundAll(poses, i, k) || poses[i]->t < settled) continue;
      // A window the machine hardly ran in says nothing of the aircraft.
      const double ranBefore = shares.over(poses[i]->t, poses[j]->t);
      const double ranAfter = shares.over(poses[j]->t, poses[k]->t);
      if (ranBefore < 0.5 * (poses[j]->t - poses[i]->t) || ranAfter < 0.5 * (poses[k]->t - poses[j]->t)) continue;
      const double before = lf_speedKt(*poses[i], *poses[j]) * (poses[j]->t - poses[i]->t) / ranBefore;
      const double after = lf_speedKt(*poses[j], *poses[k]) * (poses[k]->t - poses[j]->t) / ranAfter;
      const double dt = (ranBefore + ranAfter) / 2.0;
      const double rate = (after - before) / dt;
      const bool roll = std::max(before, after) > kRollFromKt || (rolling.contains(poses[i]) && rolling.contains(poses[k]));
      const double most = rate > 0.0 ? (roll ? kRollAccel : kTaxiAccel) : kBraking;
      if (std::fabs(rate) > most) {
        complaints.push_back(fmt::format("{}: from {:.1f} kt to {:.1f} kt in {:.1f} s on the ground", lf_name(*poses[k]),
                                         before, after, dt));
        break;
      }
    }
  }
  return complaints;
}

Complaints turningOnTheSpot(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kStandingKt = 1.0;
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const FlightFact* fact = lf_fact(knowledge, events.front()->tailNumber);
    // The program's turn on the spot: 1.2 times its category's rate per 10-ms step, 0.07 degrees
    // for an airliner, 0.05 for a heavy, 0.1 for light aircraft, 0.2 for rotorcraft; a little
    // more for the heading's rounding in the trace.
    const std::string category = fact ? fact->category : "A3";
    const double base = category == "A5" ? 0.05 : category == "A7" ? 0.2 : (category == "A1" || category == "A2") ? 0.1 : 0.07;
    const double most = 1.2 * base * 100.0 + 0.5;
    const auto poses = lf_poses(events);
    for (std::size_t i = 0; i < poses.size(); ++i) {
      const std::size_t j = lf_after(poses, i, kWindowSeconds);
      if (j >= poses.size() || !lf_groundAll(poses, i, j)) continue;
      const TraceEvent& a = *poses[i];
      const TraceEvent& b = *poses[j];
      if (lf_speedKt(a, b) > kStandingKt) continue;
      const double rate = lf_headingStep(a.heading, b.heading) / (b.t - a.t);
      if (rate > most) {
        complaints.push_back(fmt::format("{}: turns {:.1f} deg/s standing, above {:.1f} deg/s", lf_name(b), rate, most));
        break;
      }
    }
  }
  return complaints;
}

Complaints runwayShared(const Trace& trace, const Knowledge& knowledge) {
  Complaints complaints;
  const auto* airport = lf_parkAirport(knowledge);
  if (!airport) return complaints;
  constexpr double kFastKt = 40.0;        // on the ground: landing or taking off, not taxiing
  constexpr double kLowFeet = 300.0;      // in the air: on short final or just lifted off
  constexpr double kFinalMetres = 2000.0;  // how far before the runway's end a final counts
  const double elevation = airport->elevationMetres * kFeetPerMetre;
  std::map<std::uint32_t, const TraceEvent*> previous;
  std::set<std::pair<std::uint32_t, std::uint32_t>> named;
  std::vector<const TraceEvent*> now;
  auto judge = [&] {
    for (const auto& runway : airport->runways) {
      const double halfWidth = runway.widthMetres / 2.0 + 15.0;
      for (const auto* end : {&runway.primary, &runway.secondary}) {
        auto place = [&](const TraceEvent& e) {
          const double d = distanceMetres(end->latitude, end->longitude, e.latitude, e.longitude);
          const double angle = (standin::sim::bearingDeg(end->latitude, end->longitude, e.latitude, e.longitude) -
                                end->headingDeg) * M_PI / 180.0;
          return std::make_pair(d * std::cos(angle), d * std::sin(angle));
        };
        for (const TraceEvent* a : now) {
          const auto before = previous.find(*a->objectId);
          if (before == previous.end() || a->t <= before->second->t) continue;
          const auto [along, aside] = place(*a);
          if (std::fabs(aside) > halfWidth || along < -kFinalMetres || along > runway.lengthMetres) continue;
          if (std::fabs(std::remainder(a->heading - end->headingDeg, 360.0)) > 30.0) continue;
          const bool fast = a->onGround ? lf_speedKt(*before->second, *a) > kFastKt
                                        : a->altitude - elevation < kLowFeet;
          if (!fast || (a->onGround && along < 0.0)) continue;
          for (const TraceEvent* b : now) {
            if (b == a || !b->onGround) continue;
            const auto [bAlong, bAside] = place(*b);
            if (std::fabs(bAside) > halfWidth || bAlong < 0.0 || bAlong > runway.lengthMetres || bAlong <= along) continue;
            if (!named.insert({*a->objectId, *b->objectId}).second) continue;
            complaints.push_back(fmt::format("{} {} on runway {} with {} {:.0f} m ahead of it on the runway", lf_name(*a),
                                             a->onGround ? "rolls" : "comes in low", end->designator, lf_name(*b),
                                             bAlong - along));
          }
        }
      }
    }
    for (const TraceEvent* e : now) previous[*e->objectId] = e;
    now.clear();
  };
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    if (!now.empty() && e.t != now.front()->t) judge();
    if (e.event == "remove") {
      previous.erase(*e.objectId);
      continue;
    }
    if (lf_finite(e)) now.push_back(&e);
  }
  judge();
  return complaints;
}

Complaints sameRegistration(const Trace& trace) {
  Complaints complaints;
  std::map<std::uint32_t, const TraceEvent*> present;
  std::set<std::string> named;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    if (e.event == "remove") {
      present.erase(*e.objectId);
      continue;
    }
    if (e.event == "create" && !e.tailNumber.empty())
      for (const auto& [id, other] : present)
        if (id != *e.objectId && other->tailNumber == e.tailNumber && named.insert(e.tailNumber).second)
          complaints.push_back(fmt::format("{} created while object {} ({}) bears the same registration", lf_name(e), id,
                                           other->title));
    present[*e.objectId] = &e;
  }
  return complaints;
}

Complaints attitudeOutOfRange(const Trace& trace) {
  Complaints complaints;
  std::set<std::uint32_t> named;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId || e.event == "remove" || !e.pitch || !e.bank) continue;
    if (*e.pitch >= -10.0 && *e.pitch <= 25.0 && std::fabs(*e.bank) <= 35.0) continue;
    if (named.insert(*e.objectId).second)
      complaints.push_back(fmt::format("{}: pitch {:.1f} deg, bank {:.1f} deg", lf_name(e), *e.pitch, *e.bank));
  }
  return complaints;
}

Complaints slowInTheAir(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kLeastKt = 100.0;
  constexpr double kAfterCreationSeconds = 5.0;
  Complaints complaints;
  const std::vector<double> faults = wholesaleRemovals(trace);
  for (const auto& [id, events] : lf_byObject(trace)) {
    if (!lf_airliner(lf_fact(knowledge, events.front()->tailNumber))) continue;
    const auto poses = lf_poses(events);
    const double from = std::max(events.front()->t + kAfterCreationSeconds, lf_judgedFrom(events, poses, faults));
    for (std::size_t i = 0; i < poses.size(); ++i) {
      const std::size_t j = lf_after(poses, i, kWindowSeconds);
      if (j >= poses.size() || poses[i]->t < from) continue;
      if (std::any_of(poses.begin() + static_cast<std::ptrdiff_t>(i), poses.begin() + static_cast<std::ptrdiff_t>(j) + 1,
                      [](const TraceEvent* e) { return e->onGround; }))
        continue;
      const double kt = lf_speedKt(*poses[i], *poses[j]);
      if (kt < kLeastKt) {
        const auto ground = lf_groundFeet(knowledge, poses[j]->latitude, poses[j]->longitude);
        complaints.push_back(fmt::format("{}: airborne at {:.0f} kt, {:.0f} ft over the ground, {:.0f} s after its creation",
                                         lf_name(*poses[j]), kt, poses[j]->altitude - ground.value_or(0.0) - knowledge.cgFeet,
                                         poses[j]->t - events.front()->t));
        break;
      }
    }
  }
  return complaints;
}

Complaints climbOnFinal(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kFinalSeconds = 90.0;
  constexpr double kBelowFeet = 700.0;
  constexpr double kWithinSeconds = 3.0;
  constexpr double kMostClimbFeet = 15.0;
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const auto poses = lf_poses(events);
    const std::size_t touchDown = lf_touchDown(poses);
    if (touchDown >= poses.size()) continue;
    const double landed = poses[touchDown]->t;
    bool named = false;
    for (std::size_t i = 0; i < touchDown && !named; ++i) {
      const TraceEvent& a = *poses[i];
      const auto ground = lf_groundFeet(knowledge, a.latitude, a.longitude);
      if (a.t < landed - kFinalSeconds || !ground || a.altitude - *ground - knowledge.cgFeet >= kBelowFeet) continue;
      for (std::size_t j = i + 1; j < touchDown && poses[j]->t <= a.t + kWithinSeconds + 1e-6; ++j) {
        const TraceEvent& b = *poses[j];
        if (b.altitude - a.altitude <= kMostClimbFeet) continue;
        complaints.push_back(fmt::format("{}: climbs {:.0f} ft in {:.0f} s from {:.0f} ft over the ground, {:.0f} s before its touch-down",
                                         lf_name(b), b.altitude - a.altitude, b.t - a.t,
                                         a.altitude - *ground - knowledge.cgFeet, landed - a.t));
        named = true;
        break;
      }
    }
  }
  return complaints;
}

Complaints noseSlamsDown(const Trace& trace) {
  // The main wheels touch, and the pilot lowers the nose over a few seconds.
  constexpr double kMostDegPerS = 2.0;
  constexpr double kAfterSeconds = 15.0;
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const auto poses = lf_poses(events);
    const std::size_t touchDown = lf_touchDown(poses);
    if (touchDown >= poses.size()) continue;
    // From the last pose in the air: the nose may come down with the touch itself.
    for (std::size_t i = touchDown - 1; i + 1 < poses.size() && poses[i]->t < poses[touchDown]->t + kAfterSeconds; ++i) {
      const std::size_t j = lf_after(poses, i, 1.0);
      if (j >= poses.size() || !poses[i]->pitch || !poses[j]->pitch) continue;
      const double rate = (*poses[i]->pitch - *poses[j]->pitch) / (poses[j]->t - poses[i]->t);
      if (rate > kMostDegPerS) {
        complaints.push_back(fmt::format("{}: the nose comes down from {:.1f} to {:.1f} deg in {:.1f} s, {:.0f} s after its touch-down",
                                         lf_name(*poses[j]), *poses[i]->pitch, *poses[j]->pitch, poses[j]->t - poses[i]->t,
                                         poses[j]->t - poses[touchDown]->t));
        break;
      }
    }
  }
  return complaints;
}

Complaints rollOffItsDelay(const Trace& trace, const Knowledge& knowledge, std::size_t* takeoffsJudged) {
  constexpr double kRollKt = 40.0;
  constexpr double kAroundSeconds = 60.0;  // the flight in the air this near the roll gives its delay
  constexpr double kMostOffSeconds = 5.0;
  // On the runway the program follows the reports' line closely; in the air it may smooth a turn or a flare.
  constexpr double kRollWithinMetres = 30.0;
  constexpr double kAirWithinMetres = 300.0;
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const FlightFact* fact = lf_fact(knowledge, events.front()->tailNumber);
    if (!fact || (fact->kind != Kind::Arrival && fact->kind != Kind::Departure) || fact->sent.size() < 2) continue;
    const auto poses = lf_poses(events);
    std::vector<double> roll;
    double rollFrom = std::numeric_limits<double>::infinity();
    double rollTo = -rollFrom;
    for (std::size_t i = 0; i < poses.size(); ++i) {
      const std::size_t j = lf_after(poses, i, 1.0);
      if (j >= poses.size() || !poses[i]->onGround || !poses[j]->onGround || lf_speedKt(*poses[i], *poses[j]) < kRollKt)
        continue;
      if (const auto feedTime = lf_feedTimeAt(*fact, *poses[i], false, kRollWithinMetres)) {
        roll.push_back(poses[i]->t - knowledge.feedToSimSeconds - *feedTime);
        rollFrom = std::min(rollFrom, poses[i]->t);
        rollTo = std::max(rollTo, poses[i]->t);
      }
    }
    std::vector<double> air;
    for (const TraceEvent* e : poses)
      if (!e->onGround && e->t >= rollFrom - kAroundSeconds && e->t <= rollTo + kAroundSeconds)
        if (const auto feedTime = lf_feedTimeAt(*fact, *e, true, kAirWithinMetres))
          air.push_back(e->t - knowledge.feedToSimSeconds - *feedTime);
    if (roll.size() < 3 || air.size() < 3) continue;
    if (takeoffsJudged && fact->kind == Kind::Departure) ++*takeoffsJudged;
    const double rollDelay = lf_median(roll);
    const double airDelay = lf_median(air);
    if (std::fabs(rollDelay - airDelay) > kMostOffSeconds)
      complaints.push_back(fmt::format("{} ({}): its {} roll shows the feed {:.1f} s late, its flight in the air {:.1f} s",
                                       lf_name(*events.front()), fact->type,
                                       fact->kind == Kind::Arrival ? "landing" : "take-off", rollDelay, airDelay));
  }
  return complaints;
}

namespace {

// One whole simulator second of an object's motion: between its poses at two whole seconds.
struct Step {
  const TraceEvent* from;
  const TraceEvent* to;
  double kt;
  long second;  // the second's end
  bool inTheAir() const { return !from->onGround && !to->onGround; }
};

// The trace poses every object once a simulator second, on the first frame of it: only those
// poses, not a create's or a removal's, measure whole seconds.
std::vector<const TraceEvent*> lf_secondPoses(const std::vector<const TraceEvent*>& events) {
  std::vector<const TraceEvent*> poses;
  for (const TraceEvent* e : events)
    if (e->event == "pose" && lf_finite(*e)) poses.push_back(e);
  return poses;
}

std::vector<Step> lf_steps(const std::vector<const TraceEvent*>& poses) {
  std::vector<Step> steps;
  for (std::size_t i = 1; i < poses.size(); ++i) {
    const double dt = poses[i]->t - poses[i - 1]->t;
    if (dt < 0.9 || dt > 1.1) continue;
    steps.push_back({poses[i - 1], poses[i], lf_speedKt(*poses[i - 1], *poses[i]), std::lround(poses[i]->t)});
  }
  return steps;
}

double lf_middle(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// The machine's pace from the objects' paces second against second: those flying on steadily
// agree to a few thousandths, each aircraft changing its own speed goes its own way. The largest
// group that agrees; the middle one where none does.
double lf_steadiest(const std::vector<double>& paces) {
  constexpr double kAgreeing = 0.0025;
  std::vector<double> best;
  const double middle = lf_middle(paces);
  for (const double p : paces) {
    std::vector<double> group;
    for (const double q : paces)
      if (std::fabs(q - p) <= kAgreeing * p) group.push_back(q);
    if (group.size() > best.size() ||
        (group.size() == best.size() && std::fabs(lf_middle(group) - middle) < std::fabs(lf_middle(best) - middle)))
      best = group;
  }
  return best.size() >= 2 ? lf_middle(best) : middle;
}

// Where an object first moved away from where it was made: from there on its motion is the
// program's; none when it never moved.
std::optional<double> lf_firstMove(const std::vector<const TraceEvent*>& events, double withinMetres) {
  const TraceEvent& made = *events.front();
  for (const TraceEvent* e : events)
    if (e->event == "pose" && lf_finite(*e) &&
        distanceMetres(made.latitude, made.longitude, e->latitude, e->longitude) > withinMetres)
      return e->t;
  return std::nullopt;
}

// When an object was removed; infinity while it stayed.
double lf_removedAt(const std::vector<const TraceEvent*>& events) {
  return events.back()->event == "remove" ? events.back()->t : std::numeric_limits<double>::infinity();
}

// Lined up on a runway of any fixture airport, its nose along it.
bool lf_linedUp(const Knowledge& knowledge, const TraceEvent& e) {
  constexpr double kMostOffDeg = 20.0;
  for (const auto& airport : knowledge.airports)
    for (const auto& runway : airport.runways)
      for (const auto* end : {&runway.primary, &runway.secondary}) {
        if (std::fabs(std::remainder(e.heading - end->headingDeg, 360.0)) > kMostOffDeg) continue;
        const double d = distanceMetres(end->latitude, end->longitude, e.latitude, e.longitude);
        const double angle =
            (standin::sim::bearingDeg(end->latitude, end->longitude, e.latitude, e.longitude) - end->headingDeg) * M_PI / 180.0;
        const double along = d * std::cos(angle);
        if (std::fabs(d * std::sin(angle)) <= runway.widthMetres / 2.0 + 15.0 && along >= -60.0 &&
            along <= runway.lengthMetres + 60.0)
          return true;
      }
  return false;
}

// A share this small is a second the program hardly ran: nothing to scale a speed by.
constexpr double kLeastShare = 0.25;

// The trace rounds positions to a millionth of a degree: a speed change between two seconds reads
// up to half a knot off.
constexpr double kRoundingKt = 0.5;

}  // namespace

double MachineShares::of(double secondEnd) const {
  const long second = std::lround(secondEnd);
  const auto it = bySecond.find(second);
  if (it != bySecond.end()) return it->second;
  return frozen.contains(second) ? 0.0 : 1.0;
}

double MachineShares::over(double from, double to) const {
  double seconds = 0.0;
  for (double end = std::floor(from) + 1.0; end - 1.0 < to; end += 1.0)
    seconds += (std::min(end, to) - std::max(end - 1.0, from)) * of(end);
  return seconds;
}

std::optional<double> MachineShares::paceAgainstTheSecondBefore(double secondEnd) const {
  // Paces further apart than this are a machine struggling: the program then catches up on its
  // objects one after another, a taxiing one a second after the flyers, and no second of it tells.
  constexpr double kSteadiest = 0.75;
  auto change = [&](long second) -> std::optional<double> {
    if (of(static_cast<double>(second)) < kLeastShare || of(static_cast<double>(second - 1)) < kLeastShare)
      return std::nullopt;
    if (const auto it = paceChanges.find(second); it != paceChanges.end()) return it->second;
    if (bySecond.contains(second) && bySecond.contains(second - 1)) return bySecond.at(second) / bySecond.at(second - 1);
    return std::nullopt;
  };
  auto steady = [&](double c) { return c >= kSteadiest && c <= 1.0 / kSteadiest; };
  const long second = std::lround(secondEnd);
  const std::optional<double> now = change(second);
  const std::optional<double> before = change(second - 1);
  if (!now || !steady(*now) || (before && !steady(*before))) return std::nullopt;
  return now;
}

MachineShares machineShares(const Trace& trace, const Knowledge& knowledge) {
  // Objects flying at least this fast: an airliner's pace changes by a few per cent a second at most.
  constexpr double kFlyingKt = 30.0;
  // Each object's own pace: its mean over the seconds around, which a freeze and its leap leave as it was.
  constexpr long kAroundSeconds = 8;
  constexpr long kLeastEachSide = 6;
  // Fewer flying at once cannot tell the machine from an aircraft of its own.
  constexpr std::size_t kLeastObjects = 3;
  // A second in which every object moving the second before, on the ground or in the air, stood
  // (two of them at least): the machine froze, also with too few flying to read its pace.
  constexpr double kMovingKt = 3.0;
  constexpr double kFrozenShare = 0.1;
  constexpr long kLongestStall = 3;
  std::map<long, std::pair<std::size_t, std::size_t>> moversAndFrozen;
  std::map<long, std::vector<double>> ratios;
  std::map<long, std::vector<double>> changes;
  for (const auto& [id, events] : lf_byObject(trace)) {
    if (!lf_liveFlight(knowledge, events.front()->tailNumber)) continue;
    // From a second after its first move to its removal: before, it sets off from where it was
    // made, within a second that is only partly its own.
    const std::optional<double> moved = lf_firstMove(events, 0.5);
    if (!moved) continue;
    const double removed = lf_removedAt(events);
    std::map<long, double> kt;
    std::map<long, double> anyKt;
    for (const Step& step : lf_steps(lf_secondPoses(events))) {
      if (step.from->t < *moved + 1.0 - 1e-6 || step.to->t >= removed - 0.25) continue;
      anyKt[step.second] = step.kt;
      if (step.inTheAir()) kt[step.second] = step.kt;
    }
    // A stall of a few seconds keeps an object that moved before it a mover throughout.
    std::optional<std::pair<long, double>> lastMoving;  // its second and speed
    for (const auto& [second, speed] : anyKt) {
      if (lastMoving && second - lastMoving->first <= kLongestStall) {
        auto& [movers, frozen] = moversAndFrozen[second];
        ++movers;
        frozen += speed < kFrozenShare * lastMoving->second ? 1 : 0;
      }
      if (speed >= kMovingKt) lastMoving = std::make_pair(second, speed);
    }
    for (const auto& [second, speed] : kt) {
      if (const auto before = kt.find(second - 1); before != kt.end() && before->second >= kFlyingKt)
        changes[second].push_back(speed / before->second);
      double sum = speed;
      long earlier = 0;
      long later = 0;
      for (long d = 1; d <= kAroundSeconds; ++d) {
        if (const auto it = kt.find(second - d); it != kt.end()) sum += it->second, ++earlier;
        if (const auto it = kt.find(second + d); it != kt.end()) sum += it->second, ++later;
      }
      if (earlier < kLeastEachSide || later < kLeastEachSide) continue;
      const double pace = sum / static_cast<double>(earlier + later + 1);
      if (pace >= kFlyingKt) ratios[second].push_back(speed / pace);
    }
  }
  MachineShares shares;
  for (const auto& [second, r] : ratios)
    if (r.size() >= kLeastObjects) shares.bySecond[second] = lf_middle(r);
  for (const auto& [second, c] : changes)
    if (c.size() >= kLeastObjects) shares.paceChanges[second] = lf_steadiest(c);
  // Where each object's pace around is not yet or no longer known (the first and last seconds of
  // its flight), the share follows from the pace second against second, for a few seconds.
  constexpr long kChainedSeconds = 10;
  std::map<long, double> chained;
  for (int direction : {1, -1}) {
    for (const auto& [second, share] : shares.bySecond) {
      double value = share;
      for (long d = 1; d <= kChainedSeconds; ++d) {
        const long next = second + direction * d;
        if (shares.bySecond.contains(next)) break;
        const auto change = shares.paceChanges.find(direction > 0 ? next : next + 1);
        if (change == shares.paceChanges.end() || change->second < kLeastShare || change->second > 1.0 / kLeastShare) break;
        value = direction > 0 ? value * change->second : value / change->second;
        chained.emplace(next, value);
      }
    }
  }
  shares.bySecond.merge(chained);
  for (const auto& [second, counts] : moversAndFrozen)
    if (counts.first >= 2 && counts.second == counts.first) shares.frozen.insert(second);
  return shares;
}

Complaints groundSpeedSteps(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kFastKt = 30.0;
  constexpr double kMostLossSlow = 5.0;
  constexpr double kMostLossFast = 7.5;
  constexpr double kMostGain = 4.0;
  constexpr double kLeastRollGain = 1.0;  // even a light aircraft's roll gains more
  Complaints complaints;
  const std::vector<double> faults = wholesaleRemovals(trace);
  const MachineShares shares = machineShares(trace, knowledge);
  for (const auto& [id, events] : lf_byObject(trace)) {
    const auto poses = lf_secondPoses(events);
    const double settled = lf_judgedFrom(events, lf_poses(events), faults);
    const std::set<const TraceEvent*> rolling = lf_takeoffRolls(poses, knowledge);
    const std::set<const TraceEvent*> running = lf_runsToLiftOff(poses, knowledge);
    const auto steps = lf_steps(poses);
    FirstAndMore found(" second(s)");
    for (std::size_t k = 1; k < steps.size(); ++k) {
      const Step& a = steps[k - 1];
      const Step& b = steps[k];
      if (a.to != b.from || !a.from->onGround || !a.to->onGround || !b.to->onGround || a.from->t < settled) continue;
      // Both speeds at the pace of the second judged, and the change over the program's time in it.
      const std::optional<double> pace = shares.paceAgainstTheSecondBefore(b.to->t);
      if (!pace) continue;
      const double share = shares.of(b.to->t);
      const double before = a.kt * *pace / share;
      const double after = b.kt / share;
      const double loss = before - after;
      const bool roll = rolling.contains(a.to) && rolling.contains(b.to);
      const bool fault = loss > (std::max(before, after) > kFastKt ? kMostLossFast : kMostLossSlow) + kRoundingKt ||
                         (-loss > kMostGain + kRoundingKt && !roll);
      if (running.contains(a.to) && running.contains(b.to) && before > kFastKt && -loss < kLeastRollGain - kRoundingKt) {
        found.add(fmt::format("{}: from {:.1f} kt to {:.1f} kt in one second of its take-off roll", lf_name(*b.to), before, after));
        continue;
      }
      if (!fault) continue;
      found.add(fmt::format("{}: from {:.1f} kt to {:.1f} kt in one second on the ground", lf_name(*b.to), before, after));
    }
    found.into(complaints);
  }
  return complaints;
}

Complaints motionAgainstHeading(const Trace& trace, const Knowledge& knowledge) {
  // Slower, a step of a metre or less: a stand's jitter or a turn on the spot says no direction.
  constexpr double kFromKt = 3.0;
  constexpr double kMostOffDeg = 90.0;
  constexpr double kTugMostKt = 8.0;  // no tug pushes faster
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const auto steps = lf_steps(lf_secondPoses(events));
    bool pushing = false;
    FirstAndMore found(" second(s)");
    for (const Step& step : steps) {
      const TraceEvent& a = *step.from;
      const TraceEvent& b = *step.to;
      if (step.kt <= kFromKt) continue;  // standing or turning keeps a push-back going
      const double moving = standin::sim::bearingDeg(a.latitude, a.longitude, b.latitude, b.longitude);
      const double off = std::fabs(std::remainder(moving - lf_meanHeading(a.heading, b.heading), 360.0));
      if (off <= kMostOffDeg) {
        pushing = false;
        continue;
      }
      // A push-back starts on a stand and goes at a tug's pace.
      if (a.onGround && b.onGround && step.kt <= kTugMostKt) {
        if (!pushing)
          for (const auto& airport : knowledge.airports)
            for (const auto& stand : airport.stands)
              pushing = pushing || distanceMetres(a.latitude, a.longitude, stand.latitude, stand.longitude) <=
                                       stand.radiusMetres + 10.0;
        if (pushing) continue;
      }
      found.add(fmt::format("{}: moves along {:.0f} deg at {:.1f} kt, {:.0f} deg off its heading {:.0f} deg{}", lf_name(b),
                            moving, step.kt, off, lf_meanHeading(a.heading, b.heading), b.onGround ? " on the ground" : ""));
    }
    found.into(complaints);
  }
  return complaints;
}

Complaints hangingStillAfterCreation(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kStillMetres = 5.0;  // an airborne aircraft covers ten times that in a second
  constexpr double kMostSeconds = 1.0;
  Complaints complaints;
  const std::vector<double> faults = wholesaleRemovals(trace);
  const MachineShares shares = machineShares(trace, knowledge);
  for (const auto& [id, events] : lf_byObject(trace)) {
    const TraceEvent& made = *events.front();
    if (made.event != "create" || made.onGround || !lf_finite(made) || !lf_liveFlight(knowledge, made.tailNumber)) continue;
    // Made again after a fault took every object, it stands until the simulator has it.
    if (std::isfinite(lf_judgedFrom(events, lf_poses(events), faults))) continue;
    const TraceEvent* still = nullptr;
    for (const TraceEvent* e : lf_secondPoses(events)) {
      if (distanceMetres(made.latitude, made.longitude, e->latitude, e->longitude) > kStillMetres) break;
      still = e;
    }
    if (!still) continue;
    const double seconds = shares.over(made.t, still->t);
    if (seconds > kMostSeconds)
      complaints.push_back(fmt::format("{}: made in the air at {:.1f} s, still there at {:.0f} s ({:.1f} s of the program's)",
                                       lf_name(made), made.t, still->t, seconds));
  }
  return complaints;
}

Complaints goAroundsTouchingDown(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kLowFeet = 1000.0;     // over the field: an approach, not a level-off
  constexpr double kTurnFeet = 150.0;     // descended to the bottom and climbed from it by this
  constexpr double kWithinSeconds = 120.0;
  constexpr double kBeforeMetres = 3000.0;  // how far before a runway's end an approach counts
  constexpr double kAsideMetres = 300.0;
  Complaints complaints;
  const FeedProgress progress = feedProgress(trace, knowledge);
  const auto objects = lf_byObject(trace);
  for (const auto& [tail, fact] : knowledge.flights) {
    const auto& sent = fact.sent;
    for (std::size_t b = 0; b < sent.size(); ++b) {
      if (sent[b].altitude <= 0.0) continue;
      const auto ground = lf_groundFeet(knowledge, sent[b].lat, sent[b].lon);
      if (!ground || sent[b].altitude - *ground > kLowFeet) continue;
      // The bottom of a descent that turns into a climb, all of it in the air.
      bool descended = false;
      bool lowest = true;
      for (std::size_t i = b; i-- > 0 && sent[i].t >= sent[b].t - kWithinSeconds && sent[i].altitude > 0.0 && lowest;) {
        lowest = sent[i].altitude >= sent[b].altitude;
        descended = descended || sent[i].altitude >= sent[b].altitude + kTurnFeet;
      }
      std::optional<double> climbed;
      for (std::size_t i = b + 1; i < sent.size() && sent[i].t <= sent[b].t + kWithinSeconds && sent[i].altitude > 0.0 &&
                                  lowest && !climbed;
           ++i) {
        lowest = sent[i].altitude >= sent[b].altitude;
        if (sent[i].altitude >= sent[b].altitude + kTurnFeet) climbed = sent[i].t;
      }
      if (!descended || !climbed || !lowest) continue;
      bool nearARunway = false;
      for (const auto& airport : knowledge.airports)
        for (const auto& runway : airport.runways)
          for (const auto* end : {&runway.primary, &runway.secondary}) {
            const double d = distanceMetres(end->latitude, end->longitude, sent[b].lat, sent[b].lon);
            const double angle = (standin::sim::bearingDeg(end->latitude, end->longitude, sent[b].lat, sent[b].lon) -
                                  end->headingDeg) * M_PI / 180.0;
            const double along = d * std::cos(angle);
            nearARunway = nearARunway || (std::fabs(d * std::sin(angle)) <= kAsideMetres && along >= -kBeforeMetres &&
                                          along <= runway.lengthMetres);
          }
      if (!nearARunway) continue;
      // Until its reports are on the ground again (a landing of its next approach), no touch-down.
      double landsAgain = std::numeric_limits<double>::infinity();
      for (std::size_t i = b + 1; i < sent.size(); ++i)
        if (sent[i].altitude <= 0.0) {
          landsAgain = sent[i].t;
          break;
        }
      const std::optional<double> shown = progress.simTimeOf(sent[b].t);
      const double bottomAt =
          shown ? *shown : sent[b].t + knowledge.feedToSimSeconds + knowledge.delaySeconds;
      const double from = bottomAt - 30.0;
      const double until = bottomAt + std::min(landsAgain - sent[b].t - 15.0, kWithinSeconds + 60.0);
      for (const auto& [id, events] : objects) {
        if (events.front()->tailNumber != tail) continue;
        const auto poses = lf_poses(events);
        for (std::size_t i = 1; i < poses.size(); ++i) {
          if (!poses[i]->onGround || poses[i - 1]->onGround || poses[i]->t < from || poses[i]->t > until) continue;
          complaints.push_back(fmt::format("{}: touches down, where its reports go around at {:.0f} ft over the ground "
                                           "(feed {:.0f} s, shown about {:.0f} s) and climb",
                                           lf_name(*poses[i]), sent[b].altitude - *ground, sent[b].t, bottomAt));
          break;
        }
      }
      // One go-around per stretch of reports: go on past its climb.
      while (b + 1 < sent.size() && sent[b + 1].t <= *climbed) ++b;
    }
  }
  return complaints;
}

Complaints verticalSpeedSwings(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kMostChangeFtMin = 2000.0;
  constexpr double kWithinSeconds = 2.0;
  Complaints complaints;
  const MachineShares shares = machineShares(trace, knowledge);
  for (const auto& [id, events] : lf_byObject(trace)) {
    const std::optional<double> moved = lf_firstMove(events, 0.5);
    if (!moved) continue;
    const auto poses = lf_secondPoses(events);
    FirstAndMore found;
    double lastNamed = -1.0;
    for (std::size_t i = 0; i < poses.size(); ++i) {
      const TraceEvent& a = *poses[i];
      if (a.t < *moved || a.onGround || !a.verticalSpeed) continue;
      for (std::size_t j = i + 1; j < poses.size() && poses[j]->t <= a.t + kWithinSeconds + 0.1; ++j) {
        const TraceEvent& b = *poses[j];
        if (b.onGround || !b.verticalSpeed) break;
        // Seconds the machine stretched allow what the program did in them.
        const double most = kMostChangeFtMin * std::max(1.0, shares.over(a.t, b.t) / kWithinSeconds);
        if (std::fabs(*b.verticalSpeed - *a.verticalSpeed) <= most) continue;
        // A swing judged from two seconds is counted once.
        if (found.none() || b.t > lastNamed)
          found.add(fmt::format("{}: the vertical speed sent goes from {:.0f} to {:.0f} ft/min in {:.0f} s in the air",
                                lf_name(b), *a.verticalSpeed, *b.verticalSpeed, b.t - a.t));
        lastNamed = b.t;
        break;
      }
    }
    found.into(complaints);
  }
  return complaints;
}

namespace {

// Each pair of one-second steps in the air of every object, once it has settled and short of its
// removal, with the machine's pace against the second before and its share of that second. The
// judge gives a complaint, or nothing.
template <typename Judge>
Complaints lf_judgeAirSeconds(const Trace& trace, const Knowledge& knowledge, Judge judge) {
  constexpr double kNearRemovalSeconds = 0.25;
  Complaints complaints;
  const std::vector<double> faults = wholesaleRemovals(trace);
  const MachineShares shares = machineShares(trace, knowledge);
  for (const auto& [id, events] : lf_byObject(trace)) {
    const std::optional<double> moved = lf_firstMove(events, 0.5);
    if (!moved) continue;
    const double settled = std::max(*moved, lf_judgedFrom(events, lf_poses(events), faults));
    const double removed = lf_removedAt(events);
    const auto steps = lf_steps(lf_secondPoses(events));
    FirstAndMore found(" second(s)");
    for (std::size_t k = 1; k < steps.size(); ++k) {
      const Step& a = steps[k - 1];
      const Step& b = steps[k];
      if (a.to != b.from || !a.inTheAir() || !b.inTheAir() || a.from->t < settled) continue;
      if (b.to->t > removed - kNearRemovalSeconds) continue;
      const std::optional<double> pace = shares.paceAgainstTheSecondBefore(b.to->t);
      if (!pace) continue;
      if (std::optional<std::string> complaint = judge(a, b, *pace, shares.of(b.to->t))) found.add(std::move(*complaint));
    }
    found.into(complaints);
  }
  return complaints;
}

}  // namespace

Complaints altitudeSteps(const Trace& trace, const Knowledge& knowledge) {
  // A vertical speed changing by 2,000 ft/min within 2 s changes a second's climb by 17 ft.
  constexpr double kMostChangeFeet = 25.0;
  return lf_judgeAirSeconds(trace, knowledge, [](const Step& a, const Step& b, double pace, double share) -> std::optional<std::string> {
    const double before = (a.to->altitude - a.from->altitude) * pace / share;
    const double after = (b.to->altitude - b.from->altitude) / share;
    const double unsure = std::fabs(1.0 - pace) * std::max(std::fabs(before), std::fabs(after)) / 2.0;
    if (std::fabs(after - before) <= kMostChangeFeet + unsure) return std::nullopt;
    return fmt::format("{}: its altitude changes {:+.0f} ft in one second after {:+.0f} ft the second before, at {:.0f} ft",
                       lf_name(*b.to), after, before, b.to->altitude);
  });
}

Complaints airSpeedJumps(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kMostChangeKt = 6.0;
  return lf_judgeAirSeconds(trace, knowledge, [](const Step& a, const Step& b, double pace, double share) -> std::optional<std::string> {
    const double before = a.kt * pace / share;
    const double after = b.kt / share;
    // The machine's pace is read from the other flyers, not from this one: where it changed, half
    // that change of this aircraft's speed may be the reading's, not the aircraft's.
    const double unsure = std::fabs(1.0 - pace) * std::max(before, after) / 2.0;
    if (std::fabs(after - before) <= kMostChangeKt + kRoundingKt + unsure) return std::nullopt;
    return fmt::format("{}: from {:.1f} kt to {:.1f} kt in one second in the air", lf_name(*b.to), before, after);
  });
}

namespace {

// When an object passed nearest a place, searching its poses on the ground from `from` on (which
// it moves up to the pass found): the first pass within `withinMetres`, at its nearest.
std::optional<double> lf_passedAt(const std::vector<const TraceEvent*>& poses, std::size_t& from, double lat, double lon,
                                  double withinMetres) {
  constexpr double kMetresPerDegree = 111320.0;
  const double east = kMetresPerDegree * std::cos(lat * M_PI / 180.0);
  std::optional<double> at;
  double best = withinMetres;
  for (std::size_t i = from + 1; i < poses.size(); ++i) {
    const TraceEvent& a = *poses[i - 1];
    const TraceEvent& b = *poses[i];
    if (!a.onGround || !b.onGround) continue;
    const double bx = (b.longitude - a.longitude) * east;
    const double by = (b.latitude - a.latitude) * kMetresPerDegree;
    const double px = (lon - a.longitude) * east;
    const double py = (lat - a.latitude) * kMetresPerDegree;
    const double length2 = bx * bx + by * by;
    const double u = length2 > 0.0 ? std::clamp((px * bx + py * by) / length2, 0.0, 1.0) : 0.0;
    const double d = std::hypot(px - u * bx, py - u * by);
    if (d <= best) {
      best = d;
      at = a.t + u * (b.t - a.t);
      from = i - 1;
    } else if (at && d > withinMetres) {
      break;  // past the first pass
    }
  }
  return at;
}

// The program's delay behind the feed as a whole at a simulator time, from its airborne traffic;
// none where that is not known within 10 s.
std::optional<double> lf_delayAt(const FeedProgress& progress, const Knowledge& knowledge, double simSeconds) {
  const FeedProgress::Point* nearest = nullptr;
  for (const FeedProgress::Point& p : progress.points)
    if (std::fabs(p.simSeconds - simSeconds) <= 10.0 &&
        (!nearest || std::fabs(p.simSeconds - simSeconds) < std::fabs(nearest->simSeconds - simSeconds)))
      nearest = &p;
  if (!nearest) return std::nullopt;
  return nearest->simSeconds - knowledge.feedToSimSeconds - nearest->feedSeconds;
}

// The speed (kt) the reports give a flight at a feed time, between the reports around it.
std::optional<double> lf_reportedKt(const FlightFact& fact, double feedSeconds) {
  for (std::size_t i = 1; i < fact.sent.size(); ++i) {
    const FlightFact::Sent& a = fact.sent[i - 1];
    const FlightFact::Sent& b = fact.sent[i];
    if (a.t <= feedSeconds && feedSeconds <= b.t && b.t > a.t)
      return distanceMetres(a.lat, a.lon, b.lat, b.lon) / (b.t - a.t) / kKnotInMetresPerSecond;
  }
  return std::nullopt;
}

}  // namespace

Complaints rollLaterThanItsTaxi(const Trace& trace, const Knowledge& knowledge, std::size_t* judged) {
  constexpr double kMostLaterSeconds = 10.0;
  constexpr double kStandingMetres = 1.0;  // reports this close stand
  constexpr double kMovingMetres = 2.0;
  constexpr double kWithinMetres = 25.0;  // the program rounds a taxi's corners
  constexpr std::size_t kRollReports = 3;  // the start of the roll
  constexpr double kShortestStandSeconds = 6.0;  // a stand the reports' spacing tells
  // A departure late on its reports takes its lateness off its wait at the line-up: at most half.
  constexpr double kLeastStandShare = 0.5;
  Complaints complaints;
  const FeedProgress progress = feedProgress(trace, knowledge);
  for (const auto& [id, events] : lf_byObject(trace)) {
    const FlightFact* fact = lf_fact(knowledge, events.front()->tailNumber);
    if (!fact || fact->kind != Kind::Departure) continue;
    const auto& sent = fact->sent;
    // The reports on the ground up to the lift-off, and the last stand among them: the line-up.
    std::size_t ground = 0;
    while (ground < sent.size() && sent[ground].altitude <= 0.0) ++ground;
    auto apart = [&](std::size_t i, std::size_t j) { return distanceMetres(sent[i].lat, sent[i].lon, sent[j].lat, sent[j].lon); };
    std::size_t lineUp = 0;  // the first report of the last stand; 0: none
    for (std::size_t i = 1; i < ground; ++i)
      if (apart(i - 1, i) < kStandingMetres && (i < 2 || apart(i - 2, i - 1) >= kStandingMetres)) lineUp = i - 1;
    if (lineUp == 0) continue;
    auto moving = [&](std::size_t i) { return i > 0 && i + 1 < sent.size() && apart(i - 1, i) >= kMovingMetres && apart(i, i + 1) >= kMovingMetres; };
    const auto poses = lf_poses(events);
    std::size_t from = 0;
    std::vector<double> taxi;
    std::vector<double> taxiAt;
    std::vector<double> roll;
    std::vector<double> rollAt;
    for (std::size_t i = 0; i < ground; ++i) {
      if (!moving(i) || (i > lineUp && roll.size() >= kRollReports)) continue;
      const std::optional<double> at = lf_passedAt(poses, from, sent[i].lat, sent[i].lon, kWithinMetres);
      if (!at) continue;
      (i < lineUp ? taxi : roll).push_back(*at - knowledge.feedToSimSeconds - sent[i].t);
      (i < lineUp ? taxiAt : rollAt).push_back(*at);
    }
    if (taxi.size() < 3 || roll.size() < 2) continue;
    if (judged) ++*judged;
    const double taxiDelay = lf_median(taxi);
    const double rollDelay = lf_median(roll);
    // A program the machine held up is later behind all of the feed alike.
    const auto before = lf_delayAt(progress, knowledge, lf_median(taxiAt));
    const auto after = lf_delayAt(progress, knowledge, lf_median(rollAt));
    const double grew = before && after ? std::max(0.0, *after - *before) : 0.0;
    if (rollDelay - taxiDelay > kMostLaterSeconds + grew)
      complaints.push_back(fmt::format("{} ({}): the start of its roll shows its reports {:.1f} s behind them, its taxi "
                                       "{:.1f} s (the whole feed's delay grew {:.1f} s)",
                                       lf_name(*events.front()), fact->type, rollDelay, taxiDelay, grew));
    // Where its reports stand lined up, it stands too, but for the lateness it takes off the wait.
    std::size_t lastStanding = lineUp;
    while (lastStanding + 1 < ground && apart(lastStanding, lastStanding + 1) < kStandingMetres) ++lastStanding;
    const double reportedStand = sent[lastStanding].t - sent[lineUp].t;
    double stood = 0.0;
    for (std::size_t i = 0, stillFrom = 0; i < poses.size(); ++i) {
      const bool still = i > 0 && poses[i]->onGround &&
                         distanceMetres(poses[i]->latitude, poses[i]->longitude, sent[lineUp].lat, sent[lineUp].lon) <=
                             kWithinMetres &&
                         distanceMetres(poses[i - 1]->latitude, poses[i - 1]->longitude, poses[i]->latitude,
                                        poses[i]->longitude) < kStandingMetres * 0.5;
      if (!still) stillFrom = i;
      else stood = std::max(stood, poses[i]->t - poses[stillFrom]->t);
    }
    if (reportedStand >= kShortestStandSeconds && stood < reportedStand * kLeastStandShare)
      complaints.push_back(fmt::format("{} ({}): stands {:.0f} s at its line-up, where its reports stand {:.0f} s",
                                       lf_name(*events.front()), fact->type, stood, reportedStand));
  }
  return complaints;
}

Complaints noseOffTheMotion(const Trace& trace) {
  constexpr double kFromKt = 3.0;
  constexpr double kMostOffDeg = 5.0;
  constexpr std::size_t kLeastSeconds = 3;
  // Two rounded positions put the direction between them up to this far aside, and the heading
  // is written to a tenth of a degree.
  constexpr double kRoundingMetres = 0.12;
  constexpr double kHeadingRoundingDeg = 0.1;
  Complaints complaints;
  for (const auto& [id, events] : lf_byObject(trace)) {
    const auto poses = lf_secondPoses(events);
    FirstAndMore found(" time(s)");
    std::size_t run = 0;
    double worst = 0.0;
    const TraceEvent* worstAt = nullptr;
    double worstMoving = 0.0;
    double worstKt = 0.0;
    auto endRun = [&] {
      if (run >= kLeastSeconds)
        found.add(fmt::format("{}: its nose {:.1f} deg off its motion ({:.0f} deg at {:.1f} kt) on the ground, {} s on end",
                              lf_name(*worstAt), worst, worstMoving, worstKt, run));
      run = 0;
      worst = 0.0;
    };
    for (std::size_t i = 1; i + 1 < poses.size(); ++i) {
      // The motion through a second's pose: from the pose before to the one after.
      const TraceEvent& a = *poses[i - 1];
      const TraceEvent& m = *poses[i];
      const TraceEvent& b = *poses[i + 1];
      const bool whole = std::fabs(m.t - a.t - 1.0) < 0.1 && std::fabs(b.t - m.t - 1.0) < 0.1;
      const double kt = lf_speedKt(a, b);
      if (!whole || !a.onGround || !m.onGround || !b.onGround || kt <= kFromKt) {
        endRun();
        continue;
      }
      const double moving = standin::sim::bearingDeg(a.latitude, a.longitude, b.latitude, b.longitude);
      const double off = std::fabs(std::remainder(moving - m.heading, 360.0));
      const double metres = distanceMetres(a.latitude, a.longitude, b.latitude, b.longitude);
      const double most = kMostOffDeg + std::atan2(kRoundingMetres, metres) * 180.0 / M_PI + kHeadingRoundingDeg;
      if (off <= most || off > 90.0) {  // along the nose, or pushed back
        endRun();
        continue;
      }
      ++run;
      if (off > worst) {
        worst = off;
        worstAt = &m;
        worstMoving = moving;
        worstKt = kt;
      }
    }
    endRun();
    found.into(complaints);
  }
  return complaints;
}

Complaints climbLosingSpeed(const Trace& trace, const Knowledge& knowledge) {
  constexpr double kMostLossKt = 15.0;
  constexpr double kWithinSeconds = 30.0;
  constexpr double kLeastClimbFeet = 10.0;  // over 5 s: climbing at 120 ft/min or more
  constexpr long kHalfWindow = 2;           // each speed over 5 s, that the sampling and the pace even out
  constexpr double kAirWithinMetres = 300.0;
  Complaints complaints;
  const std::vector<double> faults = wholesaleRemovals(trace);
  const MachineShares shares = machineShares(trace, knowledge);
  for (const auto& [id, events] : lf_byObject(trace)) {
    const std::optional<double> moved = lf_firstMove(events, 0.5);
    if (!moved) continue;
    const FlightFact* fact = lf_fact(knowledge, events.front()->tailNumber);
    const double settled = std::max(*moved + 1.0, lf_judgedFrom(events, lf_poses(events), faults));
    const double removed = lf_removedAt(events);
    const auto poses = lf_secondPoses(events);
    // Each pose's speed over the program's seconds around it; none where it is not wholly in the air.
    std::vector<std::optional<double>> kt(poses.size());
    for (std::size_t i = static_cast<std::size_t>(kHalfWindow); i + kHalfWindow < poses.size(); ++i) {
      const TraceEvent& a = *poses[i - kHalfWindow];
      const TraceEvent& b = *poses[i + kHalfWindow];
      if (a.t < settled || b.t > removed - 1.0 || std::fabs(b.t - a.t - 2.0 * kHalfWindow) > 0.1) continue;
      bool air = true;
      double metres = 0.0;
      for (std::size_t k = i - kHalfWindow; k < i + kHalfWindow; ++k) {
        air = air && !poses[k]->onGround && !poses[k + 1]->onGround;
        metres += distanceMetres(poses[k]->latitude, poses[k]->longitude, poses[k + 1]->latitude, poses[k + 1]->longitude);
      }
      const double ran = shares.over(a.t, b.t);
      if (air && ran >= 0.5 * (b.t - a.t)) kt[i] = metres / ran / kKnotInMetresPerSecond;
    }
    auto climbing = [&](std::size_t i) {
      const std::size_t j = lf_after(poses, i, 5.0);
      return j < poses.size() && !poses[i]->onGround && !poses[j]->onGround &&
             poses[j]->altitude - poses[i]->altitude >= kLeastClimbFeet;
    };
    bool named = false;
    for (std::size_t i = 0; i < poses.size() && !named; ++i) {
      if (!kt[i] || !climbing(i)) continue;
      for (std::size_t j = i + 1; j < poses.size() && poses[j]->t <= poses[i]->t + kWithinSeconds + 0.1; ++j) {
        if (!climbing(j)) break;
        if (!kt[j] || *kt[i] - *kt[j] <= kMostLossKt) continue;
        // What its reports lose between the two places, it may lose.
        double reported = 0.0;
        if (fact) {
          const auto f1 = lf_feedTimeAt(*fact, *poses[i], true, kAirWithinMetres);
          const auto f2 = lf_feedTimeAt(*fact, *poses[j], true, kAirWithinMetres);
          const auto v1 = f1 ? lf_reportedKt(*fact, *f1) : std::nullopt;
          const auto v2 = f2 ? lf_reportedKt(*fact, *f2) : std::nullopt;
          if (v1 && v2) reported = std::max(0.0, *v1 - *v2);
        }
        if (*kt[i] - *kt[j] <= kMostLossKt + reported) continue;
        const auto ground = lf_groundFeet(knowledge, poses[j]->latitude, poses[j]->longitude);
        complaints.push_back(fmt::format("{}: climbing, from {:.1f} kt to {:.1f} kt within {:.0f} s, {:.0f} ft over the "
                                         "ground (its reports lose {:.1f} kt there)",
                                         lf_name(*poses[j]), *kt[i], *kt[j], poses[j]->t - poses[i]->t,
                                         poses[j]->altitude - ground.value_or(0.0) - knowledge.cgFeet, reported));
        named = true;
        break;
      }
    }
  }
  return complaints;
}

std::optional<double> firstStaticPlacement(const Trace& trace, const Knowledge& knowledge, double from) {
  const std::set<std::uint32_t> movers = lf_movers(trace);
  for (const TraceEvent& e : trace.events)
    if (e.t > from && e.event == "create" && e.objectId && !movers.contains(*e.objectId) && !e.tailNumber.empty() &&
        !lf_liveFlight(knowledge, e.tailNumber))
      return e.t;
  return std::nullopt;
}

std::size_t movingAcross(const Trace& trace, const Knowledge& knowledge, double t, double before, double after) {
  std::size_t moving = 0;
  for (const auto& [id, events] : lf_byObject(trace)) {
    if (!lf_liveFlight(knowledge, events.front()->tailNumber)) continue;
    // The trace poses an object each second until it goes: two poses span every second between.
    const TraceEvent* last = nullptr;  // the last pose `before` s before t
    const TraceEvent* next = nullptr;  // the first pose `after` s after t
    for (const TraceEvent* e : events) {
      if (e->event == "remove" || !lf_finite(*e)) continue;
      if (e->t <= t - before) last = e;
      if (e->t >= t + after && !next) next = e;
    }
    if (last && next && distanceMetres(last->latitude, last->longitude, next->latitude, next->longitude) > 1.0) ++moving;
  }
  return moving;
}

std::vector<double> wholesaleRemovals(const Trace& trace) {
  std::vector<double> times;
  std::set<std::uint32_t> present;
  std::size_t removedNow = 0;
  double now = -1.0;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    if (e.t != now) {
      now = e.t;
      removedNow = 0;
    }
    if (e.event == "remove") {
      present.erase(*e.objectId);
      if (++removedNow >= 3 && present.empty() && (times.empty() || times.back() != e.t)) times.push_back(e.t);
    } else {
      present.insert(*e.objectId);
    }
  }
  // The program's shutdown removes what it owns at once; an object whose creation was on its way
  // then goes a moment later, once the program learns of it. The trace ends with removals only,
  // the first of them three or more at once: that is one removal of everything all the same.
  std::size_t run = trace.events.size();
  while (run > 0 && (!trace.events[run - 1].objectId || trace.events[run - 1].event == "remove")) --run;
  if (!present.empty() || run == trace.events.size()) return times;
  std::size_t first = run;
  while (first < trace.events.size() && !trace.events[first].objectId) ++first;
  if (first == trace.events.size()) return times;
  const double end = trace.events[first].t;
  const auto together = std::count_if(trace.events.begin(), trace.events.end(), [end](const TraceEvent& e) {
    return e.objectId && e.event == "remove" && e.t == end;
  });
  if (together >= 3 && (times.empty() || times.back() < end)) times.push_back(end);
  return times;
}

std::string summary(const Complaints& complaints, std::size_t shown) {
  std::string text = fmt::format("{} complaint(s)", complaints.size());
  for (std::size_t i = 0; i < complaints.size() && i < shown; ++i) text += "\n  " + complaints[i];
  if (complaints.size() > shown) text += "\n  ...";
  return text;
}

}  // namespace e2e
