#include "tests/refdata/update_fixture.h"

#include <fmt/format.h>

#include <algorithm>

namespace refdata_testing {

std::vector<std::string> UpdateFixture::filesIn(const fs::path& folder) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

CheckFixture::CheckFixture() {
  fs::create_directories(dir_ / "input");
  setup.programFolder = dir_.path();
  setup.inputFolder = dir_ / "input";
  setup.versionStore = &store;
  setup.programUpdate.openFolder = [this](const fs::path& folder) {
    opened.push_back(folder);
    return openSucceeds;
  };
}

std::string versionJson(const VersionData& version) {
  return fmt::format(R"({{"major": {}, "minor": {}, "patch": {}}})", version.major, version.minor, version.patch);
}

namespace {

void putLe16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}
void putLe32(std::string& out, std::uint32_t value) {
  putLe16(out, value & 0xFFFF);
  putLe16(out, value >> 16);
}

}  // namespace

std::string fakeInstaller(const VersionData& productVersion, std::size_t junkBefore, std::uint32_t signature) {
  std::string bytes = "MZ";
  for (std::size_t i = 0; bytes.size() < junkBefore; ++i) bytes.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
  putLe16(bytes, 92 + 40);  // wLength: the block with a little of its children
  putLe16(bytes, 52);       // wValueLength
  putLe16(bytes, 0);        // wType: binary
  for (char c : std::string("VS_VERSION_INFO")) putLe16(bytes, static_cast<unsigned char>(c));
  putLe16(bytes, 0);
  putLe16(bytes, 0);  // padding to a double word
  putLe32(bytes, signature);
  putLe32(bytes, 0x00010000);  // structure version
  putLe32(bytes, (99u << 16) | 98u);  // file version 99.98.97.96: not what counts
  putLe32(bytes, (97u << 16) | 96u);
  putLe32(bytes, (productVersion.major << 16) | productVersion.minor);
  putLe32(bytes, (productVersion.patch << 16) | 4u);
  for (int i = 0; i < 7; ++i) putLe32(bytes, 0);
  bytes += std::string(40, '\x11');
  return bytes;
}

std::string zipBytes(const std::vector<ArchiveItem>& items) {
  testing_support::TempDir scratch;
  const fs::path file = scratch / "archive.zip";
  ZipArchive archive;
  EXPECT_TRUE(archive.openWrite(file)) << archive.errorText();
  for (const auto& item : items) {
    if (!item.name.empty() && item.name.back() == '/') {
      EXPECT_TRUE(archive.addFolder(item.name)) << archive.errorText();
    } else {
      EXPECT_TRUE(archive.addData(item.name, item.content)) << archive.errorText();
    }
  }
  EXPECT_TRUE(archive.close()) << archive.errorText();
  return testing_support::readFile(file);
}

}  // namespace refdata_testing
