// The RealTraffic desktop app stand-in: replays a traffic scenario to the program.
#include <fmt/format.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "standin/realtraffic/rt_app_peer.h"

namespace {

std::atomic<bool> g_stop{false};

extern "C" void lf_onSignal(int) { g_stop = true; }

void lf_usage() {
  std::fputs(
      "usage: jorv_rtapp_standin --scenario FILE [--host 127.0.0.1] [--tcp-port 10747]\n"
      "         [--traffic-port 49005] [--weather-port 49004] [--speed 1] [--loop] [--keep-start]\n"
      "         [--start-on-connection]\n"
      "         [--record FILE] [--version-reply JSON] [--repeat] [--oversized N] [--short N]\n"
      "         [--bad-fields N] [--drop-after N] [--layout airline|vendor|mixed]\n",
      stderr);
}

std::uint16_t lf_port(const std::string& text) {
  const long value = std::stol(text);
  if (value < 1 || value > 65535) throw std::invalid_argument("port out of range: " + text);
  return static_cast<std::uint16_t>(value);
}

void lf_writeRecord(const std::filesystem::path& file, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  rtstandin::writeTextFileAtomically(file, text);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string scenarioFile;
    std::string recordFile;
    double speed = 1.0;
    bool loop = false;
    bool keepStart = false;
    rtstandin::PeerOptions options;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
        return argv[++i];
      };
      if (arg == "--scenario") scenarioFile = value();
      else if (arg == "--host") options.host = value();
      else if (arg == "--tcp-port") options.tcpPort = lf_port(value());
      else if (arg == "--traffic-port") options.trafficPort = lf_port(value());
      else if (arg == "--weather-port") options.weatherPort = lf_port(value());
      else if (arg == "--speed") speed = std::stod(value());
      else if (arg == "--loop") loop = true;
      else if (arg == "--keep-start") keepStart = true;
      else if (arg == "--start-on-connection") options.startOnConnection = true;
      else if (arg == "--record") recordFile = value();
      else if (arg == "--version-reply") options.versionReply = value();
      else if (arg == "--repeat") options.faults.repeatDatagrams = true;
      else if (arg == "--oversized") options.faults.oversizedEvery = std::stoi(value());
      else if (arg == "--short") options.faults.shortEvery = std::stoi(value());
      else if (arg == "--bad-fields") options.faults.badFieldsEvery = std::stoi(value());
      else if (arg == "--layout") {
        const auto layout = rtstandin::trafficLayoutNamed(value());
        if (!layout) {
          lf_usage();
          return 2;
        }
        options.layout = *layout;
      } else if (arg == "--drop-after") options.faults.dropConnectionAfterLines = std::stoi(value());
      else {
        lf_usage();
        return 2;
      }
    }
    if (scenarioFile.empty() || !(speed > 0)) {
      lf_usage();
      return 2;
    }
    rtstandin::TrafficScenario scenario = rtstandin::loadScenario(scenarioFile);
    // The program takes live traffic as current: the replay starts now unless told otherwise.
    if (!keepStart) scenario.startTime = static_cast<std::int64_t>(std::time(nullptr));
    rtstandin::RTAppPeer peer(std::move(scenario), options);
    std::signal(SIGINT, lf_onSignal);
    std::signal(SIGTERM, lf_onSignal);
    std::fprintf(stderr, "RT App stand-in: requests to %s:%u, traffic to %u, weather to %u\n", options.host.c_str(),
                 options.tcpPort, options.trafficPort, options.weatherPort);
    std::jthread recorder([&](std::stop_token token) {
      // Keeps the record file current while the run goes on.
      while (!token.stop_requested() && !recordFile.empty()) {
        for (int i = 0; i < 50 && !token.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        lf_writeRecord(recordFile, peer.requestLines());
      }
    });
    peer.run(g_stop, speed, loop);
    recorder.request_stop();
    recorder.join();
    if (!recordFile.empty()) lf_writeRecord(recordFile, peer.requestLines());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jorv_rtapp_standin: %s\n", e.what());
    return 1;
  }
}
