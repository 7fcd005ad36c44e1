#include "feed/rt_api_session.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <thread>

#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "config/keys.h"
#include "core/log.h"
#include "core/text.h"
#include "core/program.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_api_metar_client.h"
#include "feed/rt_license.h"

std::atomic<bool> g_feedConnected{false};
std::atomic<bool> g_rtProfessional{false};
std::atomic<std::int64_t> g_rtApiCooldownUntil{0};
RTAPISession g_rtApiSession;

namespace {

using Json = nlohmann::json;

// The session's own requests: fresh connections, and the sign-in bounded like every other
// request so that a silent server can't hold the worker.
constexpr RTAPIRequestOptions kAuthOptions{10, 30, true, true};
constexpr RTAPIRequestOptions kDeauthOptions{5, 10, true, false};

std::int64_t lf_steadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Sleeps while the program runs; wakes within 50 ms of a stop.
void lf_sleepWhileRunning(std::int64_t ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (gf_isRunning()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                             std::chrono::milliseconds(50)));
  }
}


}  // namespace

RTAPISession::RTAPISession() : transport(4096) {}

void RTAPISession::clear() {
  std::lock_guard lock(mutex);
  result.reset();
}

bool RTAPISession::isAuthenticated() const { return current() != nullptr; }

std::shared_ptr<const RTAPIAuthResult> RTAPISession::current() const {
  std::lock_guard lock(mutex);
  return result;
}

std::string_view gf_rtCredentialKind(std::string_view credential) {
  return credential.size() >= 3 && credential.starts_with("rt_") ? "token" : "license";
}

RTAPIResult<std::shared_ptr<const RTAPIAuthResult>, RTAPIStatusError> RTAPISession::requestAuth(
    std::string_view credential, std::string_view software) {
  clear();
  // Credentials may hold '&', '=', '+' or '%': every value goes encoded.
  const std::string body = fmt::format("{}={}&software={}", gf_rtCredentialKind(credential),
                                       gf_formValue(credential), gf_formValue(software));
  auto reply = transport.request(gf_rtApiUrl("/v6/auth"), body, kAuthOptions, &abort);
  if (!reply) return RTAPIStatusError{100, fmt::format("Authentication failed: {}", reply.error().message)};
  const std::string_view text = reply.value().body;
  if (text.empty()) return RTAPIStatusError{100, "Authentication: empty response"};
  Json document = Json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object())
    return RTAPIStatusError{100, fmt::format("Authentication: invalid JSON: {}", gf_bodyHead(text))};

  std::int32_t status = 100;
  if (!gf_jsonInt32(document, "status", status)) status = 100;
  if (status != 200) {
    const auto message = document.find("message");
    return RTAPIStatusError{status, message != document.end() && message->is_string() ? message->get<std::string>()
                                                                                      : std::string()};
  }
  const auto guid = document.find("GUID");
  if (guid == document.end() || !guid->is_string() || guid->get_ref<const std::string&>().empty())
    return RTAPIStatusError{100, "Authentication succeeded without a GUID"};

  auto fresh = std::make_shared<RTAPIAuthResult>();
  fresh->guid = guid->get<std::string>();
  if (const auto server = document.find("server"); server != document.end() && server->is_string())
    fresh->server = server->get<std::string>();
  gf_jsonInt32(document, "rrl", fresh->rrlMs);
  gf_jsonInt32(document, "wrrl", fresh->wrrlMs);
  gf_jsonInt32(document, "type", fresh->type);
  if (const auto expiry = document.find("expiry"); expiry != document.end()) {
    if (expiry->is_number_unsigned()) {
      const auto v = expiry->get<std::uint64_t>();
      fresh->expiry = v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                          ? std::numeric_limits<std::int64_t>::max()
                          : static_cast<std::int64_t>(v);
    } else if (expiry->is_number_integer()) {
      fresh->expiry = expiry->get<std::int64_t>();
    }
  }
  std::shared_ptr<const RTAPIAuthResult> stored;
  {
    std::lock_guard lock(mutex);
    fresh->generation = nextGeneration++;
    result = fresh;
    stored = result;
  }
  return stored;
}

