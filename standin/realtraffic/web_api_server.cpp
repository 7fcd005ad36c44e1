#include "standin/realtraffic/web_api_server.h"

#include <httplib.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

namespace rtstandin {

namespace {

using Json = nlohmann::json;
constexpr std::size_t kTrafficEntrySize = 49;

int lf_hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string lf_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && lf_hexDigit(text[i + 1]) >= 0 && lf_hexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(lf_hexDigit(text[i + 1]) * 16 + lf_hexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::optional<double> lf_number(const std::map<std::string, std::string>& form, const std::string& key) {
  const auto it = form.find(key);
  if (it == form.end()) return std::nullopt;
  try {
    std::size_t used = 0;
    const double value = std::stod(it->second, &used);
    if (used != it->second.size() || !std::isfinite(value)) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

struct Box {
  double top = 0, bottom = 0, left = 0, right = 0;
  bool contains(double lat, double lon) const {
    if (lat > top || lat < bottom) return false;
    if (left <= right) return lon >= left && lon <= right;
    return lon >= left || lon <= right;  // across the 180th meridian
  }
};

std::optional<Box> lf_box(const std::map<std::string, std::string>& form) {
  const auto top = lf_number(form, "top");
  const auto bottom = lf_number(form, "bottom");
  const auto left = lf_number(form, "left");
  const auto right = lf_number(form, "right");
  if (!top || !bottom || !left || !right) return std::nullopt;
  return Box{*top, *bottom, *left, *right};
}

std::string lf_json(int status, std::string_view message) {
  return Json{{"status", status}, {"message", message}}.dump();
}

}  // namespace

std::map<std::string, std::string> decodeForm(std::string_view body) {
  std::map<std::string, std::string> form;
  while (!body.empty()) {
    const std::size_t amp = body.find('&');
    const std::string_view field = body.substr(0, amp);
    const std::size_t eq = field.find('=');
    if (eq == std::string_view::npos) {
      if (!field.empty()) form[lf_decode(field)] = "";
    } else {
      form[lf_decode(field.substr(0, eq))] = lf_decode(field.substr(eq + 1));
    }
    if (amp == std::string_view::npos) break;
    body.remove_prefix(amp + 1);
  }
  return form;
}

namespace {

Json lf_trafficEntry(const Flight& flight, const TrackPoint& point, std::int64_t startTime) {
  Json entry = Json::array();
  for (std::size_t i = 0; i < kTrafficEntrySize; ++i) entry.push_back(nullptr);
  entry[0] = fmt::format("{:06x}", flight.hexid);
  entry[1] = point.lat;
  entry[2] = point.lon;
  entry[3] = point.track;
  entry[4] = point.altitude;
  entry[5] = point.gs;
  entry[6] = "1000";
  entry[8] = flight.type;
  entry[9] = flight.registration;
  entry[10] = static_cast<double>(startTime) + point.t;
  entry[11] = flight.origin;
  entry[12] = flight.destination;
  entry[13] = flight.callsign;
  entry[15] = point.vs;
  entry[17] = flight.sourceType;
  if (point.tas >= 0) entry[20] = point.tas;
  entry[23] = point.roll;
  // A scenario point without a heading flies along its track, as real ADS-B traffic does.
  entry[25] = point.trueHeading != 0.0 ? point.trueHeading : point.track;
  entry[28] = flight.emitterCategory;
  entry[48] = flight.airline;
  return entry;
}

}  // namespace

std::string webApiTrafficEntry(const Flight& flight, const TrackPoint& point, std::int64_t startTime) {
  return lf_trafficEntry(flight, point, startTime).dump();
}

struct WebApiServer::Impl {
  TrafficScenario scenario;
  WebApiOptions options;
  httplib::Server server;
  std::thread thread;
  int port = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;  // requests arrived, stalls released, stopping
  bool stopping = false;
  std::uint64_t releaseGeneration = 0;
  std::map<std::string, std::deque<WebApiFault>> faults;
  std::vector<WebApiRequestRecord> records;
  std::set<std::string> guids;
  std::uint64_t nextGuid = 1;

  double fixedTime = 0.0;
  bool clockRunning = false;
  double clockSpeed = 1.0;
  bool clockLoop = false;
  std::chrono::steady_clock::time_point clockStart;
  std::int64_t defaultExpiry = 0;

  double timeLocked() const { return lapLocked().t; }
  ReplayLap lapLocked() const {
    if (!clockRunning) return {fixedTime, 0};
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart).count();
    const double t = fixedTime + elapsed * clockSpeed;
    if (!clockLoop) return {t, 0};
    return replayLap(t, scenarioEnd(scenario));
  }

  std::optional<WebApiFault> takeFault(const std::string& key, const std::string& path) {
    for (const std::string& name : {key, path}) {
      auto it = faults.find(name);
      if (it != faults.end() && !it->second.empty()) {
        WebApiFault fault = it->second.front();
        it->second.pop_front();
        return fault;
      }
    }
    return std::nullopt;
  }

  // True when the stall ended by time or release, false when the server is stopping.
  bool stall(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex);
    const std::uint64_t generation = releaseGeneration;
    auto released = [&] { return stopping || releaseGeneration != generation; };
    if (duration.count() > 0) {
      changed.wait_for(lock, duration, released);
    } else {
      changed.wait(lock, released);
    }
    return !stopping;
  }

  void handle(const std::string& path, const httplib::Request& request, httplib::Response& response) {
    WebApiRequestRecord record{path, request.body, decodeForm(request.body), request.remote_port};
    const std::map<std::string, std::string> form = record.form;
    std::string kind;
    if (path == "/v6/traffic") {
      const auto type = form.find("querytype");
      if (type != form.end() && type->second == "parkedtraffic") kind = "parkedtraffic";
      else if (form.count("buffercount")) kind = "buffer";
      else kind = "live";
    }
    std::optional<WebApiFault> fault;
    double t = 0;
    std::int64_t startTime = 0;
    {
      std::lock_guard lock(mutex);
      records.push_back(std::move(record));
      fault = takeFault(kind.empty() ? path : path + ":" + kind, path);
      const ReplayLap lap = lapLocked();
      t = lap.t;
      // The clock may be set again while this answer is built.
      startTime = scenario.startTime + lap.shift;
    }
    changed.notify_all();

    std::optional<std::int64_t> rrl;
    if (fault) {
      switch (fault->kind) {
        case WebApiFaultKind::Stall:
          if (!stall(fault->stall)) return;
          break;
        case WebApiFaultKind::HtmlPage:
          response.status = fault->httpStatus;
          response.set_content(
              fmt::format("<html><head><title>{}</title></head><body><h1>Proxy error</h1></body></html>", fault->httpStatus),
              "text/html");
          return;
        case WebApiFaultKind::EmptyBody:
          response.status = 200;
          response.set_content("", "application/json");
          return;
        case WebApiFaultKind::Status:
          response.status = fault->httpStatus;
          response.set_content(lf_json(fault->status, fault->message), "application/json");
          return;
        case WebApiFaultKind::Oversized: {
          std::string body = R"({"status":200,"message":"OK","data":{},"padding":")";
          body.append(fault->size > body.size() + 2 ? fault->size - body.size() - 2 : 0, 'x');
          body += "\"}";
          response.status = 200;
          response.set_content(std::move(body), "application/json");
          return;
        }
        case WebApiFaultKind::RrlOutOfRange:
          rrl = fault->rrl;
          break;
        case WebApiFaultKind::GuidChange: {
          std::lock_guard lock(mutex);
          guids.clear();
          break;
        }
      }
    }

    Json answer;
    if (path == "/v6/auth") {
      answer = auth(form);
    } else if (path == "/v6/deauth") {
      answer = deauth(form);
    } else if (!knownGuid(form)) {
      response.status = 401;
      response.set_content(lf_json(401, "GUID not found, please authenticate"), "application/json");
      return;
    } else if (path == "/v6/traffic") {
      answer = traffic(form, kind, t, startTime);
    } else {
      answer = nearestMetar(form, t);
    }
    if (rrl && answer.value("status", 0) == 200) {
      answer["rrl"] = *rrl;
      if (path == "/v6/auth") answer["wrrl"] = *rrl;
    }
    response.status = 200;
    response.set_content(answer.dump(), "application/json");
  }

