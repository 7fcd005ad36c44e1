#include "config/xml_meta.h"

#include <fmt/format.h>

#include <ctime>
#include <string_view>

#include "config/options.h"
#include "config/xml_helpers.h"
#include "core/log.h"
#include "core/program.h"
#include "core/utc_time.h"

namespace {

constexpr std::string_view kCopyright = "Copyright (c) the JORV developers. All rights reserved.";

std::string lf_utcDateText() {
  const std::time_t t = static_cast<std::time_t>(gf_systemSeconds());
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "Invalid date";
  return fmt::format("{} {} {}", tm.tm_mday, gf_monthName(tm.tm_mon + 1), tm.tm_year + 1900);
}

bool lf_appendInfo(pugi::xml_node meta, std::string_view name, std::string_view value) {
  pugi::xml_node info = meta.append_child("info");
  if (!info) return false;
  return gf_appendXmlAttribute(info, "name", name) && gf_addXmlAttribute(info, "value", value);
}

}  // namespace

bool gf_writeXmlMeta(pugi::xml_document& document, const XmlMeta& meta) {
  pugi::xml_node root = document.child("root");
  if (!root) root = document.append_child("root");
  if (!root) return false;
  while (pugi::xml_node old = root.child("meta")) root.remove_child(old);
  pugi::xml_node header = root.append_child("meta");
  if (!header) return false;

  bool complete = true;
  complete = lf_appendInfo(header, "author", g_programName) && complete;
  complete = lf_appendInfo(header, "version", meta.version) && complete;
  complete = lf_appendInfo(header, "date", lf_utcDateText()) && complete;
  complete = lf_appendInfo(header, "copyright", kCopyright) && complete;

  pugi::xml_node sim = header.append_child("info");
  if (!sim || !gf_appendXmlAttribute(sim, "name", "sim")) return false;
  if (!gf_appendXmlAttribute(sim, "value", std::to_string(meta.sim))) return false;
  return complete;
}

std::optional<XmlMeta> gf_readXmlMeta(const pugi::xml_document& document, bool acceptAnySim) {
  pugi::xml_node root = document.child("root");
  pugi::xml_node header = (root ? root : static_cast<pugi::xml_node>(document)).child("meta");
  if (!header) return std::nullopt;

  XmlMeta meta;
  bool author = false, version = false, date = false, p3d = false, msfs = false, sim = false, copyright = false;
  for (pugi::xml_node info : header.children("info")) {
    const std::string_view name = info.attribute("name").value();
    const std::string value = gf_attributeAsString(info, "value").value_or("");
    auto take = [&](bool& seen, std::string& field) {
      if (seen) return;
      seen = true;
      field = value;
    };
    if (name == "copyright") {
      if (copyright) continue;
      if (value.empty()) {
        gf_logWarning("no copyright info in the file?");
        return std::nullopt;
      }
      copyright = true;
    } else if (name == "author") {
      take(author, meta.author);
    } else if (name == "date") {
      take(date, meta.date);
    } else if (name == "version") {
      take(version, meta.version);
    } else if (name == "P3D") {
      take(p3d, meta.p3d);
    } else if (name == "MSFS") {
      take(msfs, meta.msfs);
    } else if (name == "sim") {
      if (sim) continue;
      const auto number = gf_intAttribute(value);
      if (!number) {
        gf_logWarning("invalid sim info in the file");
        continue;
      }
      sim = true;
      meta.sim = static_cast<std::uint32_t>(*number);
    }
  }
  if (!copyright) return std::nullopt;
  if (!acceptAnySim) {
    if (!sim && !msfs && !p3d) return std::nullopt;
    const bool accepted = (sim && meta.sim >= 1 && meta.sim <= 3) || meta.msfs == "2020" || meta.msfs == "2024" ||
                          !meta.p3d.empty();
    if (!accepted) {
      gf_logWarning("unsupported sim info in the file");
      return std::nullopt;
    }
  }
  return meta;
}
