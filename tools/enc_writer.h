#pragma once
// The writing side of the .enc data sets, for our own tools (the encryptor, the fuzz drivers):
// a secretstream header, then 4096-byte chunks, the last one (0 to 4096 bytes) tagged final.
#include <span>
#include <string>
#include <string_view>

#include "refdata/enc_file.h"

// The whole file's bytes. Without finalTag the last chunk is an ordinary one (a broken file).
std::string gf_encryptEncData(std::span<const unsigned char, kEncKeyBytes> key, std::string_view plain,
                              bool finalTag = true);
