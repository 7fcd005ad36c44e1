#pragma once
// An XML document parsed in place from a decrypted data set. pugixml's in-place parse keeps
// pointers into the plaintext, so the document and its buffer have one owner, and the buffer
// (declared first) is destroyed after the document: no node ever points into freed memory.
#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "refdata/enc_file.h"

struct EncXmlDocument {
  SecureBuffer plaintext;
  pugi::xml_document document;
  pugi::xml_parse_result parse;
};

// Parses the plaintext in place with pugixml's default options; the result tells how it went.
std::unique_ptr<EncXmlDocument> gf_parseEncXml(SecureBuffer plaintext);

// Whether a data set decrypts within the limit into an XML document with a <root> element:
// empty when it does, else why not (naming the file).
std::string gf_checkEncXmlFile(const std::filesystem::path& path, std::uint64_t maxPlaintextBytes);
