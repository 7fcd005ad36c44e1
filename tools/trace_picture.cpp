// Reading, counting and drawing the stand-in simulator's trace with cairo.
#include "tools/trace_picture.h"

#include <cairo.h>
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>

#include "platform/canvas.h"

namespace tracepicture {

namespace {

constexpr std::string_view kHeader = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground";
constexpr double kPi = 3.14159265358979323846;

[[noreturn]] void lf_fail(const std::string& origin, std::size_t line, const std::string& what) {
  throw std::runtime_error(fmt::format("{} line {}: {}", origin, line, what));
}

// One CSV record from `at` on: fields, quotes doubled inside quoted ones, line breaks allowed in
// quotes. Counts the lines it passes.
std::vector<std::string> lf_record(std::string_view text, std::size_t& at, std::size_t& lines, const std::string& origin) {
  std::vector<std::string> fields(1);
  const std::size_t firstLine = lines;
  bool quoted = false;
  bool wasQuoted = false;
  while (at < text.size()) {
    const char c = text[at++];
    if (quoted) {
      if (c == '"') {
        if (at < text.size() && text[at] == '"') {
          fields.back() += '"';
          ++at;
        } else {
          quoted = false;
        }
      } else {
        if (c == '\n') ++lines;
        fields.back() += c;
      }
    } else if (c == '"' && fields.back().empty() && !wasQuoted) {
      quoted = wasQuoted = true;
    } else if (c == ',') {
      fields.emplace_back();
      wasQuoted = false;
    } else if (c == '\n') {
      ++lines;
      break;
    } else if (c == '\r' && (at >= text.size() || text[at] == '\n')) {
      // the CR of a CRLF
    } else if (wasQuoted) {
      lf_fail(origin, firstLine, "text after a quoted field");
    } else {
      fields.back() += c;
    }
  }
  if (quoted) lf_fail(origin, firstLine, "a quoted field is not closed");
  return fields;
}

double lf_number(const std::string& field, const std::string& origin, std::size_t line, const char* name) {
  // Non-finite values are what the stand-in writes for a client's non-finite pose: kept, not drawn.
  if (field == "nan" || field == "-nan") return std::nan("");
  if (field == "inf") return HUGE_VAL;
  if (field == "-inf") return -HUGE_VAL;
  double value = 0.0;
  const char* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  if (field.empty() || ec != std::errc() || ptr != end) lf_fail(origin, line, fmt::format("{} \"{}\" is not a number", name, field));
  return value;
}

// ---- drawing ----

struct Rgb {
  double r, g, b;
};

// Height over the airport to colour: ground dark blue, then green, yellow, orange, red, purple.
Rgb lf_heightColour(double feet, bool onGround) {
  if (onGround) return {0.10, 0.20, 0.55};
  struct Stop {
    double feet;
    Rgb colour;
  };
  static constexpr Stop kStops[] = {{0, {0.10, 0.65, 0.30}},    {2500, {0.55, 0.80, 0.15}}, {5000, {0.95, 0.80, 0.10}},
                                    {10000, {0.95, 0.50, 0.10}}, {20000, {0.85, 0.15, 0.15}}, {35000, {0.55, 0.10, 0.60}}};
  if (!(feet > kStops[0].feet)) return kStops[0].colour;
  for (std::size_t i = 1; i < std::size(kStops); ++i) {
    if (feet <= kStops[i].feet) {
      const double f = (feet - kStops[i - 1].feet) / (kStops[i].feet - kStops[i - 1].feet);
      const Rgb& a = kStops[i - 1].colour;
      const Rgb& b = kStops[i].colour;
      return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
    }
  }
  return kStops[std::size(kStops) - 1].colour;
}

Rgb lf_objectColour(std::size_t index) {
  // Golden-angle hues, darkened to read on white.
  const double hue = std::fmod(static_cast<double>(index) * 137.508, 360.0) / 60.0;
  const double x = 1.0 - std::fabs(std::fmod(hue, 2.0) - 1.0);
  Rgb c{0, 0, 0};
  switch (static_cast<int>(hue)) {
    case 0: c = {1, x, 0}; break;
    case 1: c = {x, 1, 0}; break;
    case 2: c = {0, 1, x}; break;
    case 3: c = {0, x, 1}; break;
    case 4: c = {x, 0, 1}; break;
    default: c = {1, 0, x}; break;
  }
  return {c.r * 0.75, c.g * 0.75, c.b * 0.75};
}


void lf_colour(cairo_t* cr, const Rgb& c, double alpha = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

void lf_text(cairo_t* cr, double x, double y, const std::string& text, double size, bool bold = false,
             double alignX = 0.0) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  cairo_move_to(cr, x - extents.x_advance * alignX, y);
  cairo_show_text(cr, text.c_str());
  cairo_new_path(cr);  // no current point left for the next figure to join
}

// Metres east and north of the airport's reference point.
struct Plane {
  double lat0;
  double lon0;
  double x(double lat, double lon) const {
    (void)lat;
    return std::remainder(lon - lon0, 360.0) * std::cos(lat0 * kPi / 180.0) * 111320.0;
  }
  double y(double lat) const { return (lat - lat0) * 110540.0; }
};

// A "nice" step for axis ticks: 1, 2 or 5 times a power of ten, about `span / count`.
double lf_tickStep(double span, int count) {
  const double raw = span / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (raw <= m * power) return m * power;
  return 10.0 * power;
}

struct Track {
  std::string title;
  std::vector<const TraceEvent*> points;
};

}  // namespace

Trace parseTrace(std::string_view text, const std::string& origin) {
  if (text.empty()) throw std::runtime_error(fmt::format("{}: the trace is empty", origin));
  std::size_t at = 0;
  std::size_t lines = 1;
  std::vector<std::string> header = lf_record(text, at, lines, origin);
  std::string joined;
  for (std::size_t i = 0; i < header.size(); ++i) joined += (i ? "," : "") + header[i];
  // Traces written before the tail column, or before the attitude columns, are read as they stand.
  const bool attitude = joined == std::string(kHeader) + ",tail,pitch_deg,bank_deg,vs_fpm,gs_kt";
  const bool tailed = attitude || joined == std::string(kHeader) + ",tail";
  if (joined != kHeader && !tailed)
    lf_fail(origin, 1, fmt::format("not a trace header: \"{}\"", joined.substr(0, 80)));
  const std::size_t fieldCount = attitude ? 14 : tailed ? 10 : 9;
  Trace trace;
  static const std::set<std::string, std::less<>> kEvents{"create", "refuse", "pose", "remove"};
  while (at < text.size()) {
    const std::size_t line = lines;
    const std::vector<std::string> f = lf_record(text, at, lines, origin);
    if (f.size() == 1 && f[0].empty()) continue;  // a blank line
    if (f.size() != fieldCount) lf_fail(origin, line, fmt::format("{} fields where {} belong", f.size(), fieldCount));
    TraceEvent e;
    e.t = lf_number(f[0], origin, line, "t_s");
    if (!std::isfinite(e.t) || e.t < 0.0) lf_fail(origin, line, fmt::format("t_s \"{}\" is not a time", f[0]));
    if (!kEvents.contains(f[1])) lf_fail(origin, line, fmt::format("unknown event \"{}\"", f[1].substr(0, 40)));
    e.event = f[1];
    if (!f[2].empty()) {
      std::uint32_t id = 0;
      const auto [ptr, ec] = std::from_chars(f[2].data(), f[2].data() + f[2].size(), id);
      if (ec != std::errc() || ptr != f[2].data() + f[2].size())
        lf_fail(origin, line, fmt::format("object_id \"{}\" is not a number", f[2].substr(0, 40)));
      e.objectId = id;
    } else if (e.event != "refuse") {
      lf_fail(origin, line, fmt::format("a {} without object_id", e.event));
    }
    e.title = f[3];
    e.latitude = lf_number(f[4], origin, line, "lat");
    e.longitude = lf_number(f[5], origin, line, "lon");
    e.altitude = lf_number(f[6], origin, line, "alt_ft");
    e.heading = lf_number(f[7], origin, line, "heading_deg");
    if (f[8] != "0" && f[8] != "1") lf_fail(origin, line, fmt::format("on_ground \"{}\" is neither 0 nor 1", f[8].substr(0, 40)));
    e.onGround = f[8] == "1";
    if (tailed) e.tailNumber = f[9];
    if (attitude) {
      e.pitch = lf_number(f[10], origin, line, "pitch_deg");
      e.bank = lf_number(f[11], origin, line, "bank_deg");
      e.verticalSpeed = lf_number(f[12], origin, line, "vs_fpm");
      e.groundSpeed = lf_number(f[13], origin, line, "gs_kt");
    }
    trace.events.push_back(std::move(e));
  }
  if (trace.events.empty()) throw std::runtime_error(fmt::format("{}: the trace has no events", origin));
  return trace;
}

Trace readTrace(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(fmt::format("cannot open {}", file.string()));
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return parseTrace(text, file.string());
}

TraceCounts countTrace(const Trace& trace) {
  TraceCounts counts;
  std::set<std::uint32_t> present;
  for (const TraceEvent& e : trace.events) {
    if (e.event == "create") {
      ++counts.created;
      present.insert(*e.objectId);
    } else if (e.event == "refuse") {
      ++counts.refused;
    } else if (e.event == "remove") {
      ++counts.removed;
      present.erase(*e.objectId);
    } else {
      ++counts.poses;
      if (!std::isfinite(e.latitude) || !std::isfinite(e.longitude) || !std::isfinite(e.altitude)) ++counts.nonFinitePoses;
      present.insert(*e.objectId);  // an object the trace began after
    }
    counts.mostAtOnce = std::max(counts.mostAtOnce, present.size());
  }
  if (!trace.events.empty()) {
    counts.firstSecond = trace.events.front().t;
    counts.lastSecond = trace.events.back().t;
  }
  return counts;
}

std::string countsLine(const TraceCounts& counts) {
  return fmt::format("{} created, {} refused, {} removed, at most {} at once", counts.created, counts.refused,
                     counts.removed, counts.mostAtOnce);
}

AirportMoments countAirportMoments(const Trace& trace) {
  constexpr double kMetresPerDegree = 111120.0;
  constexpr double kStillMetres = 0.05;  // less between two poses is standing
  struct Seen {
    double latitude = 0.0;
    double longitude = 0.0;
    bool onGround = false;
    double moved = 0.0;
    double backwards = 0.0;
    bool landed = false;
    bool tookOff = false;
  };
  std::map<std::uint32_t, Seen> objects;
  AirportMoments moments;
  auto tally = [&moments](const Seen& seen) {
    moments.landed += seen.landed;
    moments.tookOff += seen.tookOff;
    moments.taxied += seen.moved > 100.0;
    moments.pushedBack += seen.backwards > 15.0;
  };
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    if (!std::isfinite(e.latitude) || !std::isfinite(e.longitude)) continue;
    if (e.event == "remove") {
      if (const auto it = objects.find(*e.objectId); it != objects.end()) {
        tally(it->second);
        objects.erase(it);  // an id the simulator gives again is another object
      }
      continue;
    }
    // The create's own pose counts: an object may lift off within its first second.
    const auto [it, first] = objects.try_emplace(*e.objectId);
    Seen& seen = it->second;
    if (!first) {
      if (!seen.onGround && e.onGround) seen.landed = true;
      if (seen.onGround && !e.onGround) seen.tookOff = true;
      if (seen.onGround && e.onGround) {
        const double dy = (e.latitude - seen.latitude) * kMetresPerDegree;
        const double dx = (e.longitude - seen.longitude) * kMetresPerDegree * std::cos(e.latitude * kPi / 180.0);
        const double step = std::hypot(dx, dy);
        if (step > kStillMetres) {
          seen.moved += step;
          const double off = std::remainder(std::atan2(dx, dy) * 180.0 / kPi - e.heading, 360.0);
          if (std::fabs(off) > 120.0) seen.backwards += step;
        }
      }
    }
    seen.latitude = e.latitude;
    seen.longitude = e.longitude;
    seen.onGround = e.onGround;
  }
  for (const auto& [id, seen] : objects) tally(seen);
  return moments;
}

