#pragma once
// The settings file "skarne.ini": hash memory, book, tablebases and the learning switch.

#include <cstdint>
#include <string>
#include <string_view>

// What the settings asked for; the "Book" key also loads the engine's book, "EGTBPath" sets
// up the endgame tables and "EGTBCacheSize" sizes their cache.
struct Configuration {
  bool hashSizeGiven = false;  // else the start-up builds the default table
  int64_t hashBytes = 0;       // as read; the hash budget raises it to its minimum
  std::string bookFile;
  std::string tablebasePaths;
  bool tablebasesCreated = false;
  int64_t tablebaseCacheBytes = DefaultTablebaseCacheBytes;
  bool learningEnabled = true;
  std::string learnFileName;

  static constexpr int64_t DefaultTablebaseCacheBytes = 16384;
};
extern Configuration configuration;

inline constexpr std::string_view EngineVersion = "1.52";
inline constexpr const char* ConfigurationFileName = "skarne.ini";
inline constexpr int64_t DefaultHashBytes = 64 * 1024 * 1024;
// Written when the settings file is missing; the process then ends with a failure status.
inline constexpr std::string_view DefaultConfiguration =
    "HashSize=64Mb\n"
    "Book=skarne.boo\n"
    "EGTBPath=c:\\egtb;c:\\tb\n"
    "EGTBCacheSize=1Mb\n"
    "Learn=1\n";

// Applies one line of the settings file (newline included, as read).
void ApplyConfigurationLine(const char* line);
// Applies one key with its value, whole (blanks included); false for an unknown key.
bool ApplySetting(std::string_view key, const char* value);

// Reads the file and applies its keys in order. When it cannot be opened the default file
// is written under that name and false is returned.
bool ReadConfiguration(const char* fileName = ConfigurationFileName);

// "pos_" + the version without its points + ".lrn".
std::string LearnFileName(std::string_view version);
