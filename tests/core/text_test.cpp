#include <gtest/gtest.h>

#include <sstream>

#include "core/text.h"

namespace {

TEST(Utf16Conversion, RoundTripsAndRejectsBrokenInput) {
  const std::string utf8 = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x9B\xAB";  // Zürich € ✈-like 4-byte
  const std::u16string wide = utf8_to_wide(utf8);
  EXPECT_EQ(wide.size(), 11u);  // the 4-byte character takes a surrogate pair
  EXPECT_EQ(wide_to_utf8(wide), utf8);
  EXPECT_EQ(wide_to_utf8(u""), "");
  EXPECT_EQ(utf8_to_wide(""), u"");

  const char16_t loneHigh[] = {u'a', 0xD800, 0};
  EXPECT_THROW(
      {
        try {
          wide_to_utf8(loneHigh);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "wide_to_utf8: invalid UTF-16");
          throw;
        }
      },
      std::runtime_error);
  const char16_t loneLow[] = {0xDC00, 0};
  EXPECT_THROW(wide_to_utf8(loneLow), std::runtime_error);
  for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF5\x80\x80\x80", "a\x80"})
    EXPECT_THROW(utf8_to_wide(bad), std::runtime_error) << "input " << bad;
}

TEST(Split, TrimsAndDropsEmptyPieces) {
  struct Case {
    const char* text;
    std::vector<std::string> pieces;
  } cases[] = {
      {"", {}},
      {"  ,  ", {}},
      {"a,,b", {"a", "b"}},
      {" a , b ,c\t", {"a", "b", "c"}},
      {"single", {"single"}},
  };
  for (const auto& c : cases) EXPECT_EQ(gf_split(c.text, ','), c.pieces) << "text '" << c.text << "'";
  EXPECT_EQ(gf_trim(" \t\r\n x y \n"), "x y");
  EXPECT_EQ(gf_trim(" \t "), "");
}

TEST(CommaLists, TrimKeepsOrderParseSortsAndDeduplicates) {
  std::string untouched = "b,a,,c";
  gf_trimCommaList(untouched);
  EXPECT_EQ(untouched, "b,a,,c");  // no blanks: left alone
  std::string spaced = " b , a,, c ";
  gf_trimCommaList(spaced);
  EXPECT_EQ(spaced, "b,a,c");

  EXPECT_EQ(gf_parseCommaList("b, a,,a ,c"), (std::list<std::string>{"", "a", "b", "c"}));
  EXPECT_EQ(gf_parseCommaList(""), (std::list<std::string>{""}));
}

TEST(TextBetweenQuotes, FollowsTheQuoteRules) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"no quotes", "no quotes"},
      {"title = \"Airbus A320\" ; comment", "Airbus A320"},
      {"one \" quote", ""},
      {"ends with \"", ""},
      {"\"\"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(gf_textBetweenQuotes(c.text), c.expected) << c.text;
  EXPECT_EQ(gf_removeDots("1.2.3."), "123");
}

TEST(SplitLines, HandlesBomCrLfAndFinalLineFeed) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"x\r\n\r\ny", {"x", "", "y"}},
      {"\xEF\xBB\xBF", {}},
      {"\xEF\xBB\xBFhead\n", {"head"}},
      {"", {}},
      {"one", {"one"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r", {"a"}},
      {"\n", {""}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines{"kept"};
    gf_splitLines(c.text, lines);
    lines.erase(lines.begin());
    EXPECT_EQ(lines, c.lines) << "text of " << c.text.size() << " bytes";
  }
}

TEST(ReadLines, ReadsWholeStreamAndLeavesFailedStreamsAlone) {
  std::istringstream stream("first\r\nsecond\n");
  std::vector<std::string> lines;
  gf_readLines(stream, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));

  std::istringstream empty("");
  gf_readLines(empty, lines);
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_TRUE(empty.good());

  std::istringstream failed("data");
  failed.setstate(std::ios::failbit);
  gf_readLines(failed, lines);
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_TRUE(failed.fail());
}

TEST(Formatters, PluralFloatAndBanner) {
  EXPECT_EQ(gf_pluralS(0), "s");
  EXPECT_EQ(gf_pluralS(1), "");
  EXPECT_EQ(gf_pluralS(2), "s");
  EXPECT_EQ(gf_floatText(3.0f), "3");
  EXPECT_EQ(gf_floatText(2.5f), "2.5");
  EXPECT_EQ(gf_floatText(-1.25f), "-1.2");

  const std::string opening = gf_bannerText(70, 0, true, false, "parameters");
  EXPECT_EQ(opening.size(), 81u);
  EXPECT_EQ(opening, "\n" + std::string(34, '*') + " parameters " + std::string(34, '*'));
  EXPECT_EQ(gf_bannerText(70, 10, false, true, ""), std::string(80, '*') + "\n");
  EXPECT_EQ(gf_bannerText(7, 0, false, false, ""), std::string(8, '*'));  // odd widths round up
  EXPECT_EQ(gf_bannerText(10, 0, false, false, "12345678"), "12345678");  // too long for stars
}

}  // namespace