std::string momentsLine(const AirportMoments& moments) {
  return fmt::format("{} landed, {} took off, {} taxied more than 100 m, {} were pushed back", moments.landed,
                     moments.tookOff, moments.taxied, moments.pushedBack);
}

std::vector<TouchDown> touchDowns(const Trace& trace, const standin::sim::FacilityLayout& airport) {
  using standin::sim::bearingDeg;
  using standin::sim::distanceMetres;
  std::vector<TouchDown> found;
  std::map<std::uint32_t, bool> airborne;  // by object: its last line was in the air
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) continue;
    if (e.event == "remove") {
      airborne.erase(*e.objectId);
      continue;
    }
    if (!std::isfinite(e.latitude) || !std::isfinite(e.longitude)) continue;
    const auto before = airborne.find(*e.objectId);
    const bool landed = before != airborne.end() && before->second && e.onGround;
    airborne[*e.objectId] = !e.onGround;
    if (!landed) continue;
    TouchDown td{*e.objectId, e.tailNumber, e.t, e.latitude, e.longitude, e.groundSpeed.value_or(0.0)};
    // The runway end whose direction the nose follows and whose centreline lies nearest.
    double best = 0.0;
    for (const auto& runway : airport.runways)
      for (const auto* end : {&runway.primary, &runway.secondary}) {
        if (std::fabs(std::remainder(e.heading - end->headingDeg, 360.0)) > 30.0) continue;
        const double d = distanceMetres(end->latitude, end->longitude, e.latitude, e.longitude);
        const double angle = (bearingDeg(end->latitude, end->longitude, e.latitude, e.longitude) - end->headingDeg) * kPi / 180.0;
        const double along = d * std::cos(angle);
        const double aside = d * std::sin(angle);
        if (std::fabs(aside) > 300.0 || along < -3000.0 || along > runway.lengthMetres + 1000.0) continue;
        if (!td.runway.empty() && std::fabs(aside) >= best) continue;
        best = std::fabs(aside);
        td.runway = end->designator;
        td.pastThresholdMetres = along - end->displacedMetres;
        td.offCentreMetres = aside;
        td.landingDistanceMetres = runway.lengthMetres - end->displacedMetres;
        td.onRunway = td.pastThresholdMetres >= 0.0 && along <= runway.lengthMetres &&
                      std::fabs(aside) <= runway.widthMetres / 2.0 + 5.0;
      }
    found.push_back(std::move(td));
  }
  return found;
}

