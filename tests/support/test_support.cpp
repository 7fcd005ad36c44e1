#include "tests/support/test_support.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {
namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("jorv-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

ScopedCurrentDir::ScopedCurrentDir(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }

ScopedCurrentDir::~ScopedCurrentDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const fs::path& file, const std::string& content) {
  if (file.has_parent_path()) fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace testing_support
