#include "messages/catalogue.h"

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <vector>

#include "messages/format.h"
#include "test_support.h"

namespace messages {
namespace {

using testing_support::LauncherTest;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Records(std::initializer_list<std::string> records) {
  std::string bytes;
  for (const std::string& r : records) bytes += r + '\0';
  return bytes;
}

TEST(MessageMapTest, FirstDefinitionWinsAndCaseMatters) {
  MessageMap map;
  EXPECT_TRUE(map.Add("S_A", "one"));
  EXPECT_FALSE(map.Add("S_A", "two"));
  EXPECT_TRUE(map.Add("s_a", "lower"));
  EXPECT_EQ(*map.Find("S_A"), "one");
  EXPECT_EQ(*map.Find("s_a"), "lower");
  EXPECT_EQ(map.Find("S_B"), nullptr);
}

TEST(MessageMapTest, KeysThatShareABucketKeepTheirOwnTexts) {
  // Keys with bytes above 0x7F and long keys that wrap the hash among them.
  std::vector<std::string> keys = {"\xe4", std::string(40, 'z'), "S_QTI"};
  for (int i = 0; i < 5000; ++i) keys.push_back("K" + std::to_string(i));
  MessageMap map;
  for (const std::string& key : keys) ASSERT_TRUE(map.Add(key, "first " + key));
  for (const std::string& key : keys) EXPECT_FALSE(map.Add(key, "second")) << key;
  for (const std::string& key : keys) {
    const std::string* text = map.Find(key);
    ASSERT_NE(text, nullptr) << key;
    EXPECT_EQ(*text, "first " + key);
  }
  map.Clear();
  EXPECT_EQ(map.Find("K1"), nullptr);
}

class CatalogueFileTest : public LauncherTest {
 protected:
  TempDir dir_;
};

TEST_F(CatalogueFileTest, RecordRules) {
  std::string longRecord = "S_LONG=" + std::string(1500 - 7, 'x');
  WriteFile(dir_ / "c.nls", Records({"S_A=a=b", "S_NL=line1\nline2", "S_A=again", "", "nokey",
                                     "\xef\xbb\xbfS_BOM=bom"}) +
                                longRecord + '\0' + "S_TAIL=dropped");
  MessageMap map;
  err_.clear();
  ASSERT_TRUE(LoadCatalogueFile(dir_ / "c.nls", map));
  EXPECT_EQ(*map.Find("S_A"), "a=b");
  EXPECT_EQ(*map.Find("S_NL"), "line1\nline2");
  EXPECT_EQ(map.Find("S_BOM"), nullptr);
  EXPECT_EQ(*map.Find("\xef\xbb\xbfS_BOM"), "bom");
  // 1023 bytes make one record; the rest starts the next, which has no "=".
  ASSERT_NE(map.Find("S_LONG"), nullptr);
  EXPECT_EQ(map.Find("S_LONG")->size(), 1023u - 7u);
  EXPECT_EQ(map.Find("S_TAIL"), nullptr);
  EXPECT_NE(err_.find("WARNING: Ignoring malformed message \"\" in catalogue!\n"), std::string::npos);
  EXPECT_NE(err_.find("WARNING: Ignoring malformed message \"nokey\" in catalogue!\n"), std::string::npos);
  EXPECT_NE(err_.find("WARNING: Ignoring malformed message \"" + std::string(1500 - 1023, 'x') + "\""),
            std::string::npos);
  EXPECT_FALSE(LoadCatalogueFile(dir_ / "missing.nls", map));
}

TEST_F(CatalogueFileTest, RecordsAcrossReadBlocksStayWhole) {
  // Records of every length from 1 to 1100 bytes put record ends, and record
  // limits, at every offset of the file's read blocks.
  std::vector<std::string> records;
  for (size_t n = 0; n < 1100; n += 7) records.push_back("S_K" + std::to_string(n) + "=" + std::string(n, 'v'));
  std::string file;
  for (const std::string& record : records) file += record + '\0';
  WriteFile(dir_ / "c.nls", file);
  MessageMap map;
  ASSERT_TRUE(LoadCatalogueFile(dir_ / "c.nls", map));
  for (size_t n = 0; n < 1100; n += 7) {
    const std::string key = "S_K" + std::to_string(n);
    const std::string* text = map.Find(key);
    ASSERT_NE(text, nullptr) << key;
    EXPECT_EQ(text->size(), std::min(n, kMaxRecordBytes - key.size() - 1)) << key;
  }
}

TEST_F(CatalogueFileTest, LocaleFilesOverrideBaseAndLogUsesBase) {
  WriteFile(dir_ / "cons.nls", Records({"S_X=base", "S_Y=base y"}));
  WriteFile(dir_ / "cons_de.nls", Records({"S_X=deutsch", "S_Z=nur de"}));
  WriteFile(dir_ / "cons_de_CH.nls", Records({"S_Z=schweiz"}));
  ASSERT_EQ(InitMessagesFrom(dir_.path(), "de_CH"), 0);
  EXPECT_EQ(*GetUserMessage("S_X"), "deutsch");
  EXPECT_EQ(*GetUserMessage("S_Y"), "base y");
  EXPECT_EQ(*GetUserMessage("S_Z"), "schweiz");
  EXPECT_EQ(*GetLogMessage("S_X"), "base");
  EXPECT_EQ(GetLogMessage("S_Z"), nullptr);
}

TEST_F(CatalogueFileTest, TheBaseCatalogueAloneServesBothTablesWithItsWarningsForEach) {
  WriteFile(dir_ / "cons.nls", Records({"S_X=base", "broken"}));
  err_.clear();
  ASSERT_EQ(InitMessagesFrom(dir_.path(), "de_CH"), 0);
  EXPECT_EQ(*GetUserMessage("S_X"), "base");
  EXPECT_EQ(*GetLogMessage("S_X"), "base");
  const std::string warning = "WARNING: Ignoring malformed message \"broken\" in catalogue!\n";
  EXPECT_EQ(err_, warning + warning);  // as when each table read the file
  FreeMessages();
  EXPECT_EQ(GetLogMessage("S_X"), nullptr);
}

TEST_F(CatalogueFileTest, OnlyALanguageFileIsEnoughAndNoneIsAnError) {
  TempDir only;
  WriteFile(only / "cons_fr.nls", Records({"S_X=français"}));
  ASSERT_EQ(InitMessagesFrom(only.path(), "fr_FR"), 0);
  EXPECT_EQ(*GetUserMessage("S_X"), "français");
  EXPECT_EQ(GetLogMessage("S_X"), nullptr);

  TempDir none;
  err_.clear();
  EXPECT_EQ(InitMessagesFrom(none.path(), "en_US"), 1);
  EXPECT_EQ(err_, "\nERROR: Could not read any NLS message catalogue!\n");
}

// The shipped catalogues define every key the launcher uses, with the same
// placeholders in every language.
TEST(ShippedCatalogueTest, EveryKeyWithMatchingPlaceholders) {
  const std::set<std::string> keys = {
      "S_ACTUAL", "S_ACTUAL_CPU", "S_ACTUAL_SWAP", "S_BOOTSTRAPMSG", "S_BOOTSTRAPONLYMSG",
      "S_CHECKING_FOR_CPU", "S_CHECKING_FOR_DISP_COL", "S_CHECKING_FOR_OS_VERSION",
      "S_CHECKING_FOR_SERVICE_PACK", "S_CHECKING_FOR_SWAP", "S_CHECKING_REQ_PREREQ",
      "S_CMDLINE_ARG_ELTS", "S_CONTINUE", "S_CONTINUE_NO", "S_CONTINUE_YES", "S_DEF_PARAMFILE",
      "S_ENTER_ENTER", "S_ERABS_PATH", "S_ERBOOTSTRAP", "S_ERBOOTSTRAP_RANGE", "S_ERGOSLST",
      "S_ERJRENFD", "S_ERJRE_MISSING", "S_ERPERDIR", "S_ERQELPARAMNFD", "S_ERQELPARAMNFD_LOC",
      "S_ERRORINVOKINGFROMCD", "S_ERR_INVALID_PREREQ_CONFIG_LOC", "S_ERR_PREREQ_CONFIG_LOC",
      "S_ERR_REG_ACCESS", "S_ERUSR_PARAMFILE_NOT_FOUND", "S_EXIT_CONTINUE", "S_EXIT_MSG",
      "S_FAILED_OPTIONAL", "S_FAILED_PATCHES_1", "S_FAILED_PRE_REQ_1", "S_FAILED_PRE_REQ_2",
      "S_FAILED_TO_OPEN_REGISTRY", "S_FAIL_CHECKING_FOR_SWAP", "S_HIGHER_THAN",
      "S_IGNORE_OPT_SYS_PREREQ", "S_IGNORE_PATCH_SYS_PREREQ", "S_IGNORE_REQ_SYS_PREREQ",
      "S_INVALID_JDK_HOME", "S_INVALID_JRE_HOME", "S_INVALID_SWAP_SPACE_REQ",
      "S_JRELOC_ERROR_NOCONSOLE_WIN", "S_JVMLOADMSG", "S_LDLIBPATH_VAR", "S_NO_PREQ_RUN",
      "S_NUMBER_OF_FILES_BOOTSTRAPPED", "S_PRE_REQREQ_PASSED", "S_QTI", "S_REGISTRY_KEY_TOO_LARGE",
      "S_SFAILED", "S_SFAILED_ON_NEWLINE", "S_SPASSED", "S_SPASSED_ON_NEWLINE",
      "S_SPECIFY_JDK_ONLY_LOCATION", "S_SPECIFY_JRE_LOCATION", "S_SPECIFY_JRE_ONLY_LOCATION",
      "S_SPECIFY_VALID_JDK_ONLY_LOCATION", "S_SPECIFY_VALID_JRE_LOCATION",
      "S_SPECIFY_VALID_JRE_ONLY_LOCATION", "S_STARTINSTALLERMSG", "S_TOTAL_ARGS",
      "S_UNZIP_COMMANDLINE", "S_UNZIP_FAILED", "S_USING_PARAMFILE", "S_WAITMSG"};
  ASSERT_EQ(keys.size(), 70u);
  // The placeholders each key's callers fill, in order.
  const std::map<std::string, std::string> placeholders = {
      {"S_ACTUAL", "s"}, {"S_ACTUAL_CPU", "d"}, {"S_ACTUAL_SWAP", "d"}, {"S_CHECKING_FOR_CPU", "s"},
      {"S_CHECKING_FOR_DISP_COL", "s"}, {"S_CHECKING_FOR_SWAP", "s"}, {"S_DEF_PARAMFILE", "s"},
      {"S_ERABS_PATH", "s"}, {"S_ERBOOTSTRAP", "sd"}, {"S_ERBOOTSTRAP_RANGE", "d"},
      {"S_ERGOSLST", "sd"}, {"S_ERJRENFD", "ss"}, {"S_ERPERDIR", "s"}, {"S_ERQELPARAMNFD_LOC", "s"},
      {"S_ERRORINVOKINGFROMCD", "s"}, {"S_ERR_INVALID_PREREQ_CONFIG_LOC", "s"},
      {"S_ERUSR_PARAMFILE_NOT_FOUND", "s"}, {"S_EXIT_MSG", "s"}, {"S_FAIL_CHECKING_FOR_SWAP", "ds"},
      {"S_JVMLOADMSG", "s"}, {"S_NUMBER_OF_FILES_BOOTSTRAPPED", "sd"}, {"S_STARTINSTALLERMSG", "s"},
      {"S_TOTAL_ARGS", "d"}, {"S_UNZIP_FAILED", "s"}, {"S_USING_PARAMFILE", "s"}};
  for (const char* file : {"cons.nls", "cons_de.nls"}) {
    MessageMap map;
    ASSERT_TRUE(LoadCatalogueFile(std::string(QEL_BINARY_DIR) + "/resource/" + file, map));
    for (const std::string& key : keys) {
      const std::string* text = map.Find(key);
      ASSERT_NE(text, nullptr) << file << " " << key;
      std::string found;
      std::regex conversion("%[-+ #0]*[0-9]*(?:\\.[0-9]+)?[a-zA-Z%]");
      for (auto it = std::sregex_iterator(text->begin(), text->end(), conversion);
           it != std::sregex_iterator(); ++it) {
        found += it->str().back();
      }
      auto want = placeholders.find(key);
      EXPECT_EQ(found, want == placeholders.end() ? "" : want->second) << file << " " << key;
    }
  }
}

}  // namespace
}  // namespace messages
