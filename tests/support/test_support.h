#pragma once
// Helpers shared by the test programs.
#include <filesystem>
#include <string>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Changes the current directory for the object's lifetime (the log writes Log.txt there).
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::filesystem::path& dir);
  ~ScopedCurrentDir();

 private:
  std::filesystem::path previous_;
};

// The repository's data/ folder (sample data sets, scenarios, fixtures).
inline std::filesystem::path sourceDataFolder() { return std::filesystem::path(JORV_SOURCE_DIR) / "data"; }

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& content);

}  // namespace testing_support
