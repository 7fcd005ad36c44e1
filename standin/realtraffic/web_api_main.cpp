// The RealTraffic web API stand-in: serves a traffic scenario over loopback HTTP.
#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "standin/realtraffic/web_api_server.h"

namespace {

std::atomic<bool> g_stop{false};

extern "C" void lf_onSignal(int) { g_stop = true; }

void lf_usage() {
  std::fputs(
      "usage: jorv_rtapi_standin --scenario FILE [--port 0] [--speed 1] [--loop] [--keep-start]\n"
      "         [--rrl MS] [--wrrl MS] [--type 1|2] [--credential TEXT]... [--record FILE]\n"
      "         [--fault ENDPOINT:KIND[:STATUS[:HTTP]][xCOUNT]]...\n"
      "  KIND: stall, 502, empty, status, rrl, guid (rrl takes its value as STATUS)\n"
      "  The chosen port is printed on stdout as 'port N'.\n",
      stderr);
}

rtstandin::WebApiFault lf_fault(const std::string& text, std::string& endpoint, int& count) {
  std::string faultText = text;
  count = 1;
  if (const auto x = faultText.rfind('x'); x != std::string::npos && x + 1 < faultText.size() &&
                                      faultText.find_first_not_of("0123456789", x + 1) == std::string::npos) {
    count = std::stoi(faultText.substr(x + 1));
    faultText.resize(x);
  }
  std::vector<std::string> parts;
  // The endpoint itself may hold one ':' ("/v6/traffic:parkedtraffic"), so split from the end.
  std::size_t start = 0;
  while (true) {
    const auto colon = faultText.find(':', start);
    parts.push_back(faultText.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  auto isKind = [](const std::string& p) {
    return p == "stall" || p == "502" || p == "empty" || p == "status" || p == "rrl" || p == "guid";
  };
  std::size_t kindIndex = 1;
  while (kindIndex < parts.size() && !isKind(parts[kindIndex])) ++kindIndex;
  if (kindIndex >= parts.size()) throw std::invalid_argument("bad --fault: " + text);
  endpoint = parts[0];
  for (std::size_t i = 1; i < kindIndex; ++i) endpoint += ":" + parts[i];
  const std::string kind = parts[kindIndex];
  const int first = kindIndex + 1 < parts.size() ? std::stoi(parts[kindIndex + 1]) : 0;
  const int second = kindIndex + 2 < parts.size() ? std::stoi(parts[kindIndex + 2]) : 200;
  rtstandin::WebApiFault fault;
  if (kind == "stall") {
    fault.kind = rtstandin::WebApiFaultKind::Stall;
    fault.stall = std::chrono::milliseconds(first);
  } else if (kind == "502") {
    fault.kind = rtstandin::WebApiFaultKind::HtmlPage;
    fault.httpStatus = 502;
  } else if (kind == "empty") {
    fault.kind = rtstandin::WebApiFaultKind::EmptyBody;
  } else if (kind == "status") {
    fault.kind = rtstandin::WebApiFaultKind::Status;
    fault.status = first;
    fault.httpStatus = second;
  } else if (kind == "rrl") {
    fault.kind = rtstandin::WebApiFaultKind::RrlOutOfRange;
    fault.rrl = first;
  } else {
    fault.kind = rtstandin::WebApiFaultKind::GuidChange;
  }
  return fault;
}

void lf_writeRecord(const std::filesystem::path& file, const std::vector<rtstandin::WebApiRequestRecord>& records) {
  std::string text;
  for (const auto& record : records) text += record.path + ' ' + record.body + '\n';
  rtstandin::writeTextFileAtomically(file, text);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string scenarioFile;
    std::string recordFile;
    int port = 0;
    double speed = 1.0;
    bool loop = false;
    bool keepStart = false;
    rtstandin::WebApiOptions options;
    std::vector<std::pair<std::string, std::pair<rtstandin::WebApiFault, int>>> faults;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
        return argv[++i];
      };
      if (arg == "--scenario") scenarioFile = value();
      else if (arg == "--port") port = std::stoi(value());
      else if (arg == "--speed") speed = std::stod(value());
      else if (arg == "--loop") loop = true;
      else if (arg == "--keep-start") keepStart = true;
      else if (arg == "--rrl") options.rrlMs = std::stoi(value());
      else if (arg == "--wrrl") options.wrrlMs = std::stoi(value());
      else if (arg == "--type") options.licenseType = std::stoi(value());
      else if (arg == "--credential") options.credentials.push_back(value());
      else if (arg == "--record") recordFile = value();
      else if (arg == "--fault") {
        std::string endpoint;
        int count = 1;
        auto fault = lf_fault(value(), endpoint, count);
        faults.push_back({endpoint, {fault, count}});
      } else {
        lf_usage();
        return 2;
      }
    }
    if (scenarioFile.empty() || !(speed > 0) || port < 0 || port > 65535) {
      lf_usage();
      return 2;
    }
    rtstandin::TrafficScenario scenario = rtstandin::loadScenario(scenarioFile);
    // The program takes live traffic as current: the replay starts now unless told otherwise.
    if (!keepStart) scenario.startTime = static_cast<std::int64_t>(std::time(nullptr));
    rtstandin::WebApiServer server(std::move(scenario), options, port);
    for (const auto& [endpoint, fault] : faults) server.addFault(endpoint, fault.first, fault.second);
    server.runClock(speed, loop);
    std::signal(SIGINT, lf_onSignal);
    std::signal(SIGTERM, lf_onSignal);
    std::printf("port %d\n", server.port());
    std::fflush(stdout);
    std::fprintf(stderr, "RT web API stand-in on %s\n", server.baseUrl().c_str());
    int ticks = 0;
    while (!g_stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!recordFile.empty() && ++ticks % 50 == 0) lf_writeRecord(recordFile, server.requests());
    }
    server.stop();
    if (!recordFile.empty()) lf_writeRecord(recordFile, server.requests());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jorv_rtapi_standin: %s\n", e.what());
    return 1;
  }
}
