// Writes simulator package folders with add-on airports and the outcome an airport scan must
// give (tools/scenery_tree.h), or one add-on airport package into a Community folder.
//
//   jorv_scenery_tree <folder> [--seed N] [--facility LSZH,LSGG] [--bgl EDDF,EDDM] [--linked LSGG]
//                     [--decoy EGLL]
//   jorv_scenery_tree --package <community folder> <ICAO> [--seed N]
#include <cstdlib>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/scenery_tree.h"

namespace {

std::vector<std::string> lf_codes(const std::string& list) {
  std::vector<std::string> codes;
  std::stringstream in(list);
  for (std::string code; std::getline(in, code, ',');)
    if (!code.empty()) codes.push_back(code);
  return codes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string usage =
      "usage: jorv_scenery_tree <folder> [--seed N] [--facility CODES] [--bgl CODES] [--linked CODES] "
      "[--decoy CODE]\n       jorv_scenery_tree --package <community folder> <ICAO> [--seed N]\n";
  if (argc < 2) {
    std::cerr << usage;
    return 2;
  }
  try {
    const bool package = std::string(argv[1]) == "--package";
    if (package && argc < 4) {
      std::cerr << usage;
      return 2;
    }
    SceneryTreeOptions options;
    options.folder = argv[1];
    for (int i = package ? 4 : 2; i + 1 < argc; i += 2) {
      const std::string option = argv[i];
      const std::string value = argv[i + 1];
      if (option == "--seed") {
        options.seed = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
      } else if (option == "--facility") {
        options.facilityCodes = lf_codes(value);
      } else if (option == "--bgl") {
        options.bglCodes = lf_codes(value);
      } else if (option == "--linked") {
        options.simaddonLinked = lf_codes(value);
      } else if (option == "--decoy") {
        options.decoyCode = value;
      } else {
        std::cerr << "unknown option " << option << "\n" << usage;
        return 2;
      }
    }
    if (package)
      gf_writeAddonAirportPackage(argv[2], argv[3], options.seed);
    else
      gf_writeSceneryTree(options);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
