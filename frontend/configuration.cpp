#include "frontend/configuration.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "book/book.h"
#include "egdb/egdb.h"
#include "frontend/numbers.h"
#include "search/search.h"

Configuration configuration;

namespace {

// Lines are read in pieces of at most 253 characters; one longer than 246 characters with
// its newline is not a setting.
constexpr int ReadLimit = 254;
constexpr size_t LongestLine = 246;

void ApplyHashSize(const char* value) {
  configuration.hashSizeGiven = true;
  configuration.hashBytes = ReadSize(value);
  AllocateHashMemory(configuration.hashBytes);
}

// The old book goes before the new one is read. A book that fails to load stays unused and
// unannounced: the engine plays without one.
void ApplyBook(const char* value) {
  configuration.bookFile = value;
  engineBook = Book{};
  engineBook = LoadBook(value);
}

// The tables of the new paths replace those registered before; where none is found the
// engine plays without (the state's error code says so, nothing is announced).
void ApplyTablebasePaths(const char* value) {
  configuration.tablebasePaths = value;
  TbFreeState(engineTablebases);
  TbInit(engineTablebases, value, size_t(configuration.tablebaseCacheBytes));
  configuration.tablebasesCreated = true;
}

// Before "EGTBPath" the size waits for it; after, the cache is replaced at once.
void ApplyTablebaseCache(const char* value) {
  configuration.tablebaseCacheBytes = ReadSize(value);
  if (configuration.tablebasesCreated)
    TbSetCacheSize(engineTablebases, size_t(configuration.tablebaseCacheBytes));
}

void ApplyLearn(const char* value) { configuration.learningEnabled = ReadSize(value) != 0; }

struct ConfigurationKey {
  const char* name;
  void (*apply)(const char* value);
};
constexpr ConfigurationKey ConfigurationKeys[] = {
    {"HashSize", ApplyHashSize},       {"Book", ApplyBook},   {"EGTBPath", ApplyTablebasePaths},
    {"EGTBCacheSize", ApplyTablebaseCache}, {"Learn", ApplyLearn},
};

void WriteDefaultConfiguration(const char* fileName) {
  std::FILE* file = std::fopen(fileName, "wb");
  if (!file) return;
  std::fwrite(DefaultConfiguration.data(), 1, DefaultConfiguration.size(), file);
  std::fclose(file);
}

}  // namespace

void ApplyConfigurationLine(const char* line) {
  if (line[0] == ';') return;
  char text[ReadLimit];
  std::snprintf(text, sizeof text, "%s", line);
  // The key ends at a blank or "="; the value at a blank, a newline or a double quote, so a
  // quoted value loses its quotes. A carriage return ends both, for files edited elsewhere.
  char* rest = nullptr;
  const char* key = strtok_r(text, " =\r", &rest);
  const char* value = key ? strtok_r(nullptr, " \n\"\r", &rest) : nullptr;
  if (!key || !value) return;
  ApplySetting(key, value);
}

bool ApplySetting(std::string_view key, const char* value) {
  for (const auto& entry : ConfigurationKeys) {
    if (key == entry.name) {
      entry.apply(value);
      return true;
    }
  }
  return false;
}

bool ReadConfiguration(const char* fileName) {
  std::FILE* file = std::fopen(fileName, "r");
  if (!file) {
    WriteDefaultConfiguration(fileName);
    return false;
  }
  char line[ReadLimit];
  bool continuation = false;  // the rest of a physical line too long for one read
  while (std::fgets(line, ReadLimit, file)) {
    size_t length = std::strlen(line);
    bool complete = length > 0 && line[length - 1] == '\n';
    bool skip = continuation || length > LongestLine;
    continuation = !complete;
    if (!skip) ApplyConfigurationLine(line);
  }
  std::fclose(file);
  return true;
}

std::string LearnFileName(std::string_view version) {
  std::string name = "pos_";
  for (char c : version) {
    if (c != '.') name += c;
  }
  return name + ".lrn";
}