  bool knownGuid(const std::map<std::string, std::string>& form) {
    const auto it = form.find("GUID");
    std::lock_guard lock(mutex);
    return it != form.end() && guids.count(it->second) != 0;
  }

  Json auth(const std::map<std::string, std::string>& form) {
    std::string credential;
    if (auto it = form.find("license"); it != form.end()) credential = it->second;
    if (auto it = form.find("token"); it != form.end()) credential = it->second;
    const bool accepted =
        !credential.empty() && (options.credentials.empty() || std::find(options.credentials.begin(),
                                                                          options.credentials.end(),
                                                                          credential) != options.credentials.end());
    if (!accepted) return Json{{"status", 404}, {"message", "License not found"}};
    std::string guid;
    {
      std::lock_guard lock(mutex);
      guid = fmt::format("{:08x}-standin-{:04d}", 0x5eed1234u, nextGuid++);
      guids.insert(guid);
    }
    return Json{{"status", 200},
                {"GUID", guid},
                {"rrl", options.rrlMs},
                {"wrrl", options.wrrlMs},
                {"type", options.licenseType},
                {"expiry", options.expiry ? options.expiry : defaultExpiry},
                {"server", options.serverName}};
  }

  Json deauth(const std::map<std::string, std::string>& form) {
    const auto it = form.find("GUID");
    std::lock_guard lock(mutex);
    if (it == form.end() || guids.erase(it->second) == 0) return Json{{"status", 401}, {"message", "GUID not found"}};
    return Json{{"status", 200}, {"message", "Deauthenticated from"}, {"server", options.serverName}};
  }