RTAPIResult<RTAPIDeauthResult, RTAPIStatusError> RTAPISession::requestDeauth() {
  const auto signedIn = current();
  if (!signedIn) return RTAPIDeauthResult{};
  struct ClearAtEnd {
    RTAPISession& session;
    ~ClearAtEnd() { session.clear(); }
  } clearAtEnd{*this};

  const std::string body = fmt::format("GUID={}", gf_formValue(signedIn->guid));
  auto reply = transport.request(gf_rtApiUrl("/v6/deauth"), body, kDeauthOptions, nullptr);
  if (!reply) return RTAPIStatusError{100, fmt::format("Deauthentication failed: {}", reply.error().message)};
  const std::string_view text = reply.value().body;
  if (text.empty()) return RTAPIStatusError{100, "Deauthentication: empty response"};
  Json document = Json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object())
    return RTAPIStatusError{100, fmt::format("Deauthentication: invalid JSON: {}", gf_bodyHead(text))};
  std::int32_t status = 100;
  if (!gf_jsonInt32(document, "status", status)) status = 100;
  if (status != 200) return RTAPIStatusError{status, "Deauthentication failed"};
  RTAPIDeauthResult done;
  if (const auto it = document.find("message"); it != document.end() && it->is_string()) done.message = *it;
  if (const auto it = document.find("server"); it != document.end() && it->is_string()) done.server = *it;
  return done;
}

std::uint32_t gf_boundedWaitMs(std::int64_t ms) {
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, kRTAPIMinWaitMs, kRTAPIMaxWaitMs));
}

std::int32_t gf_rtDaysLeft(std::int64_t expiry, std::int64_t now) {
  // In seconds: the 100-ns ticks of the other form overflow for far expiries.
  std::int64_t seconds = 0;
  if (__builtin_sub_overflow(expiry, now, &seconds))
    seconds = expiry > now ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(seconds / 86400, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::string gf_rtLicenseText(std::int32_t type, std::int32_t daysLeft) {
  return fmt::format("RT Direct {} license, {} day{} left", type == 2 ? "professional" : "standard", daysLeft,
                     daysLeft == 1 || daysLeft < 0 ? "" : "s");
}

bool authenticate(std::int32_t& status) {
  status = 100;
  try {
    g_rtApiSession.clear();
    g_feedConnected = false;
    const std::string software = fmt::format("{}_{}", g_programName, g_programVersionText);
    auto signedIn = g_rtApiSession.requestAuth(g_rtCredential, software);
    if (!signedIn) {
      status = signedIn.error().status;
      if (!signedIn.error().message.empty()) gf_logWarning(signedIn.error().message);
      return false;
    }
    const RTAPIAuthResult& result = *signedIn.value();
    // The service's waits arrive signed; a negative one must not become weeks.
    g_rtApiMetarClient.waitMs = gf_boundedWaitMs(result.rrlMs);
    g_rtApiMetarClient.weatherWaitMs = gf_boundedWaitMs(result.wrrlMs);
    g_rtProfessional = result.type == 2;
    gf_log(
        fmt::format("\nAuthenticated at RT server '{}'", result.server.empty() ? "?" : gf_escapedText(result.server)));
    g_feedConnected = true;
    const std::int32_t daysLeft = gf_rtDaysLeft(result.expiry, gf_systemSeconds());
    Gui::setRTLicenseText(gf_rtLicenseText(result.type, daysLeft));
    lf_sleepWhileRunning(g_rtApiMetarClient.weatherWaitMs.load());
    status = 200;
    return true;
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{}: {}", "authenticate", gf_escapedText(e.what())));
    return false;
  }
}

void deauthenticate() {
  struct AtEnd {
    ~AtEnd() {
      g_feedConnected = false;
      g_rtApiSession.clear();
    }
  } atEnd;
  try {
    if (g_rtApiSession.isAuthenticated()) {
      auto done = g_rtApiSession.requestDeauth();
      if (done) {
        gf_log(fmt::format("{} RT server '{}'", gf_escapedText(done.value().message),
                           gf_escapedText(done.value().server)));
      } else {
        gf_logWarning(fmt::format("Deauthentication failed, status {}: {}", done.error().status,
                                  gf_escapedText(done.error().message)));
      }
    } else {
      gf_logWarning("Deauthentication skipped: empty GUID");
    }
  } catch (const std::exception& e) {
    try {
      gf_logWarning(fmt::format("{}: {}", "deauthenticate", e.what()));
    } catch (...) {
    }
  }
}

void gf_logRTConnected(std::string_view name) { gf_logIndented(fmt::format("{} connected", name)); }

bool RTAPIClient::resetConnection() {
  session->clear();
  session->transport.reset();
  session->abort = false;
  toffset = 0;
  return stop.exchange(false);
}

void RTAPIClient::sleepFor(std::int32_t ms) {
  if (ms < 1) return;
  std::unique_lock lock(mutex);
  // Only a stop ends the pause early; other wake-ups go back to waiting.
  wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop.load(); });
}

