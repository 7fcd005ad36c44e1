#include "liveries/scan_result_file.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "config/xml_helpers.h"
#include "config/xml_meta.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/user_exception.h"
#include "liveries/livery.h"
#include "platform/os.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReservedLiveries = 30000;
constexpr int kUnreadableCode = 51;
constexpr int kMissingSectionCode = 52;
constexpr int kNoLiveriesCode = 533;
constexpr int kMissingAttributeCode = 999;

bool lf_addLiveryAttributes(pugi::xml_node element, const Livery& livery) {
  bool ok = gf_addXmlAttribute(element, "a", gf_airlineName(livery.airline));
  if (livery.operatorId != 0) ok = ok && gf_addXmlAttribute(element, "o", gf_airlineName(livery.operatorId));
  ok = ok && gf_addXmlAttribute(element, "m", gf_modelName(livery.model));
  if (livery.cargo == 1) ok = ok && gf_addXmlAttribute(element, "c", "true");
  ok = ok && gf_addXmlAttribute(element, "t", livery.title);
  if (!livery.registration.empty()) ok = ok && gf_addXmlAttribute(element, "r", livery.registration);
  return ok;
}

std::string_view lf_requiredAttribute(pugi::xml_node element, const char* name) {
  const pugi::xml_attribute attribute = element.attribute(name);
  if (!attribute)
    throw jrv::UserRelatedException(kMissingAttributeCode,
                                    fmt::format("Missing required attribute '{}' in <{}>", name, element.name()));
  return attribute.value();
}

std::vector<Livery> lf_parseScanFile(const fs::path& path, const std::string& pathText) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw jrv::UserRelatedException(kUnreadableCode, fmt::format("Could not open {}", pathText));
  pugi::xml_document document;
  if (const std::string problem = gf_xmlLoadProblem(document.load(in), document); !problem.empty())
    throw jrv::UserRelatedException(kUnreadableCode, fmt::format("Error reading {}: {}", pathText, problem));
  gf_readXmlMeta(document, false);  // it logs its own complaints; a result file is used without a header

  const pugi::xml_node root = document.child("root");
  if (!root) throw jrv::UserRelatedException(kMissingSectionCode, fmt::format("{} does not contain <{}>", pathText, "root"));
  const pugi::xml_node list = root.child("liveries");
  if (!list)
    throw jrv::UserRelatedException(kMissingSectionCode,
                                    fmt::format("{} does not contain a <{}> section", pathText, "liveries"));

  // The empty name is id 0 in both tables, so that "no operator" reads back as operator 0.
  if (gf_airlineNameCount() == 0) gf_internAirlineName("");
  if (gf_modelNameCount() == 0) gf_internModelName("");
  std::vector<Livery> liveries;
  liveries.reserve(kReservedLiveries);
  for (const pugi::xml_node element : list.children()) {
    if (element.type() != pugi::node_element) continue;
    const std::string_view airline = lf_requiredAttribute(element, "a");
    const std::string_view model = lf_requiredAttribute(element, "m");
    const std::string_view title = lf_requiredAttribute(element, "t");
    Livery& livery = liveries.emplace_back();
    livery.title = title;
    livery.registration = element.attribute("r").value();
    livery.airline = gf_internAirlineName(airline);
    livery.operatorId = gf_internAirlineName(element.attribute("o").value());
    livery.model = gf_internModelName(model);
    livery.cargo = element.attribute("c").as_bool(false) ? 1 : 0;
  }
  if (liveries.empty()) throw jrv::UserRelatedException(kNoLiveriesCode, pathText + " does not contain liveries");
  return liveries;
}

}  // namespace

