// The settings file: how its lines are read, and the default file written where it is
// missing, in process and through the engine binary.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "egdb/egdb.h"
#include "engine_process.h"
#include "frontend/configuration.h"
#include "search/search.h"

namespace {

// The default file typed out on its own: 14 + 16 + 23 + 18 + 8 = 79 bytes.
const std::string DefaultFile =
    "HashSize=64Mb\nBook=skarne.boo\nEGTBPath=c:\\egtb;c:\\tb\nEGTBCacheSize=1Mb\nLearn=1\n";

// What the settings changed in a fresh configuration, e.g. "hash=1048576 nolearn".
std::string Changes() {
  const Configuration& c = configuration;
  std::string said = c.hashSizeGiven ? " hash=" + std::to_string(c.hashBytes) : "";
  if (!c.bookFile.empty()) said += " book=" + c.bookFile;
  if (!c.tablebasePaths.empty()) said += " tb=" + c.tablebasePaths;
  if (c.tablebaseCacheBytes != Configuration{}.tablebaseCacheBytes) said += " cache=" + std::to_string(c.tablebaseCacheBytes);
  if (c.tablebasesCreated) said += " tbcache=" + std::to_string(engineTablebases.cacheBytes);
  if (!c.learningEnabled) said += " nolearn";
  return said.empty() ? said : said.substr(1);
}

class Settings : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeHashMemory();
    TbFreeState(engineTablebases);
  }
  // Reads the settings file holding `text` (none when `text` is null) into a fresh record.
  bool Read(const char* text) {
    configuration = Configuration{};
    if (text) std::ofstream(path, std::ios::binary) << text;
    return ReadConfiguration(path.c_str());
  }
  const ScratchDirectory scratch;
  const std::string directory = scratch.path, path = directory + "/skarne.ini";
};

TEST_F(Settings, KeysValuesAndLines) {
  const std::string blanks(300, ' ');
  const struct { std::string text, changes; } cases[] = {
      {"HashSize=512K\n", "hash=524288"},  // K: times 1024, M: times 1048576
      {"HashSize=2G\n", "hash=2"}, {"HashSize=7k\n", "hash=7"}, {"HashSize=-5M\n", "hash=0"},  // no other unit
      {"HashSize 1M", "hash=1048576"},  // a blank separates too; the last line needs no newline
      {"HashSize = 1M\n", "hash=0"},    // the value is "="
      {"  HashSize=\"2M\"\r\n", "hash=2097152"},
      {";HashSize=1M\nhashsize=1M\nHashSize\n", ""},  // a comment, the wrong case, no value
      {"HashSize=1M\nHashSize=512K\n", "hash=524288"},  // the last one counts
      {"Learn=0\n", "nolearn"}, {"Learn abc\n", "nolearn"}, {"Learn=2\nUnknown=0\n", ""},
      {"Book=\"my book.boo\"\n", "book=my"},  // a value ends at the first blank
      // The tables' cache: sized by the setting before "EGTBPath", replaced by one after it;
      // a size that cannot be allocated leaves them without.
      {"EGTBCacheSize=4M\nEGTBPath=/a;/b\n", "tb=/a;/b cache=4194304 tbcache=4194304"},
      {"EGTBPath=/a\nEGTBCacheSize=2M\n", "tb=/a cache=2097152 tbcache=2097152"},
      {"EGTBPath=/a\nEGTBCacheSize=99999999999999999K\nEGTBPath=/c\n",
       "tb=/c cache=9223372036854775807 tbcache=0"},
      // 246 characters with the newline are a setting, 247 are not, nor is the rest of a
      // line too long for one read.
      {"Learn=0" + blanks.substr(0, 238) + "\n", "nolearn"}, {"Learn=0" + blanks.substr(0, 239) + "\n", ""},
      {"Book=a" + blanks + "Learn=0\nBook=b\n", "book=b"},
      {DefaultFile, "hash=67108864 book=skarne.boo tb=c:\\egtb;c:\\tb cache=1048576 tbcache=1048576"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(Read(c.text.c_str()));
    EXPECT_EQ(Changes(), c.changes);
  }
}

// The engine writes the default file where it finds none, and ends; a file without a hash
// size makes the start-up build the default table, and the engine plays.
TEST_F(Settings, MissingFileIsWrittenWithTheDefaults) {
  ASSERT_FALSE(Read(nullptr));
  EXPECT_EQ(Changes(), "");  // nothing is applied from a file that was not there
  std::filesystem::remove(path);
  {
    EngineProcess engine(directory);
    engine.Send("xboard\nprotover 2");
    EXPECT_EQ(engine.ReadLine().value_or("").rfind("feature ping=1 ", 0), 0u);
    EXPECT_EQ(engine.ReadLine(1000), std::nullopt);  // no "feature done=1"
    EXPECT_GT(engine.WaitExit(), 0);
  }
  EXPECT_EQ(ReadFileBytes(path), DefaultFile);
  std::ofstream(path) << "Learn=0\n";
  EngineProcess engine(directory);
  engine.Send("xboard\nprotover 2\nnew\nsd 3\ngo");
  EXPECT_TRUE(engine.ReadUntil("move "));
}

}  // namespace
