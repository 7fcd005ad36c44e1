#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "refdata/enc_file.h"
#include "refdata/enc_xml.h"
#include "refdata/library_init.h"
#include "tests/refdata/enc_fixture.h"
#include "tests/support/test_support.h"

namespace {
using refdata_testing::encryptForTest;
using refdata_testing::EncFixtureOptions;
using testing_support::TempDir;
using testing_support::writeFile;

std::string pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

class EncFileTest : public ::testing::Test {
 protected:
  void SetUp() override { gf_initDataLibraries(); }

  // Writes the bytes and reads them back as a data set.
  EncReadResult read(const std::string& bytes, std::uint64_t limit = 0x1000000) {
    writeFile(file_, bytes);
    return gf_readEncFile(file_, limit);
  }
  std::string named(const std::string& message) const { return message + file_.string(); }

  TempDir dir_;
  std::filesystem::path file_ = dir_ / "set.enc";
};

TEST_F(EncFileTest, SmallestFiles) {
  const std::string empty = encryptForTest("");
  ASSERT_EQ(empty.size(), 41u);

  auto tooSmall = read(empty.substr(0, 40));
  ASSERT_FALSE(tooSmall.ok());
  EXPECT_EQ(tooSmall.message(), named("Encrypted file is too small: "));

  auto smallest = read(empty);
  ASSERT_TRUE(smallest.ok()) << smallest.message();
  EXPECT_EQ(smallest.buffer().size(), 0u);
  EXPECT_EQ(smallest.buffer().validatedSize(), 0u);
  EXPECT_EQ(smallest.buffer().capacity(), 1u);
  EXPECT_NE(smallest.buffer().data(), nullptr);
}

TEST_F(EncFileTest, ReadsEveryChunkOfALongFile) {
  // Three chunks: two full ones and a final one of 100 bytes.
  const std::string plain = pattern(2 * 4096 + 100);
  auto result = read(encryptForTest(plain));
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(result.buffer().text(), plain);
  EXPECT_EQ(result.buffer().capacity(), plain.size());
}

TEST_F(EncFileTest, PlaintextLimitIsCheckedFromTheFileSize) {
  const std::string plain = pattern(5000);
  const std::string bytes = encryptForTest(plain);

  auto atLimit = read(bytes, plain.size());
  ASSERT_TRUE(atLimit.ok()) << atLimit.message();
  EXPECT_EQ(atLimit.buffer().text(), plain);

  auto oneOver = read(bytes, plain.size() - 1);
  ASSERT_FALSE(oneOver.ok());
  EXPECT_EQ(oneOver.message(), named("Encrypted file exceeds the plaintext size limit of 4999 bytes: "));

  // Nothing is decrypted before the size is checked: garbage of the same size says the same.
  auto garbage = read(std::string(bytes.size(), 'x'), plain.size() - 1);
  ASSERT_FALSE(garbage.ok());
  EXPECT_EQ(garbage.message(), oneOver.message());
}

TEST_F(EncFileTest, BrokenLayouts) {
  const std::string full = encryptForTest(pattern(4096));  // one full chunk, tagged final
  struct Case { const char* what; std::string bytes; const char* message; };
  const std::vector<Case> cases = {
      {"no final tag", encryptForTest(pattern(4096), EncFixtureOptions{.finalTag = false}),
       "Encrypted file ended without a final block: "},
      {"no final tag, short chunk", encryptForTest(pattern(10), EncFixtureOptions{.finalTag = false}),
       "Encrypted file ended without a final block: "},
      {"a 1-byte piece after a chunk", full + "x", "Encrypted file contains an incomplete block: "},
      {"a 16-byte piece after a chunk", full + std::string(16, 'x'), "Encrypted file contains an incomplete block: "},
      {"a whole chunk after the final one", full + encryptForTest("tail").substr(24),
       "Encrypted file contains data after the final block: "},
      {"bytes after a short final chunk", encryptForTest("short") + std::string(20, 'x'),
       "Decryption failed for: "},
  };
  for (const auto& c : cases) {
    auto result = read(c.bytes);
    ASSERT_FALSE(result.ok()) << c.what;
    EXPECT_EQ(result.message(), named(c.message)) << c.what;
  }
}

TEST_F(EncFileTest, TamperingAndWrongKeysFailAuthentication) {
  const std::string plain = pattern(3 * 4096 + 7);
  const std::string good = encryptForTest(plain);
  // One bit in the header, in each chunk's ciphertext and in a tag.
  for (const std::size_t position : {std::size_t{3}, std::size_t{24 + 5}, std::size_t{24 + 4113 + 2000},
                                     std::size_t{24 + 3 * 4113 + 3}, good.size() - 1}) {
    std::string bad = good;
    bad[position] = static_cast<char>(bad[position] ^ 0x10);
    auto result = read(bad);
    ASSERT_FALSE(result.ok()) << "bit flipped at " << position;
    EXPECT_EQ(result.message(), named("Decryption failed for: ")) << "bit flipped at " << position;
  }

  refdata_testing::EncKey otherKey = refdata_testing::programKey();
  otherKey[31] ^= 1;
  auto wrongKey = read(encryptForTest(plain, EncFixtureOptions{.key = otherKey}));
  ASSERT_FALSE(wrongKey.ok());
  EXPECT_EQ(wrongKey.message(), named("Decryption failed for: "));
}

TEST_F(EncFileTest, MissingFileIsReportedBeforeOpening) {
  const auto missing = dir_ / "absent.enc";
  auto result = gf_readEncFile(missing, 100);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message().rfind("Could not determine encrypted file size for " + missing.string() + ": ", 0), 0u)
      << result.message();
}

