#include "refdata/enc_file.h"

#include <fmt/format.h>
#include <sodium.h>

#include <array>
#include <atomic>
#include <fstream>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "core/text.h"
#include "refdata/enc_key_tables.h"

namespace {

std::atomic<SecureBuffer::WipeObserver> g_wipeObserver{nullptr};

[[noreturn]] void lf_fail(std::string_view format, const std::filesystem::path& path) {
  throw std::runtime_error(fmt::format(fmt::runtime(format), gf_pathToUtf8(path)));
}

// Wipes the secretstream state however the decryption ends.
struct StreamStateWiper {
  crypto_secretstream_xchacha20poly1305_state& state;
  ~StreamStateWiper() { sodium_memzero(&state, sizeof state); }
};

}  // namespace

SecureBuffer::SecureBuffer(std::size_t validatedSize) {
  const std::size_t capacity = validatedSize == 0 ? 1 : validatedSize;
  void* memory = sodium_malloc(capacity);
  if (memory == nullptr) throw std::bad_alloc();
  data_ = static_cast<unsigned char*>(memory);
  validatedSize_ = validatedSize;
  capacity_ = capacity;
}

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : data_(other.data_), size_(other.size_), validatedSize_(other.validatedSize_), capacity_(other.capacity_) {
  other.data_ = nullptr;
  other.size_ = other.validatedSize_ = other.capacity_ = 0;
}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = other.data_;
    size_ = other.size_;
    validatedSize_ = other.validatedSize_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.size_ = other.validatedSize_ = other.capacity_ = 0;
  }
  return *this;
}

void SecureBuffer::commit(std::size_t bytes) {
  if (bytes > validatedSize_ - size_) throw std::length_error("SecureBuffer: write beyond the validated size");
  size_ += bytes;
}

void SecureBuffer::release() noexcept {
  if (data_ != nullptr) {
    sodium_memzero(data_, capacity_);
    if (const auto observer = g_wipeObserver.load()) observer(data_, capacity_);
    sodium_free(data_);
  }
  data_ = nullptr;
  size_ = validatedSize_ = capacity_ = 0;
}

void SecureBuffer::setWipeObserver(WipeObserver observer) { g_wipeObserver.store(observer); }

void gf_encKeyPartA(std::span<unsigned char, kEncKeyBytes> buffer) {
  for (std::size_t i = 0; i < kEncKeyBytes; ++i) buffer[i] ^= kEncKeyTableA[i];
}

void gf_encKeyPartB(std::span<unsigned char, kEncKeyBytes> buffer) {
  for (std::size_t i = 0; i < kEncKeyBytes; ++i) buffer[i] ^= kEncKeyTableB[i];
}

void gf_wipeEncKey(std::span<unsigned char, kEncKeyBytes> buffer) { sodium_memzero(buffer.data(), buffer.size()); }

