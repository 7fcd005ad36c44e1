#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/text_file.h"
#include "core/user_message.h"
#include "platform/os.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

std::vector<std::string> g_messages;
void captureMessage(std::string_view text, bool) { g_messages.emplace_back(text); }

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    gf_setUserMessageSink(captureMessage);
  }
  void TearDown() override { gf_setUserMessageSink(nullptr); }
  fs::path file(const std::string& name, const std::string& bytes) {
    writeFile(dir_ / name, bytes);
    return dir_ / name;
  }
  TempDir dir_;
};

TEST_F(TextFileTest, DetectsTheCharsetFromTheFirstBytes) {
  const std::string cutUtf8 = std::string(4095, 'a') + "\xC3\xA9" + "rest";  // é split by the 4096-byte sample
  struct Case {
    const char* name;
    std::string bytes;
    TextEncoding expected;
  } cases[] = {
      {"utf8 bom", "\xEF\xBB\xBFtext", TextEncoding::UTF8_with_BOM},
      {"utf16le bom", std::string("\xFF\xFE" "a\0", 4), TextEncoding::Unicode},
      {"utf16be bom", std::string("\xFE\xFF\0a", 4), TextEncoding::Unicode_big_endian},
      {"utf16le no bom", std::string("A\0B\0", 4), TextEncoding::Unicode},
      {"utf16be no bom", std::string("\0A\0B", 4), TextEncoding::Unicode_big_endian},
      {"short utf16le", std::string("A\0", 2), TextEncoding::Unicode},
      {"empty", "", TextEncoding::UTF8_without_BOM},
      {"ascii", "plain text\r\n", TextEncoding::UTF8_without_BOM},
      {"utf8", "Z\xC3\xBCrich \xE2\x82\xAC", TextEncoding::UTF8_without_BOM},
      {"cp1252 euro", "price \x80 5", TextEncoding::ANSI},
      {"C1 byte", "x\xC1\x81", TextEncoding::ANSI},
      {"F5 byte", "x\xF5\x80\x80\x80", TextEncoding::ANSI},
      {"overlong E0", "\xE0\x80\x80", TextEncoding::ANSI},
      {"surrogate ED A0", "ab\xED\xA0\x80", TextEncoding::ANSI},
      {"last before surrogates ED 9F", "ab\xED\x9F\xBF", TextEncoding::UTF8_without_BOM},
      {"utf8 truncated at end of file", "ab\xC3", TextEncoding::ANSI},
      {"utf8 cut by the sample", cutUtf8, TextEncoding::UTF8_without_BOM},
  };
  for (const auto& c : cases) EXPECT_EQ(gf_detectTextEncoding(file("f.txt", c.bytes)), c.expected) << c.name;
  EXPECT_EQ(gf_detectTextEncoding(dir_ / "missing.txt"), TextEncoding::none_found);
}

