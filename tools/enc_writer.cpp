#include "tools/enc_writer.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <vector>

std::string gf_encryptEncData(std::span<const unsigned char, kEncKeyBytes> key, std::string_view plain,
                              bool finalTag) {
  crypto_secretstream_xchacha20poly1305_state state;
  std::array<unsigned char, kEncHeaderBytes> header{};
  crypto_secretstream_xchacha20poly1305_init_push(&state, header.data(), key.data());
  std::string out(reinterpret_cast<const char*>(header.data()), header.size());
  std::vector<unsigned char> chunk(kEncChunkBytes);
  std::size_t offset = 0;
  for (;;) {
    const std::size_t length = std::min(kEncChunkPlainBytes, plain.size() - offset);
    const bool last = offset + length == plain.size();
    const unsigned char tag = last && finalTag ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                               : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    unsigned long long written = 0;
    crypto_secretstream_xchacha20poly1305_push(&state, chunk.data(), &written,
                                               reinterpret_cast<const unsigned char*>(plain.data()) + offset, length,
                                               nullptr, 0, tag);
    out.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(written));
    offset += length;
    if (last) break;
  }
  sodium_memzero(&state, sizeof state);
  return out;
}
