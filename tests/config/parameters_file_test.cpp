#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/keys.h"
#include "config/parameters_file.h"
#include "config/program_folders.h"
#include "config/xml_helpers.h"
#include "tests/config/parameters_fixture.h"

namespace fs = std::filesystem;
using params_test::parametersIn;
using params_test::ParametersTest;
using params_test::storedNames;
using params_test::valueOf;
using testing_support::readFile;
using testing_support::writeFile;
using Parameters = std::vector<std::pair<std::string, std::string>>;

TEST_F(ParametersTest, FreshStartWritesEveryKeyAtItsDefaultInListOrder) {
  RANGE.value = 77;  // left over from an earlier run of the worker
  EXPECT_TRUE(gf_readParameters());
  const Parameters written = parametersIn(file());
  std::vector<std::string> names;
  for (const auto& [name, value] : written) names.push_back(name);
  EXPECT_EQ(names, storedNames());
  EXPECT_EQ(names.front(), "PSX_SERVER_HERE");
  EXPECT_EQ(names.back(), "MSFS_2024_INSTALL_PATH");
  EXPECT_EQ(valueOf(written, "PROGRAM_VERSION"), "16.8.2");
  EXPECT_EQ(valueOf(written, "RANGE"), "40");
  EXPECT_EQ(valueOf(written, "COLLAPSED"), "true");
  EXPECT_EQ(valueOf(written, "LAST_EPOCH_TIME:"), "0");
  EXPECT_EQ(valueOf(written, "SIM_CHOICE"), "MSFS 2024");
  EXPECT_EQ(valueOf(written, "MAX_FIT_FL"), "<missing>");  // never stored
  EXPECT_EQ(RANGE.value.load(), 40);  // memory follows the file
  EXPECT_FALSE(fs::exists(backup()));
  EXPECT_FALSE(fs::exists(file().string() + ".tmp"));
  const std::string text = log();
  EXPECT_NE(text.find(file().string() + " could not be opened, creating new with default values:"),
            std::string::npos);
  EXPECT_NE(text.find("RANGE=40\n"), std::string::npos);
  EXPECT_NE(text.find(std::string(34, '*') + " parameters " + std::string(34, '*')), std::string::npos);
  EXPECT_EQ(readFile(file()).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
}

TEST_F(ParametersTest, MissingKeyIsAppendedAndNumbersReadLeniently) {
  writeParameters({{"RANGE_GROUND", " +25 "}, {"RANGE_1", "999"}, {"RANGE_2", "12a"}, {"range", "60"},
                   {"COLLAPSED", " YES "}});
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(RANGE_GROUND.value.load(), 25);
  EXPECT_EQ(RANGE_1.value.load(), 100);  // clamped in memory
  EXPECT_EQ(RANGE_2.value.load(), 40);   // unreadable: the default
  EXPECT_EQ(RANGE.value.load(), 40);     // names compare case-sensitively
  EXPECT_TRUE(COLLAPSED.value.load());
  EXPECT_EQ(TCAS_FL.value.load(), 180);
  const Parameters after = parametersIn(file());
  EXPECT_EQ(after[0], (std::pair<std::string, std::string>{"RANGE_GROUND", " +25 "}));
  EXPECT_EQ(after[1].second, "999");  // the file keeps the stored text until the option is saved
  EXPECT_EQ(after[2].second, "40");   // an unreadable value is corrected in place, not appended again
  EXPECT_EQ(after.size(), storedNames().size() + 1);  // plus the stray "range"
  EXPECT_EQ(after.back().first, "MSFS_2024_INSTALL_PATH");
  // The backup holds what was there before.
  EXPECT_EQ(parametersIn(backup()).size(), 5u);
}

TEST_F(ParametersTest, DuplicateNamesLoadFirstSaveAllRemoveFirst) {
  writeParameters({{"RANGE", "30"}, {"RANGE", "50"}});
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(RANGE.value.load(), 30);
  RANGE.setAndSave(0);  // held to 2..100
  Parameters after = parametersIn(file());
  EXPECT_EQ(after[0].second, "2");
  EXPECT_EQ(after[1].second, "2");
  EXPECT_TRUE(gf_removeParameter(RANGE));
  after = parametersIn(file());
  EXPECT_EQ(after[0], (std::pair<std::string, std::string>{"RANGE", "2"}));
  EXPECT_NE(log().find("Parameter 'RANGE' removed"), std::string::npos);
  EXPECT_FALSE(gf_removeParameter(StringOption("NOT_THERE", "")));
  EXPECT_EQ(log().find("NOT_THERE"), std::string::npos);
}

// Without a file one parameter is written and no backup; after that the previous content is the one generation.
TEST_F(ParametersTest, SaveCreatesTheFileThenKeepsThePreviousContentAsTheOneGeneration) {
  gf_setParameterWriter(&gf_saveParameter);
  TCAS_FL.setAndSave(250);
  EXPECT_EQ(parametersIn(file()), (Parameters{{"TCAS_FL", "250"}}));
  EXPECT_FALSE(fs::exists(backup()));
  const std::string before = readFile(file());
  MSFS_INSTALL_PATH.setAndSave(fs::path("/sims/Flight Simulator/\xC3\xA9t\xC3\xA9"));
  EXPECT_EQ(readFile(backup()), before);
  EXPECT_EQ(valueOf(parametersIn(file()), "MSFS_INSTALL_PATH"), "/sims/Flight Simulator/\xC3\xA9t\xC3\xA9");
  EXPECT_FALSE(fs::exists(file().string() + ".tmp"));
}

// One save must never wipe the settings: a file that is there but cannot be parsed (or read)
// is left alone and nothing is written.
TEST_F(ParametersTest, SaveOverAnUnreadableFileWritesNothing) {
  const std::string broken = "<root><parameters><parameter name=\"RANGE\" value=\"40\"/>";
  writeFile(file(), broken);
  gf_setParameterWriter(&gf_saveParameter);
  TCAS_FL.setAndSave(250);
  EXPECT_EQ(readFile(file()), broken);
  EXPECT_FALSE(fs::exists(backup()));
  const std::string text = log();
  EXPECT_NE(text.find(" could not be loaded: "), std::string::npos);
  EXPECT_NE(text.find("saving '" + file().string() + "' failed"), std::string::npos);

  fs::remove(file());
  fs::create_directory(file());  // there, but not a file we can read
  TCAS_FL.setAndSave(260);
  EXPECT_TRUE(fs::is_directory(file()));
}

TEST_F(ParametersTest, CorruptFileIsKeptAsideAndTheKeptGenerationRestored) {
  writeParameters({{"RANGE", "60"}, {"TCAS_FL", "250"}});
  fs::copy_file(file(), backup());
  const std::string goodBackup = readFile(backup());
  writeFile(file(), "<root><parameters>half a fi");
  EXPECT_FALSE(gf_readParameters());  // a file was read: the rules and migration still run
  EXPECT_EQ(RANGE.value.load(), 60);
  EXPECT_EQ(TCAS_FL.value.load(), 250);
  EXPECT_EQ(readFile(corrupt()), "<root><parameters>half a fi");
  EXPECT_EQ(readFile(backup()), goodBackup);  // never overwritten by the corrupt file
  EXPECT_EQ(valueOf(parametersIn(file()), "RANGE"), "60");
  EXPECT_NE(log().find("restoring from " + backup().string()), std::string::npos);
}

// A folder in the file's place and a document nested beyond reason are damage like a broken
// text: set aside, and the kept generation restored.
TEST_F(ParametersTest, AFolderOrADeepDocumentFallsBackToTheKeptGeneration) {
  const auto nested = [](int levels) {
    std::string text = "<root><parameters>";
    for (int i = 0; i < levels; ++i) text += "<a>";
    for (int i = 0; i < levels; ++i) text += "</a>";
    return text + "</parameters></root>";
  };
  struct Case {
    const char* name;
    std::optional<std::string> content;  // none: a folder where the file belongs
    std::string logged;
  };
  const Case cases[] = {
      {"folder", std::nullopt, "not a regular file, restoring from "},
      {"deep document", nested(100'000), "nested deeper than 32 levels, restoring from "},
      // Refused before it is parsed: built into memory it would take many times its size.
      {"huge document", nested(200'000), "larger than 1048576 bytes, restoring from "},
      {"large shallow document",
       "<root><parameters><parameter name=\"RANGE\" value=\"20\"/></parameters><!--" +
           std::string(kParametersFileMaxBytes, ' ') + "--></root>",
       "larger than 1048576 bytes, restoring from "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(corrupt());
    fs::remove_all(file());
    writeParameters({{"RANGE", "60"}, {"TCAS_FL", "250"}});
    fs::copy_file(file(), backup(), fs::copy_options::overwrite_existing);
    fs::remove(file());
    if (c.content)
      writeFile(file(), *c.content);
    else
      fs::create_directory(file());
    RANGE.value = 40;
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.value.load(), 60);
    EXPECT_EQ(valueOf(parametersIn(file()), "TCAS_FL"), "250");
    EXPECT_EQ(fs::is_directory(corrupt()), !c.content);
    if (c.content) { EXPECT_EQ(fs::file_size(corrupt()), c.content->size()) << "kept aside whole"; }
    EXPECT_LT(fs::file_size(file()), 100'000u);
    EXPECT_NE(log().find(c.logged), std::string::npos) << log();
  }
}

TEST_F(ParametersTest, CorruptOrSectionlessFileWithoutBackupGivesDefaults) {
  struct Case { const char* content; std::string logged; };
  const Case cases[] = {
      {"not xml at all", "creating new with default values:"},
      {"<root><other/></root>",
       "Section 'parameters' not found in '" + file().string() + "', creating new with default values:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    fs::remove(corrupt());
    writeFile(file(), c.content);
    RANGE.value = 60;
    EXPECT_TRUE(gf_readParameters());
    EXPECT_EQ(RANGE.value.load(), 40);
    EXPECT_EQ(readFile(corrupt()), c.content);
    EXPECT_FALSE(fs::exists(backup()));
    EXPECT_EQ(parametersIn(file()).size(), storedNames().size());
    EXPECT_NE(log().find(c.logged), std::string::npos);
  }
}

TEST_F(ParametersTest, ParametersWithoutRootAreReadAndRewrittenUnderRoot) {
  writeFile(file(), "<parameters><parameter name=\"RANGE\" value=\"33\"/></parameters>");
  EXPECT_FALSE(gf_readParameters());
  EXPECT_EQ(RANGE.value.load(), 33);
  const Parameters after = parametersIn(file());  // read under root
  EXPECT_EQ(after.front(), (std::pair<std::string, std::string>{"RANGE", "33"}));
}

// Every writer takes the parameters mutex: saves racing from several threads all land.
TEST_F(ParametersTest, ConcurrentSavesOfDifferentParametersAllSurvive) {
  EXPECT_TRUE(gf_readParameters());
  std::vector<std::thread> threads;
  threads.emplace_back([] { for (int i = 0; i < 10; ++i) RANGE_GROUND.setAndSave(11 + i); });
  threads.emplace_back([] { for (int i = 0; i < 10; ++i) TCAS_FL.setAndSave(200 + i); });
  threads.emplace_back([] { for (int i = 0; i < 10; ++i) DBASE_VERSION.setAndSave("1.0." + std::to_string(i)); });
  for (auto& thread : threads) thread.join();
  const Parameters after = parametersIn(file());
  EXPECT_EQ(after.size(), storedNames().size());
  EXPECT_EQ(valueOf(after, "RANGE_GROUND"), "20");
  EXPECT_EQ(valueOf(after, "TCAS_FL"), "209");
  EXPECT_EQ(valueOf(after, "DBASE_VERSION"), "1.0.9");
}

TEST(XmlHelpersTest, SaveXmlCorrectsTheDeclaration) {
  testing_support::TempDir dir;
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string("<?xml version=\"1.1\" encoding=\"latin1\"?><root><a/></root>",
                                   pugi::parse_default | pugi::parse_declaration));
  ASSERT_TRUE(gf_saveXml(document, dir / "x.xml"));
  EXPECT_EQ(readFile(dir / "x.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <a />\n</root>\n");
  EXPECT_FALSE(gf_saveXml(document, dir / "missing-folder" / "x.xml"));
  EXPECT_EQ(gf_versionString(16, 8, 2), "16.8.2");
}

TEST(XmlHelpersTest, DepthIsCountedWithoutRecursionAndTheLimitHolds) {
  const auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a><b/>";
    for (int i = 0; i < depth; ++i) text += "</a>";
    return text;
  };
  struct Case {
    int depth;
    bool refused;
  };
  // <b/> sits one level below the deepest <a>.
  for (const Case c : {Case{31, false}, Case{32, true}, Case{200'000, true}}) {
    pugi::xml_document document;
    const std::string text = nested(c.depth);
    const pugi::xml_parse_result parsed = document.load_buffer(text.data(), text.size());
    ASSERT_TRUE(parsed) << c.depth;
    EXPECT_EQ(gf_isXmlTooDeep(document), c.refused) << c.depth;
    EXPECT_EQ(gf_xmlLoadProblem(parsed, document).empty(), !c.refused) << c.depth;
  }
  pugi::xml_document broken;
  EXPECT_EQ(gf_xmlLoadProblem(broken.load_string("<a>"), broken), "Start-end tags mismatch");
}