bool lf_writeScannedLiveries() {
  if (g_liveries.empty()) return false;
  pugi::xml_document document;
  XmlMeta meta;
  meta.version = gf_versionString(g_programVersion.major, g_programVersion.minor, g_programVersion.patch);
  meta.sim = gf_isMsfs2020() ? 1 : 2;
  if (!gf_writeXmlMeta(document, meta)) {
    gf_log("Cannot write liveries scanned: failed to add metadata");
    return false;
  }
  pugi::xml_node root = document.child("root");
  if (!root) {
    gf_log("Cannot write liveries scanned: XML root missing");
    return false;
  }
  pugi::xml_node list = root.append_child("liveries");
  if (!list) {
    gf_log("Cannot write liveries scanned: failed to add Liveries node");
    return false;
  }
  for (const Livery& livery : g_liveries) {
    pugi::xml_node element = list.append_child("l");
    if (!element) {
      gf_log("Cannot write liveries scanned: failed to add Livery node");
      return false;
    }
    if (!lf_addLiveryAttributes(element, livery)) {
      gf_log("Cannot write liveries scanned: failed to add Livery attributes");
      return false;
    }
  }
  return lf_saveScanDocument(document, g_liveries.size(), gf_liveriesScannedFile());
}

namespace {
thread_local std::string t_scanWriteFailure;
}  // namespace

const std::string& lf_scanWriteFailure() { return t_scanWriteFailure; }

bool lf_saveScanDocument(pugi::xml_document& document, std::size_t count, const fs::path& target) {
  t_scanWriteFailure.clear();
  fs::path temporary = target;
  temporary += ".scan_tmp";
  std::error_code error;
  fs::remove(temporary, error);
  if (error) {
    gf_logWarning(fmt::format("Cannot remove stale temporary livery scan file {}: {}", gf_pathToUtf8(temporary),
                              error.message()));
    return false;
  }
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), error);

  const TempFileRemover remover(temporary);
  errno = 0;
  if (!gf_saveXml(document, temporary)) {
    t_scanWriteFailure = os::errorText(errno ? errno : EIO);
    gf_logWarning(fmt::format("Cannot write temporary livery scan file {}: {}", gf_pathToUtf8(temporary),
                              t_scanWriteFailure));
    return false;
  }
  if (!lf_validateScanTmpFile(temporary, count)) {
    gf_logWarning(fmt::format("Temporary livery scan file {} failed validation", gf_pathToUtf8(temporary)));
    return false;
  }
  if (!lf_commitScanFile(temporary, target)) return false;
  gf_log(fmt::format("{} liveries in {}", count, gf_pathToUtf8(target)));
  return true;
}

bool lf_validateScanTmpFile(const fs::path& file, std::size_t expectedCount) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  pugi::xml_document document;
  if (!gf_xmlLoadProblem(document.load(in, pugi::parse_default, pugi::encoding_auto), document).empty()) return false;
  const pugi::xml_node list = document.child("root").child("liveries");
  if (!list) return false;
  std::size_t count = 0;
  for (const pugi::xml_node element : list.children("l")) {
    if (!element.attribute("a") || !element.attribute("m") || !element.attribute("t")) return false;
    ++count;
  }
  return count == expectedCount;
}

bool lf_commitScanFile(const fs::path& temporary, const fs::path& target) {
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  if (error && status.type() != fs::file_type::not_found) {
    gf_logWarning(fmt::format("Cannot inspect {} before replacing it: {}", gf_pathToUtf8(target), error.message()));
    return false;
  }
  if (!os::durableReplace(temporary, target, error)) {
    t_scanWriteFailure = error.message();
    gf_logWarning(fmt::format("Cannot replace {} after the livery scan: {}", gf_pathToUtf8(target), error.message()));
    return false;
  }
  return true;
}

bool lf_readScannedLiveries() {
  const fs::path path = gf_liveriesScannedFile();
  const std::string pathText = gf_pathToUtf8(path);
  try {
    std::vector<Livery> liveries = lf_parseScanFile(path, pathText);
    std::sort(liveries.begin(), liveries.end(), lf_liveryBefore);
    gf_log(fmt::format("{:5} liveries read from {}", liveries.size(), pathText));
    g_scannedLiveries.swap(liveries);
    return true;
  } catch (const jrv::UserRelatedException& e) {
    const std::string_view text = e.what();
    gf_log(text.empty() ? std::string_view("Unknown exception") : text);
  } catch (const std::exception& e) {
    gf_log(fmt::format("Error reading {}: {}", pathText, gf_escapedText(e.what())));
  }
  return false;
}