std::vector<AirRemoval> removalsInTheAir(const Trace& trace, const standin::sim::FacilityLayout& airport, double feet) {
  const double elevation = airport.elevationMetres * standin::sim::kFeetPerMetre;
  std::map<double, std::size_t> removedAt;  // simulator time -> removals then
  for (const TraceEvent& e : trace.events)
    if (e.event == "remove") ++removedAt[e.t];
  std::vector<AirRemoval> found;
  for (const TraceEvent& e : trace.events) {
    if (e.event != "remove" || !e.objectId || e.onGround || !std::isfinite(e.altitude)) continue;
    if (removedAt[e.t] >= 3) continue;  // everything at once: a closing or restart, no judgement on the flight
    const double height = e.altitude - elevation;
    const double fromAirport = standin::sim::distanceMetres(e.latitude, e.longitude, airport.latitude, airport.longitude);
    if (height <= feet && fromAirport < 15000.0) found.push_back({*e.objectId, e.tailNumber, e.t, height});
  }
  return found;
}

std::string landingsLine(const Trace& trace, const standin::sim::FacilityLayout& airport) {
  std::size_t shortOf = 0;
  std::size_t off = 0;
  for (const TouchDown& td : touchDowns(trace, airport)) {
    shortOf += td.shortOfRunway() ? 1 : 0;
    off += !td.onRunway && !td.shortOfRunway() ? 1 : 0;
  }
  return fmt::format("{} touch-downs short of a runway, {} elsewhere off a runway, {} aircraft removed in the air "
                     "within 300 ft of the ground",
                     shortOf, off, removalsInTheAir(trace, airport, 300.0).size());
}

