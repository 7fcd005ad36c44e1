// Draws the stand-in simulator's trace over a facility fixture airport and prints its counts.
//
//   jorv_trace_picture <trace.csv> <facility.json> <picture.png>
//
// Prints "trace: 12 created, 1 refused, 3 removed, at most 9 at once" and "in the simulator: 4
// landed, 2 took off, 8 taxied more than 100 m, 3 were pushed back" and "landings: 0 touch-downs short
// of a runway, 0 elsewhere off a runway, 0 aircraft removed in the air within 300 ft of the ground"; exits 1 with the reason on a
// trace or facility file it cannot use.
#include <exception>
#include <iostream>

#include "tools/trace_picture.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: jorv_trace_picture <trace.csv> <facility.json> <picture.png>\n";
    return 2;
  }
  try {
    const tracepicture::Trace trace = tracepicture::readTrace(argv[1]);
    const auto airport = standin::sim::readFacilityLayout(argv[2]);
    std::cout << "trace: " << tracepicture::countsLine(tracepicture::countTrace(trace)) << "\n"
              << "in the simulator: " << tracepicture::momentsLine(tracepicture::countAirportMoments(trace)) << "\n"
              << "landings: " << tracepicture::landingsLine(trace, airport) << std::endl;
    tracepicture::drawTracePicture(trace, airport, argv[3]);
  } catch (const std::exception& e) {
    std::cerr << "jorv_trace_picture: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
