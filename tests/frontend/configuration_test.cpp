// The settings file: its exact reading, the default file, and the start-up through the
// engine binary.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "engine_process.h"
#include "frontend/configuration.h"
#include "search/search.h"

namespace {

namespace fs = std::filesystem;

// The default file as the engine must write it, typed out here on its own: 14 + 16 + 23 +
// 18 + 8 = 79 bytes.
const std::string DefaultFileBytes =
    "HashSize=64Mb\nBook=skarne.boo\nEGTBPath=c:\\egtb;c:\\tb\nEGTBCacheSize=1Mb\nLearn=1\n";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

fs::path MakeScratch() {
  std::string pattern = (fs::temp_directory_path() / "skarne-config-XXXXXX").string();
  EXPECT_NE(mkdtemp(pattern.data()), nullptr);
  return pattern;
}

TEST(ReadSize, DigitsThenOneUnitLetter) {
  struct Case {
    const char* value;
    int64_t bytes;
  };
  const Case cases[] = {
      {"512K", 524288},  // 512 * 1024
      {"2G", 2},         // no unit for gigabytes: two bytes
      {"64Mb", 67108864},
      {"1Mb", 1048576},
      {"16384", 16384},
      {"=", 0},
      {"abc", 0},
      {"", 0},
      {"-5M", 0},
      {"7k", 7},  // units are capital letters
      {"3 M", 3},
      {"99999999999999999999999M", INT64_MAX},
      {"99999999999999999K", INT64_MAX},  // 10^17 KiB is beyond 63 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ReadSize(c.value), c.bytes);
  }
}

TEST(LearnFileName, VersionWithoutPoints) { EXPECT_EQ(LearnFileName(EngineVersion), "pos_152.lrn"); }

// Every seam call in order, e.g. "tb c:\tb 4194304".
std::vector<std::string> calls;

class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitTables();
    directory_ = MakeScratch();
    configuration = Configuration{};
    calls.clear();
    configurationSeams.loadBook = [](const std::string& name) { calls.push_back("book " + name); };
    configurationSeams.freeBook = [] { calls.push_back("free book"); };
    configurationSeams.createTablebases = [](const std::string& paths, int64_t cache) {
      calls.push_back("tb " + paths + " " + std::to_string(cache));
    };
    configurationSeams.setTablebaseCache = [](int64_t cache) {
      calls.push_back("cache " + std::to_string(cache));
    };
    configurationSeams.freeTablebases = [] { calls.push_back("free tb"); };
  }
  void TearDown() override {
    configurationSeams = ConfigurationSeams{};
    configuration = Configuration{};
    FreeHashMemory();
    fs::remove_all(directory_);
  }
  // Writes the text as the settings file and reads it.
  bool Read(const std::string& text) {
    std::string path = (directory_ / "skarne.ini").string();
    std::ofstream(path, std::ios::binary) << text;
    return ReadConfiguration(path.c_str());
  }

  fs::path directory_;
};

TEST_F(ConfigurationTest, HashSizeSeparatorsAndComments) {
  struct Case {
    const char* text;
    bool given;
    int64_t bytes;
  };
  const Case cases[] = {
      {"HashSize=512K\n", true, 524288},
      {"HashSize=2G\n", true, 2},
      {"HashSize 1Mb\n", true, 1048576},
      {"HashSize=1Mb", true, 1048576},       // last line without its newline
      {"HashSize = 1Mb\n", true, 0},         // the value is "="
      {"HashSize=\"2M\"\n", true, 2097152},  // quotes are dropped
      {";HashSize=1M\n", false, 0},
      {"  HashSize=1M\n", true, 1048576},
      {"hashsize=1M\n", false, 0},  // keys are case-sensitive
      {"HashSize\n", false, 0},     // no value
      {"HashSize=1M\r\n", true, 1048576},
      {"HashSize=1M\nHashSize=512K\n", true, 524288},  // the last one counts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    configuration = Configuration{};
    FreeHashMemory();
    ASSERT_TRUE(Read(c.text));
    EXPECT_EQ(configuration.hashSizeGiven, c.given);
    EXPECT_EQ(configuration.hashBytes, c.bytes);
    // Any given size builds a table, raised to the smallest budget when below it.
    EXPECT_EQ(transpositionTable.mainEntries != nullptr, c.given);
  }
}