void drawTracePicture(const Trace& trace, const standin::sim::FacilityLayout& airport, const std::filesystem::path& png) {
  constexpr int kWidth = 1200;
  constexpr double kTitle = 56.0;
  constexpr double kPlanSize = 1000.0;
  constexpr double kChartHeight = 420.0;
  constexpr int kHeight = static_cast<int>(kTitle + kPlanSize + kChartHeight + 70.0);
  ui::releaseFontCachesAtExit();
  const double elevation = airport.elevationMetres * standin::sim::kFeetPerMetre;
  const TraceCounts counts = countTrace(trace);

  std::map<std::uint32_t, Track> tracks;
  std::vector<const TraceEvent*> refusals;
  for (const TraceEvent& e : trace.events) {
    if (!e.objectId) {
      refusals.push_back(&e);
      continue;
    }
    Track& track = tracks[*e.objectId];
    if (track.title.empty()) track.title = e.title;
    track.points.push_back(&e);
  }
  auto finite = [](const TraceEvent* e) {
    return std::isfinite(e->latitude) && std::isfinite(e->longitude) && std::isfinite(e->altitude) &&
           std::fabs(e->latitude) <= 90.0;
  };

  // The plan's extent: the airport and everything traced within 60 km of it, square.
  const Plane plane{airport.latitude, airport.longitude};
  double half = 3000.0;
  for (const auto& runway : airport.runways)
    half = std::max(half, 1.15 * std::hypot(plane.x(runway.latitude, runway.longitude), plane.y(runway.latitude)) +
                              runway.lengthMetres * 0.6);
  for (const auto& [id, track] : tracks)
    for (const TraceEvent* e : track.points) {
      if (!finite(e)) continue;
      const double d = std::max(std::fabs(plane.x(e->latitude, e->longitude)), std::fabs(plane.y(e->latitude)));
      if (d <= 60000.0) half = std::max(half, d * 1.05);
    }
  const double planLeft = (kWidth - kPlanSize) / 2.0;
  const double planScale = kPlanSize / (2.0 * half);  // pixels per metre

  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight), cairo_surface_destroy);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()), cairo_destroy);
  cairo_t* cr = context.get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);

  // A plan of the square `size` pixels wide at left/top, `half` metres from its centre to its sides:
  // a light field, runways, stands, then the tracks.
  auto drawPlan = [&](double left, double top, double size, double halfMetres) {
    const double scale = size / (2.0 * halfMetres);  // pixels per metre
    auto px = [&](double lat, double lon) { return left + size / 2.0 + plane.x(lat, lon) * scale; };
    auto py = [&](double lat) { return top + size / 2.0 - plane.y(lat) * scale; };
    // Far beyond the square a point only strains cairo's fixed-point coordinates.
    auto near = [&](const TraceEvent* e) {
      return finite(e) && std::fabs(plane.x(e->latitude, e->longitude)) <= 4.0 * halfMetres &&
             std::fabs(plane.y(e->latitude)) <= 4.0 * halfMetres;
    };
    cairo_save(cr);
    cairo_rectangle(cr, left, top, size, size);
    cairo_clip_preserve(cr);
    cairo_set_source_rgb(cr, 0.95, 0.96, 0.93);
    cairo_fill(cr);
    for (const auto& runway : airport.runways) {
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
      cairo_set_line_width(cr, std::max(3.0, runway.widthMetres * scale));
      cairo_set_source_rgb(cr, 0.35, 0.35, 0.38);
      cairo_move_to(cr, px(runway.primary.latitude, runway.primary.longitude), py(runway.primary.latitude));
      cairo_line_to(cr, px(runway.secondary.latitude, runway.secondary.longitude), py(runway.secondary.latitude));
      cairo_stroke(cr);
      for (const auto* end : {&runway.primary, &runway.secondary}) {
        // The designator just beyond its end, outside the runway.
        double lat = end->latitude;
        double lon = end->longitude;
        standin::sim::offsetPosition(lat, lon, end->headingDeg + 180.0, 14.0 / scale);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        lf_text(cr, px(lat, lon), py(lat) + 5, end->designator, 12, true, 0.5);
      }
    }
    for (const auto& stand : airport.stands) {
      cairo_new_sub_path(cr);
      cairo_arc(cr, px(stand.latitude, stand.longitude), py(stand.latitude), std::max(2.0, stand.radiusMetres * scale), 0, 2 * kPi);
      cairo_set_source_rgba(cr, 0.45, 0.45, 0.55, 0.6);
      cairo_set_line_width(cr, 1.0);
      cairo_stroke(cr);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (const auto& [id, track] : tracks) {
      const TraceEvent* previous = nullptr;
      for (const TraceEvent* e : track.points) {
        if (!near(e)) continue;
        if (previous) {
          lf_colour(cr, lf_heightColour(e->altitude - elevation, e->onGround));
          cairo_set_line_width(cr, 2.5);
          cairo_move_to(cr, px(previous->latitude, previous->longitude), py(previous->latitude));
          cairo_line_to(cr, px(e->latitude, e->longitude), py(e->latitude));
          cairo_stroke(cr);
        }
        previous = e;
      }
      for (const TraceEvent* e : track.points) {
        if (!near(e) || e->event == "pose") continue;
        const double x = px(e->latitude, e->longitude);
        const double y = py(e->latitude);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        cairo_set_line_width(cr, 1.5);
        if (e->event == "create") {
          cairo_new_sub_path(cr);
          cairo_arc(cr, x, y, 5, 0, 2 * kPi);
        } else {
          cairo_move_to(cr, x - 4, y - 4);
          cairo_line_to(cr, x + 4, y + 4);
          cairo_move_to(cr, x - 4, y + 4);
          cairo_line_to(cr, x + 4, y - 4);
        }
        cairo_stroke(cr);
      }
    }
    for (const TraceEvent* e : refusals) {
      if (!near(e)) continue;
      const double x = px(e->latitude, e->longitude);
      const double y = py(e->latitude);
      cairo_set_source_rgb(cr, 0.85, 0.0, 0.0);
      cairo_set_line_width(cr, 2.0);
      cairo_move_to(cr, x - 6, y - 6);
      cairo_line_to(cr, x + 6, y + 6);
      cairo_move_to(cr, x - 6, y + 6);
      cairo_line_to(cr, x + 6, y - 6);
      cairo_stroke(cr);
    }
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, left, top, size, size);
    cairo_stroke(cr);
  };

  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  lf_text(cr, 16, 26, fmt::format("Stand-in simulator trace at {} {}", airport.icao, airport.name), 20, true);
  lf_text(cr, 16, 48,
          fmt::format("{}; {} poses over {:.0f} s{}", countsLine(counts), counts.poses, counts.lastSecond - counts.firstSecond,
                      counts.nonFinitePoses ? fmt::format(", {} without a finite position", counts.nonFinitePoses) : ""),
          14);

  drawPlan(planLeft, kTitle, kPlanSize, half);
  // The airport close up in the plan's lower right corner: ground movement is lost at the plan's scale.
  double airportHalf = 1500.0;
  for (const auto& runway : airport.runways)
    for (const auto* end : {&runway.primary, &runway.secondary})
      airportHalf = std::max(airportHalf, 1.1 * std::max(std::fabs(plane.x(end->latitude, end->longitude)),
                                                          std::fabs(plane.y(end->latitude))));
  if (airportHalf < half / 3.0) {
    constexpr double kInset = 340.0;
    drawPlan(planLeft + kPlanSize - kInset - 12, kTitle + kPlanSize - kInset - 12, kInset, airportHalf);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    lf_text(cr, planLeft + kPlanSize - kInset - 6, kTitle + kPlanSize - kInset + 4, "the airport", 12, true);
  }

  // Scale bar, north, and the key of heights and markers.
  {
    const double barMetres = lf_tickStep(half / 2.0, 1);
    const double x0 = planLeft + 20;
    const double y0 = kTitle + kPlanSize - 24;
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_line_width(cr, 3.0);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x0 + barMetres * planScale, y0);
    cairo_stroke(cr);
    lf_text(cr, x0, y0 - 8, barMetres >= 1000 ? fmt::format("{:g} km", barMetres / 1000) : fmt::format("{:g} m", barMetres), 12);
    lf_text(cr, planLeft + kPlanSize - 24, kTitle + 28, "N", 18, true, 0.5);
    cairo_move_to(cr, planLeft + kPlanSize - 24, kTitle + 34);
    cairo_line_to(cr, planLeft + kPlanSize - 24, kTitle + 60);
    cairo_stroke(cr);

    const double kx = planLeft + 12;
    double ky = kTitle + 22;
    cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
    cairo_rectangle(cr, kx - 6, ky - 16, 190, 200);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    lf_text(cr, kx, ky, "height over the airport", 12, true);
    const std::pair<const char*, Rgb> keys[] = {{"on the ground", lf_heightColour(0, true)},
                                                {"0 ft", lf_heightColour(0, false)},
                                                {"2500 ft", lf_heightColour(2500, false)},
                                                {"5000 ft", lf_heightColour(5000, false)},
                                                {"10000 ft", lf_heightColour(10000, false)},
                                                {"20000 ft", lf_heightColour(20000, false)},
                                                {"35000 ft", lf_heightColour(35000, false)}};
    for (const auto& [label, colour] : keys) {
      ky += 18;
      lf_colour(cr, colour);
      cairo_rectangle(cr, kx, ky - 10, 24, 8);
      cairo_fill(cr);
      cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
      lf_text(cr, kx + 32, ky, label, 12);
    }
    ky += 20;
    lf_text(cr, kx, ky, "o created   x removed", 12);
    cairo_set_source_rgb(cr, 0.85, 0.0, 0.0);
    lf_text(cr, kx, ky + 18, "x refused", 12);
  }

  // Altitude over time.
  const double chartLeft = 90.0;
  const double chartRight = kWidth - 30.0;
  const double chartTop = kTitle + kPlanSize + 40.0;
  const double chartBottom = chartTop + kChartHeight - 40.0;
  double tMin = counts.firstSecond;
  double tMax = std::max(counts.lastSecond, tMin + 1.0);
  double aMin = std::min(0.0, elevation);
  double aMax = elevation + 1000.0;
  // Heights beyond any aircraft's would only squash the chart.
  auto charted = [](double altitude) { return std::isfinite(altitude) && altitude > -2000.0 && altitude < 100000.0; };
  for (const TraceEvent& e : trace.events)
    if (e.objectId && charted(e.altitude)) aMax = std::max(aMax, e.altitude);
  aMax *= 1.05;
  auto cx = [&](double t) { return chartLeft + (t - tMin) / (tMax - tMin) * (chartRight - chartLeft); };
  auto cy = [&](double a) { return chartBottom - (a - aMin) / (aMax - aMin) * (chartBottom - chartTop); };
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  lf_text(cr, chartLeft, chartTop - 14, "altitude (ft) over simulator time (s), one colour per object", 14, true);
  cairo_set_line_width(cr, 1.0);
  const double aStep = lf_tickStep(aMax - aMin, 6);
  int ticks = 0;  // bounded: a step lost in a large time's precision would never end the loop
  for (double a = std::ceil(aMin / aStep) * aStep; a <= aMax && ++ticks < 50; a += aStep) {
    cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
    cairo_move_to(cr, chartLeft, cy(a));
    cairo_line_to(cr, chartRight, cy(a));
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    lf_text(cr, chartLeft - 8, cy(a) + 4, fmt::format("{:g}", a), 11, false, 1.0);
  }
  const double tStep = lf_tickStep(tMax - tMin, 10);
  ticks = 0;
  for (double t = std::ceil(tMin / tStep) * tStep; t <= tMax && ++ticks < 50; t += tStep) {
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    lf_text(cr, cx(t), chartBottom + 16, fmt::format("{:g}", t), 11, false, 0.5);
  }
  const double dashes[] = {6.0, 4.0};
  cairo_set_dash(cr, dashes, 2, 0);
  cairo_set_source_rgb(cr, 0.1, 0.2, 0.55);
  cairo_move_to(cr, chartLeft, cy(elevation));
  cairo_line_to(cr, chartRight, cy(elevation));
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  lf_text(cr, chartRight - 4, cy(elevation) - 4, fmt::format("{} ground {:.0f} ft", airport.icao, elevation), 11, false, 1.0);
  std::size_t index = 0;
  for (const auto& [id, track] : tracks) {
    lf_colour(cr, lf_objectColour(index++));
    cairo_set_line_width(cr, 2.0);
    bool drawing = false;
    for (const TraceEvent* e : track.points) {
      if (!charted(e->altitude)) {
        drawing = false;
        continue;
      }
      if (drawing)
        cairo_line_to(cr, cx(e->t), cy(e->altitude));
      else
        cairo_move_to(cr, cx(e->t), cy(e->altitude));
      drawing = true;
    }
    cairo_stroke(cr);
  }
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_rectangle(cr, chartLeft, chartTop, chartRight - chartLeft, chartBottom - chartTop);
  cairo_stroke(cr);

  cairo_surface_flush(surface.get());
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error(fmt::format("drawing failed: {}", cairo_status_to_string(cairo_status(cr))));
  const std::filesystem::path temporary = png.string() + ".tmp";
  const cairo_status_t written = cairo_surface_write_to_png(surface.get(), temporary.c_str());
  if (written != CAIRO_STATUS_SUCCESS) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw std::runtime_error(fmt::format("cannot write {}: {}", png.string(), cairo_status_to_string(written)));
  }
  std::error_code error;
  std::filesystem::rename(temporary, png, error);
  if (error) throw std::runtime_error(fmt::format("cannot write {}: {}", png.string(), error.message()));
}

}  // namespace tracepicture
