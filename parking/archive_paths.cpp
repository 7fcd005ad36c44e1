#include "parking/archive_paths.h"

#include <fmt/format.h>

#include <cctype>
#include <stdexcept>
#include <vector>

#include "config/program_folders.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"

namespace fs = std::filesystem;

namespace {

fs::path lf_icaoName(IcaoCode code, std::string_view extension) {
  return fs::path(fmt::format("{}{}", code.text(), extension));
}

std::vector<std::string> lf_components(const fs::path& path) {
  std::vector<std::string> parts;
  for (const fs::path& part : path) parts.push_back(part.string());
  return parts;
}

bool lf_equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool lf_isDigit(char c) { return c >= '0' && c <= '9'; }

int lf_hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "<ICAO><digits>" into code and version.
std::optional<std::pair<IcaoCode, std::string>> lf_codeAndVersion(std::string_view stem) {
  if (stem.size() < 4) return std::nullopt;
  const std::optional<IcaoCode> code = gf_optionalIcaoCode(stem.substr(0, 4));
  if (!code) return std::nullopt;
  std::string version;
  for (const char c : stem.substr(4)) {
    if (!lf_isDigit(c)) return std::nullopt;
    version.push_back(c);
  }
  return std::pair{*code, version};
}

std::optional<fs::path> lf_underFolder(const fs::path& folder, std::string_view name, const std::string& file) {
  if (name.empty()) return std::nullopt;
  return folder / std::string(name) / file;
}

}  // namespace

fs::path gf_icaoXmlName(IcaoCode code) { return lf_icaoName(code, ".xml"); }
fs::path gf_icaoEncName(IcaoCode code) { return lf_icaoName(code, ".enc"); }
fs::path gf_icaoTxtName(IcaoCode code) { return lf_icaoName(code, ".txt"); }

std::optional<ArchiveIdentity> lf_archiveIdentity(const fs::path& path) {
  const std::vector<std::string> parts = lf_components(path);
  if (parts.size() < 3 || !lf_equalNoCase(parts[0], "archive")) return std::nullopt;
  ArchiveIdentity identity;
  std::size_t fileIndex = 2;
  if (lf_equalNoCase(parts[1], "stock") || lf_equalNoCase(parts[1], "simaddon")) {
    identity.publisher = lf_equalNoCase(parts[1], "stock") ? "stock" : "simaddon";
  } else if (lf_equalNoCase(parts[1], "thirdparty")) {
    identity.publisher = lf_percentDecode(parts[2]);
    fileIndex = 3;
  } else {
    return std::nullopt;
  }
  if (parts.size() != fileIndex + 1) return std::nullopt;
  const fs::path file(parts[fileIndex]);
  if (!gf_hasExtensionNoCase(file, ".xml") && !gf_hasExtensionNoCase(file, ".enc")) return std::nullopt;
  const auto codeAndVersion = lf_codeAndVersion(file.stem().string());
  if (!codeAndVersion) return std::nullopt;
  identity.code = codeAndVersion->first;
  identity.version = codeAndVersion->second;
  return identity;
}

std::optional<fs::path> lf_learnedPathFor(const fs::path& path, std::string_view publisher) {
  if (path.empty()) return std::nullopt;
  if (!publisher.empty()) {
    try {
      utf8_to_wide(publisher);
    } catch (const std::exception& e) {
      gf_logWarning(
          fmt::format("Invalid UTF-8 publisher '{}': {}", gf_escapedText(publisher), gf_escapedText(e.what())));
      return std::nullopt;
    }
  }
  fs::path file = path.filename();
  if (gf_hasExtensionNoCase(file, ".enc"))
    file.replace_extension(".xml");
  else if (!gf_hasExtensionNoCase(file, ".xml"))
    return std::nullopt;

  const std::vector<std::string> parts = lf_components(path);
  const std::string name = file.string();
  if (parts.size() == 3 && parts[0] == "archive") {
    if (parts[1] == "stock") return g_learnedStockFolder / name;
    if (parts[1] == "simaddon") return g_learnedSimaddonFolder / name;
    return std::nullopt;
  }
  if (parts.size() == 4 && parts[0] == "archive" && parts[1] == "thirdparty")
    return lf_underFolder(g_learnedThirdpartyFolder, lf_safeFolderName(lf_percentDecode(parts[2])), name);
  if (parts.size() == 3 && parts[0] == "airports") {
    if (parts[1] == "stock") return g_learnedStockFolder / name;
    if (parts[1] == "my_simaddon") return g_learnedFolder / "my_simaddon" / name;
    if (parts[1] == "my_thirdparty" || parts[1] == "my_thirdparty2024")
      return lf_underFolder(g_learnedThirdpartyFolder, lf_safeFolderName(publisher), name);
  }
  return std::nullopt;
}

fs::path lf_learnedBasePath(std::string_view publisher, const fs::path& file) {
  if (publisher == "stock") return fs::path("archive") / "stock" / file;
  if (publisher == "simaddon") return fs::path("archive") / "simaddon" / file;
  return fs::path("airports") / "my_thirdparty" / file;
}

std::string lf_percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = lf_hexValue(text[i + 1]);
      const int low = lf_hexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string lf_safeFolderName(std::string_view publisher) {
  std::string name(publisher);
  for (char& c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = ' ';
  }
  name = gf_trim(name);
  if (name == "." || name == "..") name.clear();
  return name;
}
