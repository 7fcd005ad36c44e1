#pragma once
// The <meta> header of the XML data files the program writes (livery scan result, airport
// stand files): who wrote the file, with which version, when, and for which simulator.
#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <string>

struct XmlMeta {
  std::string author;
  std::string version;
  std::string date;  // "5 Dec 2026", UTC
  std::string p3d;   // an old file's "P3D" entry, empty when none
  std::string msfs;  // an old file's "MSFS" entry ("2020", "2024"), empty when none
  std::uint32_t sim = 0;  // 1 = MSFS 2020, 2 = MSFS 2024 (3 was P3D)
};

// Replaces any header of root by a new one from meta's version and sim. True when every
// entry was written; the caller saves the document.
bool gf_writeXmlMeta(pugi::xml_document& document, const XmlMeta& meta);

// The header when it is there, has a copyright notice and (unless acceptAnySim) names a
// supported simulator; otherwise no value.
std::optional<XmlMeta> gf_readXmlMeta(const pugi::xml_document& document, bool acceptAnySim);