void gf_decryptEncFile(std::span<const unsigned char, kEncKeyBytes> key, SecureBuffer& out,
                       const std::filesystem::path& path, std::uint64_t maxPlaintextBytes) {
  static_assert(kEncHeaderBytes == crypto_secretstream_xchacha20poly1305_HEADERBYTES);
  static_assert(kEncChunkOverheadBytes == crypto_secretstream_xchacha20poly1305_ABYTES);
  static_assert(kEncKeyBytes == crypto_secretstream_xchacha20poly1305_KEYBYTES);

  // The layout is checked from the file size alone before a byte is decrypted.
  std::error_code error;
  const std::uintmax_t fileSize = std::filesystem::file_size(path, error);
  if (error)
    throw std::runtime_error(
        fmt::format("Could not determine encrypted file size for {}: {}", gf_pathToUtf8(path), error.message()));
  if (fileSize < kEncMinFileBytes) lf_fail("Encrypted file is too small: {}", path);
  const std::uintmax_t body = fileSize - kEncHeaderBytes;
  const std::uintmax_t chunks = (body + kEncChunkBytes - 1) / kEncChunkBytes;
  if (body < kEncChunkOverheadBytes * chunks) lf_fail("Encrypted file has invalid chunk sizes: {}", path);
  // A last piece of 1 to 16 bytes cannot be a chunk. Said here, from the size: the loop would
  // otherwise stop one chunk earlier on the validated size and blame the wrong thing.
  if (const std::uintmax_t tail = body % kEncChunkBytes; tail != 0 && tail < kEncChunkOverheadBytes)
    lf_fail("Encrypted file contains an incomplete block: {}", path);
  const std::uintmax_t plainSize = body - kEncChunkOverheadBytes * chunks;
  if (plainSize > maxPlaintextBytes)
    throw std::runtime_error(fmt::format("Encrypted file exceeds the plaintext size limit of {} bytes: {}",
                                         maxPlaintextBytes, gf_pathToUtf8(path)));

  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) lf_fail("Could not open input file: {}", path);
  std::array<unsigned char, kEncHeaderBytes> header{};
  file.read(reinterpret_cast<char*>(header.data()), header.size());
  if (static_cast<std::size_t>(file.gcount()) != header.size())
    lf_fail("Encrypted file has an incomplete header: {}", path);

  crypto_secretstream_xchacha20poly1305_state state;
  const StreamStateWiper wiper{state};
  if (crypto_secretstream_xchacha20poly1305_init_pull(&state, header.data(), key.data()) != 0)
    lf_fail("Invalid encryption header or key: {}", path);

  SecureBuffer plain(static_cast<std::size_t>(plainSize));
  std::vector<unsigned char> chunk(kEncChunkBytes, 0);
  unsigned char tag = 0;
  do {
    file.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(file.gcount());
    if (file.bad()) lf_fail("Error while reading encrypted file: {}", path);
    if (got == 0) lf_fail("Encrypted file ended without a final block: {}", path);
    if (got < kEncChunkOverheadBytes) lf_fail("Encrypted file contains an incomplete block: {}", path);
    if (plain.size() + (got - kEncChunkOverheadBytes) > plain.validatedSize())
      lf_fail("Decrypted data exceeds its validated size: {}", path);
    unsigned long long plainLength = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&state, plain.data() + plain.size(), &plainLength, &tag,
                                                   chunk.data(), got, nullptr, 0) != 0)
      lf_fail("Decryption failed for: {}", path);
    plain.commit(static_cast<std::size_t>(plainLength));
  } while (tag != crypto_secretstream_xchacha20poly1305_TAG_FINAL);

  file.clear(file.rdstate() & ~std::ios::failbit);
  const auto next = file.peek();
  if (file.bad()) lf_fail("Error while checking the end of encrypted file: {}", path);
  if (next != std::ifstream::traits_type::eof()) lf_fail("Encrypted file contains data after the final block: {}", path);
  out = std::move(plain);
}

EncReadResult gf_readEncFile(const std::filesystem::path& path, std::uint64_t maxPlaintextBytes) {
  // Start-up initialises libsodium (gf_initDataLibraries); without it the guarded allocator
  // aborts the process. Repeating the call is cheap and safe from any thread.
  if (sodium_init() < 0)
    return EncReadResult(fmt::format("libsodium could not be initialised to read {}", gf_pathToUtf8(path)));
  std::array<unsigned char, kEncKeyBytes> key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  try {
    SecureBuffer plain;
    gf_decryptEncFile(key, plain, path, maxPlaintextBytes);
    gf_wipeEncKey(key);
    return EncReadResult(std::move(plain));
  } catch (const std::exception& e) {
    gf_wipeEncKey(key);
    return EncReadResult(std::string(e.what()));
  } catch (...) {
    gf_wipeEncKey(key);
    return EncReadResult(fmt::format("Unknown failure while reading {}", gf_pathToUtf8(path)));
  }
}
