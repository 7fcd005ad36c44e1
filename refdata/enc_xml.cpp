#include "refdata/enc_xml.h"

std::unique_ptr<EncXmlDocument> gf_parseEncXml(SecureBuffer plaintext) {
  auto owner = std::make_unique<EncXmlDocument>();
  owner->plaintext = std::move(plaintext);
  owner->parse = owner->document.load_buffer_inplace(owner->plaintext.data(), owner->plaintext.size());
  return owner;
}
