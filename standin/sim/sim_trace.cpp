// The stand-in simulator's trace: what a person would see in the simulator, one CSV line per
// event, for the picture tool and the demo's counts.
#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "standin/sim/sim.h"
#include "standin/sim/sim_internal.h"

namespace standin::sim {
namespace detail {

namespace {

constexpr const char* kHeader =
    "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail,pitch_deg,bank_deg,vs_fpm,gs_kt\n";
constexpr double kPi = 3.14159265358979323846;

// A field with a comma, a quote or a line break goes in quotes, its quotes doubled.
std::string lf_csvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

double lf_headingDegrees(double radians) {
  const double degrees = std::fmod(radians * 180.0 / kPi, 360.0);
  return degrees < 0.0 ? degrees + 360.0 : degrees;
}

void lf_write(Sim& s, const std::string& line) {
  Trace& trace = s.trace;
  if (!trace.file) return;
  if (std::fwrite(line.data(), 1, line.size(), trace.file) == line.size()) return;
  // A full disk ends the trace; what was written stays under the temporary name.
  std::fprintf(stderr, "stand-in simulator: trace %s not written further\n", trace.partial.string().c_str());
  std::fclose(trace.file);
  trace.file = nullptr;
}

struct Attitude {
  double pitchDeg = 0.0;  // nose up positive
  double bankDeg = 0.0;   // as the simulator's bank variable
  double vsFpm = 0.0;     // the vertical speed the client sent
  double gsKt = 0.0;      // over the ground since the object's last traced line
};

void lf_writeEvent(Sim& s, std::string_view event, std::string_view objectId, std::string_view title, double lat,
                   double lon, double altitude, double headingRadians, bool onGround, std::string_view tail,
                   const Attitude& a) {
  lf_write(s, fmt::format("{:.2f},{},{},{},{:.6f},{:.6f},{:.1f},{:.1f},{},{},{:.1f},{:.1f},{:.0f},{:.1f}\n", s.simMs / 1000.0,
                          event, objectId, lf_csvField(title), lat, lon, altitude, lf_headingDegrees(headingRadians),
                          onGround ? 1 : 0, lf_csvField(tail), a.pitchDeg, a.bankDeg, a.vsFpm, a.gsKt));
}

// Ground speed from the object's previous traced position: what a watcher sees it move.
double lf_groundSpeedKt(Sim& s, const ObjectState& object) {
  auto& last = s.trace.lastPositions[object.objectId];
  const double t = s.simMs / 1000.0;
  double kt = last.t < 0.0 ? 0.0 : last.gsKt;
  if (last.t >= 0.0 && t - last.t > 1e-3 && std::isfinite(object.latitude) && std::isfinite(object.longitude)) {
    constexpr double kMetresPerDegree = 111120.0;
    const double dy = (object.latitude - last.latitude) * kMetresPerDegree;
    const double dx = std::remainder(object.longitude - last.longitude, 360.0) * kMetresPerDegree *
                      std::cos(object.latitude * kPi / 180.0);
    kt = std::hypot(dx, dy) / (t - last.t) * 3600.0 / 1852.0;
  }
  last = {t, object.latitude, object.longitude, kt};
  return kt;
}

// At exit the trace gets its name; a thread that still holds the simulator is waited for a moment.
void lf_closeAtExit() {
  Sim& s = sim();
  std::unique_lock lock(s.mutex, std::defer_lock);
  for (int i = 0; i < 200 && !lock.try_lock(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (lock.owns_lock()) closeTrace(s);
}

}  // namespace

void openTrace(Sim& s, const std::filesystem::path& file) {
  closeTrace(s);
  if (file.empty()) return;
  static std::once_flag atExit;
  std::call_once(atExit, [] { std::atexit(lf_closeAtExit); });
  Trace& trace = s.trace;
  trace.target = file;
  trace.partial = file.string() + ".part";
  trace.file = std::fopen(trace.partial.string().c_str(), "wb");
  if (!trace.file) {
    std::fprintf(stderr, "stand-in simulator: trace %s cannot be written\n", trace.partial.string().c_str());
    return;
  }
  trace.lastPoseSecond = static_cast<std::int64_t>(std::floor(s.simMs / 1000.0 + 1e-9));
  lf_write(s, kHeader);
}

void closeTrace(Sim& s) {
  Trace& trace = s.trace;
  if (trace.file) {
    const bool flushed = std::fflush(trace.file) == 0;
    const bool closed = std::fclose(trace.file) == 0;
    trace.file = nullptr;
    std::error_code error;
    if (flushed && closed) std::filesystem::rename(trace.partial, trace.target, error);
    if (!flushed || !closed || error)
      std::fprintf(stderr, "stand-in simulator: trace %s not completed\n", trace.target.string().c_str());
  }
  trace = Trace{};
}

void traceObject(Sim& s, std::string_view event, const ObjectState& object) {
  if (!s.trace.file) return;
  const Attitude attitude{-object.pitch * 180.0 / kPi, object.bank * 180.0 / kPi, object.verticalSpeed,
                          lf_groundSpeedKt(s, object)};
  if (event == "remove") s.trace.lastPositions.erase(object.objectId);
  lf_writeEvent(s, event, std::to_string(object.objectId), object.title, object.latitude, object.longitude,
                object.altitude, object.heading, object.onGround, object.tailNumber, attitude);
}

void traceRefusal(Sim& s, const PendingCreate& create) {
  if (!s.trace.file) return;
  const SimConnectInitPosition& p = create.position;
  lf_writeEvent(s, "refuse", "", create.title, p.latitude, p.longitude, p.altitude, p.heading * kPi / 180.0,
                p.onGround != 0, create.tailNumber, {-p.pitch, p.bank, 0.0, static_cast<double>(p.airspeed)});
}

void tracePoses(Sim& s) {
  if (!s.trace.file) return;
  const auto second = static_cast<std::int64_t>(std::floor(s.simMs / 1000.0 + 1e-9));
  if (second <= s.trace.lastPoseSecond) return;
  s.trace.lastPoseSecond = second;
  for (const auto& [id, object] : s.objects) traceObject(s, "pose", object);
  if (s.trace.file) std::fflush(s.trace.file);
}

}  // namespace detail

void setTraceFile(const std::filesystem::path& file) {
  detail::Sim& s = detail::sim();
  std::lock_guard lock(s.mutex);
  detail::openTrace(s, file);
}

}  // namespace standin::sim
