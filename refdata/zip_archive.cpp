#include "refdata/zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

std::string lf_zipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

std::string lf_archiveErrorText(zip_t* archive) {
  if (!archive) return "no archive";
  return zip_error_strerror(zip_get_error(archive));
}

}  // namespace

struct ZipArchive::Impl {
  zip_t* archive = nullptr;
};

ZipArchive::ZipArchive() : m_impl(std::make_unique<Impl>()) {}

ZipArchive::~ZipArchive() { discard(); }

bool ZipArchive::isOpen() const { return m_impl->archive != nullptr; }

bool ZipArchive::openRead(const std::filesystem::path& file) {
  discard();
  int code = 0;
  m_impl->archive = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (!m_impl->archive) {
    m_error = lf_zipErrorText(code);
    return false;
  }
  m_error.clear();
  return true;
}

bool ZipArchive::openWrite(const std::filesystem::path& file) {
  discard();
  int code = 0;
  m_impl->archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (!m_impl->archive) {
    m_error = lf_zipErrorText(code);
    return false;
  }
  m_error.clear();
  return true;
}

bool ZipArchive::close() {
  if (!m_impl->archive) return true;
  if (zip_close(m_impl->archive) != 0) {
    m_error = lf_archiveErrorText(m_impl->archive);
    zip_discard(m_impl->archive);
    m_impl->archive = nullptr;
    return false;
  }
  m_impl->archive = nullptr;
  return true;
}

void ZipArchive::discard() {
  if (m_impl && m_impl->archive) {
    zip_discard(m_impl->archive);
    m_impl->archive = nullptr;
  }
}

std::vector<ZipEntry> ZipArchive::getEntries() const {
  std::vector<ZipEntry> entries;
  if (!m_impl->archive) return entries;
  const zip_int64_t count = zip_get_num_entries(m_impl->archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_impl->archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) continue;
    ZipEntry entry;
    entry.index = static_cast<std::uint64_t>(i);
    if (stat.valid & ZIP_STAT_NAME) entry.name = stat.name;
    if (stat.valid & ZIP_STAT_SIZE) entry.size = stat.size;
    entries.push_back(std::move(entry));
  }
  return entries;
}

int ZipArchive::readContent(const ZipEntry& entry, std::ostream& out, std::size_t chunkBytes) const {
  if (!m_impl->archive) return ZIP_ER_INVAL;
  zip_file_t* file = zip_fopen_index(m_impl->archive, entry.index, 0);
  if (!file) return zip_error_code_zip(zip_get_error(m_impl->archive));
  std::vector<char> chunk(std::max<std::size_t>(chunkBytes, 1));
  std::uint64_t written = 0;
  int result = 0;
  for (;;) {
    // One byte past the declared size is enough to tell that the content lies about it.
    const std::uint64_t room = entry.size + 1 - written;
    const zip_int64_t got = zip_fread(file, chunk.data(), std::min<std::uint64_t>(chunk.size(), room));
    if (got < 0) {
      result = zip_error_code_zip(zip_file_get_error(file));
      if (result == 0) result = -1;
      break;
    }
    if (got == 0) break;
    written += static_cast<std::uint64_t>(got);
    if (written > entry.size) {
      result = -1;
      break;
    }
    out.write(chunk.data(), static_cast<std::streamsize>(got));
    if (!out) {
      result = -1;
      break;
    }
  }
  zip_fclose(file);
  if (result == 0 && written != entry.size) result = -1;
  return result;
}

bool ZipArchive::addData(std::string_view name, std::string_view data) {
  if (!m_impl->archive) return false;
  // libzip reads the source only when the archive is closed: hand it a copy it frees itself.
  // (It does not free an empty buffer, so an empty entry gets none.)
  void* copy = nullptr;
  if (!data.empty()) {
    copy = std::malloc(data.size());
    if (!copy) return false;
    std::memcpy(copy, data.data(), data.size());
  }
  zip_source_t* source = zip_source_buffer(m_impl->archive, copy, data.size(), copy ? 1 : 0);
  if (!source) {
    std::free(copy);
    m_error = lf_archiveErrorText(m_impl->archive);
    return false;
  }
  const std::string entryName(name);
  if (zip_file_add(m_impl->archive, entryName.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
    zip_source_free(source);
    m_error = lf_archiveErrorText(m_impl->archive);
    return false;
  }
  return true;
}

bool ZipArchive::addFolder(std::string_view name) {
  if (!m_impl->archive) return false;
  const std::string folderName(name);
  if (zip_dir_add(m_impl->archive, folderName.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
    m_error = lf_archiveErrorText(m_impl->archive);
    return false;
  }
  return true;
}
