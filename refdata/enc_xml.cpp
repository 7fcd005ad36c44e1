#include "refdata/enc_xml.h"

#include <fmt/format.h>

#include "config/xml_helpers.h"
#include "core/text.h"

std::unique_ptr<EncXmlDocument> gf_parseEncXml(SecureBuffer plaintext) {
  auto owner = std::make_unique<EncXmlDocument>();
  owner->plaintext = std::move(plaintext);
  owner->parse = owner->document.load_buffer_inplace(owner->plaintext.data(), owner->plaintext.size());
  if (owner->parse && gf_isXmlTooDeep(owner->document)) {
    owner->document.reset();
    owner->parse.status = pugi::status_internal_error;  // refused as damaged
  }
  return owner;
}

std::string gf_checkEncXmlFile(const std::filesystem::path& path, std::uint64_t maxPlaintextBytes) {
  EncReadResult plain = gf_readEncFile(path, maxPlaintextBytes);
  if (!plain.ok()) return plain.message();
  const auto xml = gf_parseEncXml(std::move(plain.buffer()));
  if (!xml->parse) return fmt::format("{} is no XML: {}", gf_pathToUtf8(path), xml->parse.description());
  if (!xml->document.child("root")) return fmt::format("'{}' has no root node", gf_pathToUtf8(path));
  return {};
}
