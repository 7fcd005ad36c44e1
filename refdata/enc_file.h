#pragma once
// Reader of the encrypted data sets (.enc): a libsodium XChaCha20-Poly1305 secret stream of
// 4096-byte chunks behind a 24-byte header. The plaintext only ever lives in guarded memory.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <variant>

inline constexpr std::size_t kEncHeaderBytes = 24;
inline constexpr std::size_t kEncChunkPlainBytes = 4096;
inline constexpr std::size_t kEncChunkOverheadBytes = 17;
inline constexpr std::size_t kEncChunkBytes = kEncChunkPlainBytes + kEncChunkOverheadBytes;
inline constexpr std::size_t kEncKeyBytes = 32;
inline constexpr std::uintmax_t kEncMinFileBytes = kEncHeaderBytes + kEncChunkOverheadBytes;

// The largest file whose plaintext keeps within plainLimit: what a download of it may weigh.
constexpr std::uint64_t gf_encFileBytesFor(std::uint64_t plainLimit) {
  return kEncHeaderBytes + (plainLimit / kEncChunkPlainBytes + 1) * kEncChunkBytes;
}

// Callers' limits on the plaintext of each data set.
inline constexpr std::uint64_t kDbasePlainLimit = 0x1000000;
inline constexpr std::uint64_t kAigRegcodesPlainLimit = 0x800000;
inline constexpr std::uint64_t kArchivesPlainLimit = 0x400000;

// Decrypted file contents in memory from sodium_malloc (guard pages around it, wiped when freed).
// Move-only; the text carries no terminating zero byte.
class SecureBuffer {
 public:
  SecureBuffer() = default;
  // Guarded memory for validatedSize bytes (at least 1); throws std::bad_alloc when none is left.
  explicit SecureBuffer(std::size_t validatedSize);
  ~SecureBuffer() { release(); }
  SecureBuffer(SecureBuffer&& other) noexcept;
  SecureBuffer& operator=(SecureBuffer&& other) noexcept;
  SecureBuffer(const SecureBuffer&) = delete;
  SecureBuffer& operator=(const SecureBuffer&) = delete;

  unsigned char* data() { return data_; }
  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t validatedSize() const { return validatedSize_; }
  std::size_t capacity() const { return capacity_; }
  std::string_view text() const { return {reinterpret_cast<const char*>(data_), size_}; }
  // Room left up to the validated size; the decryption writes there and then commits.
  void commit(std::size_t bytes);
  // Wipes all capacity bytes, frees them and leaves the buffer empty.
  void release() noexcept;

  // Tests watch the wipe: called with the memory after sodium_memzero, before sodium_free.
  using WipeObserver = void (*)(const unsigned char* data, std::size_t capacity);
  static void setWipeObserver(WipeObserver observer);

 private:
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t validatedSize_ = 0;
  std::size_t capacity_ = 0;
};

// Either the plaintext or the one-line message of the failure, which names the file.
class EncReadResult {
 public:
  explicit EncReadResult(SecureBuffer buffer) : value_(std::move(buffer)) {}
  explicit EncReadResult(std::string message) : value_(std::move(message)) {}
  bool ok() const { return std::holds_alternative<SecureBuffer>(value_); }
  SecureBuffer& buffer() { return std::get<SecureBuffer>(value_); }
  const std::string& message() const { return std::get<std::string>(value_); }

 private:
  std::variant<SecureBuffer, std::string> value_;
};

// Reads and decrypts one .enc file with the program's key. Never throws a std::exception.
EncReadResult gf_readEncFile(const std::filesystem::path& path, std::uint64_t maxPlaintextBytes);
// The worker under gf_readEncFile: fills out or throws std::runtime_error (std::bad_alloc when
// guarded memory runs out). Nothing of the plaintext survives a failure.
void gf_decryptEncFile(std::span<const unsigned char, kEncKeyBytes> key, SecureBuffer& out,
                       const std::filesystem::path& path, std::uint64_t maxPlaintextBytes);

// The key is built in the caller's zeroed buffer, one table after the other, and wiped after use.
void gf_encKeyPartA(std::span<unsigned char, kEncKeyBytes> buffer);
void gf_encKeyPartB(std::span<unsigned char, kEncKeyBytes> buffer);
void gf_wipeEncKey(std::span<unsigned char, kEncKeyBytes> buffer);
