// Enciphers a data set (our sample dbase, AIG registration codes, test fixtures) into the .enc
// format that the program reads: a secretstream header, then 4096-byte chunks, the last one
// (0 to 4096 bytes) tagged final.
//
//   jorv_encrypt [--key-a HEX --key-b HEX] <plain file> <file.enc>
//
// The key is the XOR of two 32-byte tables. Without options they are the tables this build was
// configured with (CMake cache variables JORV_ENC_KEY_TABLE_A and JORV_ENC_KEY_TABLE_B), taken
// from the program's own key code. --key-a and --key-b (64 hex digits each, both or neither)
// name other tables, for data sets meant for a build configured with those.
#include <sodium.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "refdata/enc_file.h"
#include "tools/enc_writer.h"

namespace {

using Key = std::array<unsigned char, kEncKeyBytes>;

std::optional<Key> lf_parseTable(const std::string& hex) {
  if (hex.size() != 2 * kEncKeyBytes) return std::nullopt;
  Key table{};
  for (std::size_t i = 0; i < kEncKeyBytes; ++i) {
    unsigned value = 0;
    for (std::size_t k = 0; k < 2; ++k) {
      const char c = hex[2 * i + k];
      unsigned digit = 0;
      if (c >= '0' && c <= '9')
        digit = static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        digit = static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        digit = static_cast<unsigned>(c - 'A' + 10);
      else
        return std::nullopt;
      value = value * 16 + digit;
    }
    table[i] = static_cast<unsigned char>(value);
  }
  return table;
}

int lf_usage() {
  std::cerr << "usage: jorv_encrypt [--key-a HEX --key-b HEX] <plain file> <file.enc>\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::optional<Key> tableA, tableB;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--key-a" || args[i] == "--key-b") {
      if (i + 1 >= args.size()) return lf_usage();
      auto table = lf_parseTable(args[i + 1]);
      if (!table) {
        std::cerr << "jorv_encrypt: " << args[i] << " needs 64 hex digits\n";
        return 2;
      }
      (args[i] == "--key-a" ? tableA : tableB) = table;
      ++i;
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2 || tableA.has_value() != tableB.has_value()) return lf_usage();
  if (sodium_init() < 0) {
    std::cerr << "jorv_encrypt: libsodium could not be initialised\n";
    return 1;
  }

  Key key{};
  if (tableA) {
    for (std::size_t i = 0; i < kEncKeyBytes; ++i) key[i] = (*tableA)[i] ^ (*tableB)[i];
  } else {
    gf_encKeyPartA(key);
    gf_encKeyPartB(key);
  }

  std::ifstream in(files[0], std::ios::binary);
  if (!in) {
    std::cerr << "jorv_encrypt: cannot read " << files[0] << "\n";
    return 1;
  }
  const std::string plain{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::filesystem::path target(files[1]);
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    const std::string enciphered = gf_encryptEncData(key, plain);
    if (!out || !out.write(enciphered.data(), static_cast<std::streamsize>(enciphered.size())) || !out.flush()) {
      sodium_memzero(key.data(), key.size());
      std::cerr << "jorv_encrypt: cannot write " << temporary << "\n";
      return 1;
    }
  }
  sodium_memzero(key.data(), key.size());
  std::error_code error;
  std::filesystem::rename(temporary, target, error);
  if (error) {
    std::cerr << "jorv_encrypt: cannot rename " << temporary << ": " << error.message() << "\n";
    return 1;
  }
  return 0;
}