TEST_F(ConfigurationTest, LearnSwitch) {
  struct Case {
    const char* text;
    bool enabled;
  };
  const Case cases[] = {{"Learn=0\n", false}, {"Learn=abc\n", false}, {"Learn=2\n", true},
                        {"Learn=1\n", true},  {"Learn 0\n", false},   {"", true},
                        {"Learn=0\nLearn=1\n", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    configuration = Configuration{};
    ASSERT_TRUE(Read(c.text));
    EXPECT_EQ(configuration.learningEnabled, c.enabled);
  }
}

TEST_F(ConfigurationTest, TablebaseCacheBeforeAndAfterThePath) {
  ASSERT_TRUE(Read("EGTBCacheSize=4M\nEGTBPath=/tb\n"));
  EXPECT_EQ(calls, std::vector<std::string>{"tb /tb 4194304"});

  configuration = Configuration{};
  calls.clear();
  ASSERT_TRUE(Read("EGTBPath=/tb\nEGTBCacheSize=4M\n"));
  EXPECT_EQ(calls, (std::vector<std::string>{"tb /tb 16384", "cache 4194304"}));
  EXPECT_EQ(configuration.tablebaseCacheBytes, 4194304);
}

TEST_F(ConfigurationTest, RepeatedKeysTakeEffectAgainInFileOrder) {
  ASSERT_TRUE(Read("Book=first.boo\nEGTBPath=/a;/b\nBook=second.boo\nEGTBPath=/c\nUnknown=1\n"));
  EXPECT_EQ(calls, (std::vector<std::string>{"book first.boo", "tb /a;/b 16384", "book second.boo",
                                             "free tb", "tb /c 16384"}));
  EXPECT_EQ(configuration.bookFile, "second.boo");
  EXPECT_EQ(configuration.tablebasePaths, "/c");
}

TEST_F(ConfigurationTest, QuotedValuesEndAtTheFirstBlank) {
  ASSERT_TRUE(Read("Book=\"my book.boo\"\n"));
  EXPECT_EQ(configuration.bookFile, "my");
}

TEST_F(ConfigurationTest, LinesLongerThan246CharactersAreSkipped) {
  // "Learn=0" (7) + blanks + newline: 246 characters are a setting, 247 are not.
  ASSERT_TRUE(Read("Learn=0" + std::string(238, ' ') + "\n"));
  EXPECT_FALSE(configuration.learningEnabled);
  configuration = Configuration{};
  ASSERT_TRUE(Read("Learn=0" + std::string(239, ' ') + "\n"));
  EXPECT_TRUE(configuration.learningEnabled);
  // A line beyond one read: its tail is part of the same long line, not a setting.
  configuration = Configuration{};
  ASSERT_TRUE(Read("Book=a" + std::string(300, ' ') + "Learn=0\nBook=b\n"));
  EXPECT_TRUE(configuration.learningEnabled);
  EXPECT_EQ(calls, std::vector<std::string>{"book b"});
}

TEST_F(ConfigurationTest, MissingFileWritesTheDefaultsWhichReadBack) {
  std::string path = (directory_ / "skarne.ini").string();
  ASSERT_FALSE(ReadConfiguration(path.c_str()));
  std::string written = ReadFile(path);
  EXPECT_EQ(written.size(), 79u);
  EXPECT_EQ(written, DefaultFileBytes);
  EXPECT_TRUE(calls.empty());  // nothing is applied from a file that was not there

  ASSERT_TRUE(ReadConfiguration(path.c_str()));
  EXPECT_EQ(configuration.hashBytes, 64 << 20);
  EXPECT_EQ(configuration.bookFile, "skarne.boo");
  EXPECT_EQ(configuration.tablebasePaths, "c:\\egtb;c:\\tb");
  EXPECT_EQ(configuration.tablebaseCacheBytes, 1 << 20);
  EXPECT_TRUE(configuration.learningEnabled);
  EXPECT_EQ(calls, (std::vector<std::string>{"book skarne.boo", "tb c:\\egtb;c:\\tb 16384",
                                             "cache 1048576"}));
}

// ---- Through the binary.

TEST(StartUp, MissingSettingsFileEndsWithFailureAfterWritingIt) {
  fs::path directory = MakeScratch();
  {
    EngineProcess engine(directory.c_str());
    engine.Send("xboard");
    engine.Send("protover 2");
    ASSERT_TRUE(engine.ReadLine().has_value());  // the feature line comes first
    EXPECT_EQ(engine.ReadLine(1000), std::nullopt);  // and nothing after it
    int status = engine.WaitExit();
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1);
  }
  EXPECT_EQ(ReadFile(directory / "skarne.ini"), DefaultFileBytes);
  fs::remove_all(directory);
}

TEST(StartUp, SecondProtoverDoesNothing) {
  EngineProcess engine;
  engine.Send("xboard");
  engine.Send("protover 2");
  ASSERT_TRUE(engine.ReadUntil("feature done=1"));
  // Without its settings file a second start-up would end the process.
  fs::remove(fs::path(engine.ScratchDirectory()) / "skarne.ini");
  engine.Send("protover 2");
  engine.Send("ping 5");
  EXPECT_EQ(engine.ReadLine(), "pong 5");
  EXPECT_FALSE(fs::exists(fs::path(engine.ScratchDirectory()) / "skarne.ini"));
  engine.Send("quit");
  EXPECT_EQ(engine.WaitExit(), 0);
}

TEST(StartUp, WithoutHashSizeTheEnginePlays) {
  fs::path directory = MakeScratch();
  std::ofstream(directory / "skarne.ini") << "Learn=0\n";
  {
    EngineProcess engine(directory.c_str());
    engine.Send("xboard");
    engine.Send("protover 2");
    ASSERT_TRUE(engine.ReadUntil("feature done=1"));
    engine.Send("new");
    engine.Send("sd 3");
    engine.Send("go");
    EXPECT_TRUE(engine.ReadsMove());
    engine.Send("quit");
    EXPECT_EQ(engine.WaitExit(), 0);
  }
  fs::remove_all(directory);
}

}  // namespace