TEST_F(EncFileTest, PlaintextLivesInGuardedMemory) {
  auto result = read(encryptForTest(pattern(1000)));
  ASSERT_TRUE(result.ok());
  const auto& buffer = result.buffer();
  // sodium_malloc places the region so that it ends on a page boundary, right before a guard
  // page: reading one byte past the plaintext faults.
  const auto end = reinterpret_cast<std::uintptr_t>(buffer.data()) + buffer.capacity();
  EXPECT_EQ(end % static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE)), 0u);
  EXPECT_DEATH(
      {
        volatile const unsigned char* past = buffer.data() + buffer.capacity();
        (void)*past;
      },
      "");
}

std::vector<std::vector<unsigned char>> g_wiped;
void rememberWipe(const unsigned char* data, std::size_t capacity) { g_wiped.emplace_back(data, data + capacity); }

TEST_F(EncFileTest, PlaintextIsWipedWhenFreedOrMovedOver) {
  g_wiped.clear();
  SecureBuffer::setWipeObserver(&rememberWipe);
  {
    auto first = read(encryptForTest(pattern(300)));
    auto second = read(encryptForTest(pattern(200)));
    ASSERT_TRUE(first.ok() && second.ok());
    SecureBuffer kept = std::move(first.buffer());
    EXPECT_EQ(first.buffer().data(), nullptr);
    EXPECT_EQ(first.buffer().capacity(), 0u);
    kept = std::move(second.buffer());  // frees the 300 bytes
    ASSERT_EQ(g_wiped.size(), 1u);
    EXPECT_EQ(kept.size(), 200u);
  }
  // A failure after decryption began frees its partial plaintext too.
  std::string bad = encryptForTest(pattern(3 * 4096));
  bad[24 + 2 * 4113 + 5] ^= 1;
  EXPECT_FALSE(read(bad).ok());
  SecureBuffer::setWipeObserver(nullptr);

  ASSERT_EQ(g_wiped.size(), 3u);
  EXPECT_EQ(g_wiped[0].size(), 300u);
  EXPECT_EQ(g_wiped[1].size(), 200u);
  EXPECT_EQ(g_wiped[2].size(), 3u * 4096);
  for (const auto& memory : g_wiped)
    for (const unsigned char byte : memory) ASSERT_EQ(byte, 0);
}

TEST_F(EncFileTest, XmlIsParsedInPlaceAndOwnsItsPlaintext) {
  auto result = read(encryptForTest("<root><aig><l t=\"Title\" r=\"D-AIMA\"/></aig></root>"));
  ASSERT_TRUE(result.ok());
  const unsigned char* plain = result.buffer().data();
  const std::size_t capacity = result.buffer().capacity();
  auto xml = gf_parseEncXml(std::move(result.buffer()));
  ASSERT_TRUE(xml->parse);
  // The document's texts point into the guarded plaintext: no copy of it exists elsewhere.
  const auto record = xml->document.child("root").child("aig").child("l");
  const char* title = record.attribute("t").value();
  EXPECT_STREQ(title, "Title");
  EXPECT_GE(reinterpret_cast<const unsigned char*>(title), plain);
  EXPECT_LT(reinterpret_cast<const unsigned char*>(title), plain + capacity);
  // The owner can be handed on; the texts stay where they are.
  auto moved = std::move(xml);
  EXPECT_STREQ(moved->document.child("root").child("aig").child("l").attribute("r").value(), "D-AIMA");
}

}  // namespace
