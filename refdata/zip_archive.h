#pragma once
// A small face over libzip: read the update archive entry by entry, and write archives
// (the off-line learning package, test fixtures). libzip's own types stay in the source.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

struct ZipEntry {
  std::string name;        // as stored; a name ending in '/' is a folder
  std::uint64_t size = 0;  // uncompressed bytes, as the archive declares them
  std::uint64_t index = 0;

  bool isFolder() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
 public:
  ZipArchive();
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Read-only; false (with errorText()) when the file is missing or not an archive.
  bool openRead(const std::filesystem::path& file);
  // Creates or truncates the file; the archive is written on close().
  bool openWrite(const std::filesystem::path& file);
  bool isOpen() const;
  // Writes a new archive out; false when that failed. Reading archives just close.
  bool close();
  // Drops the archive without writing anything.
  void discard();
  const std::string& errorText() const { return m_error; }

  std::vector<ZipEntry> getEntries() const;

  // Streams the entry's content in pieces of chunkBytes. Never writes more than the declared
  // size, so a lying archive can't fill the disk. Returns 0, or a libzip error code (or -1 when
  // the content did not have its declared size, or the stream failed).
  int readContent(const ZipEntry& entry, std::ostream& out, std::size_t chunkBytes) const;

  // Writing: the data is copied into the archive at once.
  bool addData(std::string_view name, std::string_view data);
  bool addFolder(std::string_view name);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  std::string m_error;
};