  Json traffic(const std::map<std::string, std::string>& form, const std::string& kind, double t,
               std::int64_t startTime) {
    const auto box = lf_box(form);
    if (!box) return Json{{"status", 400}, {"message", "Missing or invalid query box"}};
    const double toffsetMinutes = lf_number(form, "toffset").value_or(0.0);
    const double now = t - toffsetMinutes * 60.0;
    Json answer{{"status", 200}, {"rrl", options.rrlMs}, {"message", "OK"}};
    if (kind == "parkedtraffic") {
      Json data = Json::object();
      for (const ParkedAircraft& aircraft : scenario.parked) {
        if (!box->contains(aircraft.lat, aircraft.lon)) continue;
        data[fmt::format("{:06X}", aircraft.hexid)] =
            Json::array({aircraft.lat, aircraft.lon, aircraft.stand, aircraft.type, aircraft.registration,
                         static_cast<double>(startTime) + aircraft.seen, aircraft.callsign});
      }
      answer["data"] = std::move(data);
      return answer;
    }
    if (kind == "buffer") {
      const int count = std::clamp(static_cast<int>(lf_number(form, "buffercount").value_or(0)), 0, 20);
      const double step = lf_number(form, "buffertime").value_or(6.0);
      Json data = Json::object();
      // As the service sends them: buffer_0 is the youngest snapshot (one step before now), the
      // last one the oldest.
      for (int i = 0; i < count; ++i) {
        data[fmt::format("buffer_{}", i)] = snapshot(*box, now - step * (i + 1), startTime);
      }
      answer["data"] = std::move(data);
      return answer;
    }
    answer["data"] = snapshot(*box, now, startTime);
    return answer;
  }

