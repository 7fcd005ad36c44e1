// Writes a Community folder of AI livery packages and, beside it, what a scan of it must give
// (tools/livery_tree.h).
//
//   jorv_livery_tree <community folder> <expected folder> <data folder> [seed] [bulk files]
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "tools/livery_tree.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::cerr << "usage: jorv_livery_tree <community folder> <expected folder> <data folder> [seed] [bulk files]\n";
    return 2;
  }
  LiveryTreeOptions options;
  options.community = argv[1];
  options.expected = argv[2];
  options.dataFolder = argv[3];
  try {
    if (argc > 4) options.seed = static_cast<std::uint32_t>(std::stoul(argv[4]));
    if (argc > 5) options.bulkFiles = std::stoul(argv[5]);
    const LiveryTreeSummary summary = gf_writeLiveryTree(options);
    std::cout << summary.files << " aircraft.cfg files, " << summary.titles.size() << " liveries expected\n";
  } catch (const std::exception& e) {
    std::cerr << "jorv_livery_tree: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