bool RTAPIClient::backOff(std::int32_t& troubles, std::uint32_t paceMs) {
  if (++troubles >= maxTroubles) return false;
  const std::int64_t pause = static_cast<std::int64_t>(paceMs) << std::min(troubles - 1, 16);
  sleepFor(static_cast<std::int32_t>(std::min<std::int64_t>(pause, troublePauseMs)));
  return true;
}

void RTAPIClient::requestStop() {
  {
    std::lock_guard lock(mutex);
    stop = true;
  }
  wake.notify_all();
}

void gf_persistRTAPICooldown() {
  g_rtApiCooldownUntil = lf_steadyNs() + 3'000'000'000;
  const std::int64_t now = std::clamp<std::int64_t>(gf_systemSeconds(), 0, std::numeric_limits<std::int32_t>::max());
  LAST_EPOCH_TIME.setAndSave(static_cast<std::int32_t>(now));
}

void gf_holdRTAPICooldown() {
  std::int64_t deadline = g_rtApiCooldownUntil.load();
  if (deadline == 0) {
    const std::int64_t last = LAST_EPOCH_TIME.value;
    if (last < 1) return;
    const std::int64_t elapsed = std::max<std::int64_t>(0, gf_systemSeconds() - last);
    if (4 - elapsed < 1) return;
    deadline = lf_steadyNs() + (4 - elapsed) * 1'000'000'000;
  }
  const std::int64_t remaining = deadline - lf_steadyNs();
  if (remaining >= 1) {
    const std::int64_t seconds = (remaining + 999'999'999) / 1'000'000'000;
    Gui::showMessage(fmt::format("Holding for {} second{}... (RT API cooldown)", seconds, seconds == 1 ? "" : "s"),
                     true);
    while (gf_isRunning()) {
      const std::int64_t left = deadline - lf_steadyNs();
      if (left <= 0) break;
      std::this_thread::sleep_for(std::chrono::nanoseconds(std::min<std::int64_t>(left, 100'000'000)));
    }
  }
  g_rtApiCooldownUntil = 0;
}

namespace {
std::atomic<RTAPIUserPositionSource> g_userPositionSource{nullptr};
std::atomic<RTAPIParkAirportSource> g_parkAirportSource{nullptr};
}  // namespace

void gf_setRTAPIUserPositionSource(RTAPIUserPositionSource source) { g_userPositionSource = source; }
void gf_setRTAPIParkAirportSource(RTAPIParkAirportSource source) { g_parkAirportSource = source; }

Lalo gf_rtApiUserPosition() {
  if (const auto source = g_userPositionSource.load()) return source();
  const auto published = g_userAcPosition.load();
  return published ? Lalo{published->latitude, published->longitude} : Lalo{};
}

std::optional<Lalo> gf_rtApiParkAirport() {
  if (const auto source = g_parkAirportSource.load()) return source();
  return gf_feedParkAirport();
}

void gf_resetRTAPISessionForTest() {
  g_rtApiSession.clear();
  g_rtApiSession.abort = false;
  g_feedConnected = false;
  g_rtProfessional = false;
  g_rtApiCooldownUntil = 0;
}