TEST_F(TextFileTest, ReadsEachCharsetIntoUtf8Lines) {
  struct Case {
    const char* name;
    TextEncoding encoding;
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"utf8 with bom", TextEncoding::UTF8_with_BOM, "\xEF\xBB\xBFone\r\ntwo\n", {"one", "two"}},
      {"utf8", TextEncoding::UTF8_without_BOM, "a\n\nb", {"a", "", "b"}},
      {"ansi", TextEncoding::ANSI, "caf\xE9\r\n\x80 \x9F", {"caf\xC3\xA9", "\xE2\x82\xAC \xC5\xB8"}},
      {"utf16le", TextEncoding::Unicode, std::string("\xFF\xFEh\0i\0\r\0\n\0\xAC\x20", 12), {"hi", "\xE2\x82\xAC"}},
      {"utf16be", TextEncoding::Unicode_big_endian, std::string("\xFE\xFF\0h\0\n\0i", 8), {"h", "i"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines{"stale"};
    EXPECT_TRUE(gf_readTextFileLines(c.encoding, file("r.txt", c.bytes), lines)) << c.name;
    EXPECT_EQ(lines, c.lines) << c.name;
  }
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(TextFileTest, ReportsWhatCannotBeRead) {
  std::vector<std::string> lines{"stale"};
  EXPECT_FALSE(gf_readTextFileLines(TextEncoding::UTF8_without_BOM, dir_ / "missing.txt", lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(g_messages.empty());  // a missing file is not reported here

  const fs::path path = file("x.txt", "data");
  EXPECT_FALSE(gf_readTextFileLines(TextEncoding::none_found, path, lines));
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "Read failed for '" + path.string() + "': file " + path.string() +
                               " has unknown charset: none_found");

  // UTF-16 without a mark, of odd size, or with a lone surrogate: a reported failure, not an empty success.
  for (const std::string& bytes : {std::string("A\0B\0", 4), std::string("\xFF\xFE" "A\0B", 5),
                                   std::string("\xFF\xFE\x00\xD8", 4)}) {
    g_messages.clear();
    EXPECT_FALSE(gf_readTextFileLines(TextEncoding::Unicode, file("u.txt", bytes), lines));
    EXPECT_EQ(g_messages.size(), 1u);
  }
}

TEST_F(TextFileTest, WritesThroughATemporaryFile) {
  const fs::path path = dir_ / "out.txt";
  EXPECT_TRUE(gf_writeStringToFile("", path, true));
  EXPECT_EQ(readFile(path), "\n");
  EXPECT_TRUE(gf_writeStringToFile("abc", path, false));
  EXPECT_EQ(readFile(path), "abc");
  EXPECT_FALSE(fs::exists(dir_ / "out.txt.tmp"));
  EXPECT_FALSE(gf_writeStringToFile("x", dir_ / "no" / "such" / "folder.txt", false));
}

TEST_F(TextFileTest, WritesThroughTheDurableReplace) {
  const fs::path path = dir_ / "RealTraffic.lic";
  writeFile(path, "old license");
  os::setFsyncForTest([](int) {
    errno = EIO;
    return -1;
  });
  const bool written = gf_writeStringToFile("new license", path, false);
  os::setFsyncForTest(nullptr);
  EXPECT_FALSE(written) << "a file that may not be on disk is no success";
  EXPECT_EQ(readFile(path), "old license");
  EXPECT_FALSE(fs::exists(dir_ / "RealTraffic.lic.tmp"));
}

// A write that fails anywhere leaves the old file whole and no temporary file behind.
TEST_F(TextFileTest, LinesReplaceTheFileOnlyWhenWrittenWhole) {
  const fs::path path = file("list.txt", "old\n");
  EXPECT_TRUE(gf_writeLines(std::vector<std::string>{"EDDF,A12", ""}, path));
  EXPECT_EQ(readFile(path), "EDDF,A12\n\n");

  const fs::path busy = dir_ / "busy.txt";
  writeFile(busy / "inside", "a folder in the way of the target");
  EXPECT_FALSE(gf_writeLines(std::vector<std::string>{"x"}, busy));
  EXPECT_FALSE(fs::exists(dir_ / "busy.txt.tmp"));

  writeFile(dir_ / "list.txt.tmp" / "inside", "the temporary file cannot be made");
  EXPECT_FALSE(gf_writeLines(std::vector<std::string>{"new"}, path));
  EXPECT_EQ(readFile(path), "EDDF,A12\n\n");
}

// Both writers replace whole or not at all; only the durable one waits for the disk.
TEST_F(TextFileTest, UnsyncedLinesSkipOnlyTheWaitForTheDisk) {
  static int syncs = 0;
  os::setFsyncForTest([](int) { return ++syncs, 0; });
  struct Case {
    const char* name;
    bool (*write)(std::span<const std::string>, const fs::path&);
    bool syncs;
  };
  for (const Case c : {Case{"durable", gf_writeLines, true}, Case{"unsynced", gf_writeLinesUnsynced, false}}) {
    const fs::path path = file(std::string(c.name) + ".txt", "old\n");
    syncs = 0;
    EXPECT_TRUE(c.write(std::vector<std::string>{"1;KLM1;PH-ABC", ""}, path)) << c.name;
    EXPECT_EQ(readFile(path), "1;KLM1;PH-ABC\n\n") << c.name;
    EXPECT_EQ(syncs > 0, c.syncs) << c.name;
    EXPECT_FALSE(fs::exists(path.string() + ".tmp")) << c.name;

    const fs::path busy = dir_ / (std::string(c.name) + "-busy.txt");
    writeFile(busy / "inside", "a folder in the way of the target");
    EXPECT_FALSE(c.write(std::vector<std::string>{"x"}, busy)) << c.name;
    EXPECT_FALSE(fs::exists(busy.string() + ".tmp")) << c.name;
    EXPECT_EQ(readFile(path), "1;KLM1;PH-ABC\n\n") << c.name;
  }
  os::setFsyncForTest(nullptr);
}

TEST_F(TextFileTest, TextFileReadsUtf8LinesOrSaysOpenFailed) {
  TextFile text{file("aircraft.cfg", "\xEF\xBB\xBF[fltsim.0]\r\ntitle=A\n"), {}};
  auto result = text.readLines(64);
  ASSERT_TRUE(std::holds_alternative<std::span<const std::string>>(result));
  auto view = std::get<std::span<const std::string>>(result);
  ASSERT_EQ(view.size(), 2u);
  EXPECT_EQ(view[0], "[fltsim.0]");
  TextFile missing{dir_ / "missing.cfg", {}};
  EXPECT_EQ(std::get<std::string>(missing.readLines(64)), "open_failed");
}

}  // namespace
