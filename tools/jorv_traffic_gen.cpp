// Writes a traffic scenario of real-looking flights around a fixture airport (tools/traffic_gen.h).
//
//   jorv_traffic_gen --out FILE [--demo] [--data DIR] [--airport ICAO] [--base FILE | --no-base] [--seed N]
//                    [--duration S] [--arrivals N] [--departures N] [--overflights N]
//                    [--taxi-out N] [--taxi-in N] [--arrivals-to-stand N] [--departures-from-stand N]
//                    [--arrival-runways 14,28] [--departure-runways 16,28]
//
// DIR is the data folder (default "data"); the airport's layout is DIR/sim/facilities/ICAO.json
// (default LSZH), the fleet DIR/dbase.xml and DIR/airports.xml, the base scenario whose contents
// come first DIR/realtraffic/sample_fixed.json. Without options it writes the sample the tests replay:
//   build/tools/jorv_traffic_gen --out data/realtraffic/sample_scenario.json
// --demo starts from the demo's settings instead (other options still apply), for ./run demo:
//   build/tools/jorv_traffic_gen --demo --out data/realtraffic/demo_scenario.json
#include <cstdlib>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "standin/realtraffic/traffic_scenario.h"
#include "tools/traffic_gen.h"

namespace {

std::vector<std::string> lf_list(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) items.push_back(item);
  return items;
}

int lf_count(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end || value < 0 || value > 500) throw std::runtime_error("not a count from 0 to 500: " + text);
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  trafficgen::Options options = trafficgen::sampleOptions();
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--demo") options = trafficgen::demoOptions();
  std::filesystem::path data = "data";
  std::filesystem::path out;
  std::string icao = "LSZH";
  std::optional<std::filesystem::path> base;
  bool noBase = false;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string option = argv[i];
      if (option == "--no-base") {
        noBase = true;
        continue;
      }
      if (option == "--demo") continue;
      if (i + 1 >= argc) throw std::runtime_error(option + " needs a value");
      const std::string value = argv[++i];
      if (option == "--out") out = value;
      else if (option == "--data") data = value;
      else if (option == "--airport") icao = value;
      else if (option == "--base") base = value;
      else if (option == "--seed") options.seed = std::stoull(value);
      else if (option == "--duration") options.durationSeconds = std::stod(value);
      else if (option == "--arrivals") options.arrivals = lf_count(value);
      else if (option == "--departures") options.departures = lf_count(value);
      else if (option == "--overflights") options.overflights = lf_count(value);
      else if (option == "--taxi-out") options.taxiOut = lf_count(value);
      else if (option == "--taxi-in") options.taxiIn = lf_count(value);
      else if (option == "--arrivals-to-stand") options.arrivalsToStand = lf_count(value);
      else if (option == "--departures-from-stand") options.departuresFromStand = lf_count(value);
      else if (option == "--arrival-runways") options.arrivalRunways = lf_list(value);
      else if (option == "--departure-runways") options.departureRunways = lf_list(value);
      else throw std::runtime_error("unknown option " + option);
    }
    if (out.empty()) throw std::runtime_error("--out FILE is missing");
    trafficgen::Inputs inputs;
    inputs.facility = data / "sim" / "facilities" / (icao + ".json");
    inputs.dbase = data / "dbase.xml";
    inputs.airports = data / "airports.xml";
    if (!noBase) inputs.base = base.value_or(data / "realtraffic" / "sample_fixed.json");
    rtstandin::writeTextFileAtomically(out, trafficgen::generateScenarioText(inputs, options));
  } catch (const std::exception& e) {
    std::cerr << "jorv_traffic_gen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
