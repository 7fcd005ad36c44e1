#include <gtest/gtest.h>

#include <string>

#include "config/xml_meta.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "tests/config/parameters_fixture.h"

namespace {

class XmlMetaTest : public params_test::LoggedTest {
 protected:
  void SetUp() override {
    LoggedTest::SetUp();
    gf_setSystemClockForTest([] { return std::int64_t{1796475600}; });  // 5 Dec 2026 13:00Z
  }
  void TearDown() override {
    gf_setSystemClockForTest({});
    LoggedTest::TearDown();
  }
  pugi::xml_document parse(const std::string& xml) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str())) << xml;
    return document;
  }
  static std::string header(const std::string& infos) { return "<root><meta>" + infos + "</meta></root>"; }
  static std::string info(const std::string& name, const std::string& value) {
    return "<info name=\"" + name + "\" value=\"" + value + "\"/>";
  }
};

}  // namespace

TEST_F(XmlMetaTest, HeaderForMsfs2024ReadsBack) {
  pugi::xml_document document;
  XmlMeta meta;
  meta.version = "16.8.2";
  meta.sim = 2;
  ASSERT_TRUE(gf_writeXmlMeta(document, meta));
  const auto read = gf_readXmlMeta(document, false);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->version, "16.8.2");
  EXPECT_EQ(read->sim, 2u);
  EXPECT_EQ(read->author, "JORV");
  EXPECT_EQ(read->date, "5 Dec 2026");
  // Entries in their order, name before value.
  std::string names;
  for (pugi::xml_node entry : document.child("root").child("meta").children("info")) {
    names += std::string(entry.first_attribute().name()) + "=" + entry.attribute("name").value() + " ";
  }
  EXPECT_EQ(names, "name=author name=version name=date name=copyright name=sim ");
}

TEST_F(XmlMetaTest, RewritingLeavesOneHeaderAtTheEnd) {
  pugi::xml_document document = parse("<root><meta/><data/><meta/><more/></root>");
  XmlMeta meta;
  meta.sim = 1;
  ASSERT_TRUE(gf_writeXmlMeta(document, meta));
  pugi::xml_node root = document.child("root");
  EXPECT_EQ(std::distance(root.children("meta").begin(), root.children("meta").end()), 1);
  EXPECT_STREQ(root.last_child().name(), "meta");
}

TEST_F(XmlMetaTest, ChecksOfTheReader) {
  struct Case { const char* what; std::string xml; bool accepted; const char* warning; };  // warning nullptr: none
  const std::string copyright = info("copyright", "(c)");
  const Case cases[] = {
      {"no copyright entry", header(info("author", "JORV") + info("sim", "2")), false, nullptr},
      {"empty copyright", header(info("copyright", "") + info("sim", "2")), false, "no copyright info in the file?"},
      {"sim 4 alone", header(copyright + info("sim", "4")), false, "unsupported sim info in the file"},
      {"sim 4 with MSFS 2024", header(copyright + info("sim", "4") + info("MSFS", "2024")), true, nullptr},
      {"sim not a number", header(copyright + info("sim", "two")), false, "invalid sim info in the file"},
      {"no simulator named", header(copyright), false, nullptr},
      {"P3D text", header(copyright + info("P3D", "v5")), true, nullptr},
      {"meta at the top", "<meta>" + copyright + info("sim", "3") + "</meta>", true, nullptr},
      {"no header", "<root><data/></root>", false, nullptr},
      {"first copyright counts", header(copyright + info("copyright", "") + info("sim", "1")), true, nullptr},
  };
  for (const Case& c : cases) {
    testing_support::TempDir logDir;
    testing_support::ScopedCurrentDir cwd(logDir.path());
    gf_openLog();
    const pugi::xml_document document = parse(c.xml);
    EXPECT_EQ(gf_readXmlMeta(document, false).has_value(), c.accepted) << c.what;
    gf_flushLog();
    const std::string text = testing_support::readFile(logDir / "Log.txt");
    if (c.warning) {
      EXPECT_NE(text.find(std::string("==> ") + c.warning), std::string::npos) << c.what;
      EXPECT_EQ(text.find("==> "), text.rfind("==> ")) << c.what << ": one warning only";
    } else {
      EXPECT_EQ(text.find("==> "), std::string::npos) << c.what;
    }
    gf_closeLog();
  }
  gf_openLog();
}
