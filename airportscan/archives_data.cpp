#include "airportscan/archives_data.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

#include "airportscan/scan_state.h"
#include "config/program_folders.h"
#include "config/xml_helpers.h"
#include "core/log.h"
#include "core/text.h"
#include "core/user_exception.h"
#include "refdata/enc_xml.h"

namespace {

constexpr std::int32_t kMissingSectionCode = 61;

std::string lf_lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Names trimmed, empty ones dropped: an empty name would be contained in every text, so its
// group would take every airport and hide every later group.
std::vector<std::string> lf_splitPublisherNames(std::string_view text) { return gf_split(text, ','); }

void lf_readPublisherGroups(pugi::xml_node root) {
  std::vector<std::string> texts;
  for (const pugi::xml_node pub : root.child("publishers").children("pub")) texts.push_back(gf_attributeOr(pub, "pn", ""));
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  for (const std::string& text : texts) g_publisherGroups.push_back(lf_splitPublisherNames(text));
}

void lf_readRejectedPublishers(const pugi::xml_document& document) {
  g_rejectedManifestPublishers.clear();
  const pugi::xml_node section = document.child("root").child("rejectedpublishers");
  if (!section) {
    g_rejectedManifestPublishers.emplace("fsim", "FSIM");
    return;
  }
  for (const pugi::xml_node rp : section.children("rp")) {
    for (const std::string& piece : gf_split(gf_attributeOr(rp, "n", ""), ',')) {
      std::string key = lf_lowerCase(gf_trim(piece));
      if (!key.empty()) g_rejectedManifestPublishers.emplace(std::move(key), piece);  // the first spelling stays
    }
  }
}

void lf_readSimaddonSection(const pugi::xml_document& document, const char* section, const char* child) {
  const pugi::xml_node root = document.child("root");
  if (!root) throw jrv::UserRelatedException(kMissingSectionCode, std::string("XML root missing: ") + "root");
  const pugi::xml_node airports = root.child(section);
  if (!airports) throw jrv::UserRelatedException(kMissingSectionCode, std::string("Missing section: ") + section);
  for (const pugi::xml_node element : airports.children(child))
    for (std::string& code : gf_split(gf_attributeOr(element, "aps", ""), ',')) g_simaddonAirports.insert(std::move(code));
}

void lf_readThirdPartySection(const pugi::xml_document& document, const char* section, const char* child) {
  for (const pugi::xml_node element : document.child("root").child(section).children(child)) {
    ThirdPartyPublisher publisher{gf_attributeOr(element, "pub", ""), {}};
    for (std::string& file : gf_split(gf_attributeOr(element, "aps", ""), ','))
      publisher.files.push_back({std::move(file), {}});
    for (const pugi::xml_node ap : element.children("ap")) {
      const std::string f = gf_attributeOr(ap, "f", "");
      const std::string v = gf_attributeOr(ap, "v", "");
      if (f.empty() || v.empty()) continue;
      const auto file = std::find_if(publisher.files.begin(), publisher.files.end(),
                                     [&f](const ThirdPartyAirportFile& listed) { return listed.file == f; });
      if (file != publisher.files.end()) file->version = v;
    }
    g_thirdPartyArchives.push_back(std::move(publisher));
  }
}

}  // namespace

bool gf_readArchivesData(bool msfs2020) {
  g_publisherGroups.clear();
  g_rejectedManifestPublishers.clear();
  g_simaddonAirports.clear();
  g_thirdPartyArchives.clear();
  g_publisherGroups.reserve(1024);
  g_thirdPartyArchives.reserve(800);

  const std::filesystem::path& path = g_archivesEncFile;
  const std::string pathText = gf_pathToUtf8(path);
  if (!std::filesystem::exists(path)) throw std::runtime_error(fmt::format("{} not available", pathText));
  EncReadResult plain = gf_readEncFile(path, kArchivesPlainLimit);
  if (!plain.ok()) throw std::runtime_error(plain.message());
  // The document owns the plaintext and wipes it on every way out of here.
  const auto xml = gf_parseEncXml(std::move(plain.buffer()));
  if (!xml->parse) {
    gf_logWarning(fmt::format("{} not read because: {}", pathText, xml->parse.description()));
    return false;
  }
  const pugi::xml_node root = xml->document.child("root");
  if (!root) {
    gf_logWarning(fmt::format("'{}' has no root node", pathText));
    return false;
  }

  lf_readPublisherGroups(root);
  lf_readRejectedPublishers(xml->document);
  gf_log(fmt::format("{:5} publisher{}", g_publisherGroups.size(), gf_pluralS(g_publisherGroups.size())));
  gf_log(fmt::format("{:5} rejected manifest publisher value{}", g_rejectedManifestPublishers.size(),
                     gf_pluralS(g_rejectedManifestPublishers.size())));
  lf_readSimaddonSection(xml->document, msfs2020 ? "simaddons20" : "simaddons24", msfs2020 ? "s20" : "s24");
  lf_readThirdPartySection(xml->document, msfs2020 ? "thirdparties20" : "thirdparties24", msfs2020 ? "t20" : "t24");
  return true;
}

bool gf_isRejectedManifestPublisher(std::string_view value) {
  const std::string key = lf_lowerCase(gf_trim(value));
  return !key.empty() && g_rejectedManifestPublishers.contains(key);
}

PublisherMatch gf_findPublisherInText(const std::string& text) {
  if (text.empty()) return {2, {}};
  // An exact containment is a containment without case too, so one test covers both.
  for (const std::vector<std::string>& group : g_publisherGroups) {
    for (const std::string& name : group)
      if (gf_containsNoCase(text, name)) return {0, group.front()};
  }
  return {1, {}};
}

bool gf_pathContainsNoCase(const std::filesystem::path& path, std::string_view needle) {
  return gf_containsNoCase(gf_pathToUtf8(path), needle);
}