  Json snapshot(const Box& box, double t, std::int64_t startTime) const {
    Json data = Json::object();
    for (const Flight& flight : scenario.flights) {
      const auto point = positionAt(flight, t);
      if (!point || !box.contains(point->lat, point->lon)) continue;
      data[fmt::format("{:06x}", flight.hexid)] = lf_trafficEntry(flight, *point, startTime);
    }
    return data;
  }

  Json nearestMetar(const std::map<std::string, std::string>& form, double t) const {
    if (!lf_number(form, "lat") || !lf_number(form, "lon"))
      return Json{{"status", 400}, {"message", "Missing lat or lon"}};
    const double toffsetMinutes = lf_number(form, "toffset").value_or(0.0);
    Json data = Json::array();
    if (const Metar* metar = metarAt(scenario, t - toffsetMinutes * 60.0))
      data.push_back(Json{{"ICAO", metar->icao}, {"METAR", metar->text}, {"Dist", 0.0}});
    return Json{{"status", 200}, {"message", "OK"}, {"data", std::move(data)}};
  }
};

WebApiServer::WebApiServer(TrafficScenario scenario, WebApiOptions options, int port) : impl_(std::make_unique<Impl>()) {
  impl_->scenario = std::move(scenario);
  impl_->options = std::move(options);
  impl_->defaultExpiry =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count() +
      30 * 86400;
  for (const std::string path : {"/v6/auth", "/v6/deauth", "/v6/traffic", "/v6/nearestmetar"}) {
    impl_->server.Post(path, [this, path](const httplib::Request& request, httplib::Response& response) {
      impl_->handle(path, request, response);
    });
  }
  impl_->server.set_keep_alive_max_count(1000);
  // Long enough for polls at the default 2 s pace; short enough that a stop is not held up long.
  impl_->server.set_keep_alive_timeout(5);
  if (port == 0) {
    impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
  } else {
    impl_->port = impl_->server.bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (impl_->port <= 0) throw std::runtime_error("web API stand-in: cannot bind 127.0.0.1");
  impl_->thread = std::thread([this] { impl_->server.listen_after_bind(); });
  // stop() is a no-op until the loop runs; wait for it so that a quick stop can't be lost.
  for (int i = 0; i < 5000 && !impl_->server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

WebApiServer::~WebApiServer() { stop(); }

int WebApiServer::port() const { return impl_->port; }

std::string WebApiServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(impl_->port); }

void WebApiServer::setTime(double t) {
  std::lock_guard lock(impl_->mutex);
  impl_->fixedTime = t;
  impl_->clockRunning = false;
}

void WebApiServer::runClock(double speed, bool loop) {
  std::lock_guard lock(impl_->mutex);
  impl_->fixedTime = impl_->timeLocked();
  impl_->clockRunning = true;
  impl_->clockSpeed = speed;
  impl_->clockLoop = loop;
  impl_->clockStart = std::chrono::steady_clock::now();
}

double WebApiServer::time() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->timeLocked();
}

void WebApiServer::addFault(const std::string& endpoint, WebApiFault fault, int count) {
  std::lock_guard lock(impl_->mutex);
  for (int i = 0; i < count; ++i) impl_->faults[endpoint].push_back(fault);
}

void WebApiServer::clearFaults() {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.clear();
}

void WebApiServer::releaseStalls() {
  {
    std::lock_guard lock(impl_->mutex);
    ++impl_->releaseGeneration;
  }
  impl_->changed.notify_all();
}

std::vector<WebApiRequestRecord> WebApiServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records;
}

std::vector<WebApiRequestRecord> WebApiServer::requests(std::string_view path) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<WebApiRequestRecord> out;
  for (const auto& record : impl_->records)
    if (record.path == path) out.push_back(record);
  return out;
}

bool WebApiServer::waitForRequests(std::string_view path, std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(std::count_if(impl_->records.begin(), impl_->records.end(),
                                                  [&](const auto& r) { return r.path == path; })) >= count;
  });
}

std::size_t WebApiServer::activeSessions() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->guids.size();
}

void WebApiServer::stop() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->changed.notify_all();
  impl_->server.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace rtstandin
