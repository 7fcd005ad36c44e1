// Replays fuzz inputs through a driver without libFuzzer: every file named, and every file of
// every folder named (in name order), handed to LLVMFuzzerTestOneInput once. A crash found by a
// fuzz run stays in the corpus and fails this replay until it is mended.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path named(argv[i]);
    if (!fs::is_directory(named)) {
      inputs.push_back(named);
      continue;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(named))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    inputs.insert(inputs.end(), files.begin(), files.end());
  }
  if (inputs.empty()) {
    std::cerr << "usage: " << argv[0] << " <corpus folder or input file>...\n";
    return 2;
  }
  for (const auto& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    if (!in) {
      std::cerr << "cannot read " << input << "\n";
      return 1;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // A copy of exactly the input's size, so that a read past its end is caught as it would be by the fuzzer.
    const std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(exact.data(), exact.size());
  }
  std::cout << inputs.size() << " inputs replayed\n";
  return 0;
}
