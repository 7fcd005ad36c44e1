// Writes seeded .bgl files for tests, fuzzing corpora and benchmarks, each with a ".expected"
// file beside it: "records N" and one "id offset size" line per record a reader must find, or
// "error kind offset" for the failure it must report.
//
//   jorv_bglgen <folder> [--seed N] [--count N]
//
// The files cycle through the kinds of damage, the first being an undamaged file.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "tools/bgl_generator.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: jorv_bglgen <folder> [--seed N] [--count N]\n";
    return 2;
  }
  unsigned long seed = 1;
  long count = bglgen::kFaultCount;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seed") {
      seed = std::strtoul(argv[i + 1], nullptr, 10);
    } else if (option == "--count") {
      count = std::strtol(argv[i + 1], nullptr, 10);
    } else {
      std::cerr << "unknown option " << option << "\n";
      return 2;
    }
  }
  try {
    bglgen::writeSeededFiles(argv[1], static_cast<std::uint32_t>(seed), static_cast<int>(count));
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
