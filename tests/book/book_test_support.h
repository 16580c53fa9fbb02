#pragma once
// Book files for the tests, written independently of the loader.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "book/book.h"
#include "notation/notation.h"

// The fields of a book file; a count left empty is the number of values given.
struct BookFields {
  uint32_t signature = 0xb00ee151, maxPly = 40, minGames = 0;
  std::vector<uint32_t> weights;
  uint32_t weightWidth = 16;
  std::optional<uint32_t> weightCount;
  std::vector<uint32_t> codes;
  uint32_t codeWidth = 8;
  std::optional<uint32_t> codeCount;
  size_t cut = std::string::npos;  // bytes kept
  size_t padding = 0;              // zero bytes after the codes

  // Each field from its least significant bit, bytes filled from bit 0.
  std::string Bytes() const {
    std::string bytes;
    uint64_t used = 0;
    auto put = [&](uint64_t value, uint32_t bits) {
      for (uint32_t b = 0; b < bits; ++b, ++used) {
        if (used % 8 == 0) bytes.push_back('\0');
        if ((value >> b) & 1) bytes.back() = char(bytes.back() | 1 << (used % 8));
      }
    };
    put(signature, 32), put(maxPly, 8), put(minGames, 8);
    put(weightCount.value_or(uint32_t(weights.size())), 32), put(weightWidth, 8);
    for (uint32_t w : weights) put(w, weightWidth);
    put(codeCount.value_or(uint32_t(codes.size())), 32), put(codeWidth, 8);
    for (uint32_t c : codes) put(c, codeWidth);
    return (bytes + std::string(padding, '\0')).substr(0, cut);
  }
};

// Tree codes of lines (moves in coordinate text) that share only the root, given in rising
// order of their first moves: each move is found by its text in GenerateLegalMoves' list.
inline std::vector<uint32_t> LineCodes(const std::vector<std::string>& lines) {
  std::vector<uint32_t> codes;
  int previousFirst = 0;
  for (const std::string& line : lines) {
    Position position;
    SetStartPosition(position);
    std::istringstream moves(line);
    int ply = 0;
    for (std::string text; moves >> text; ++ply) {
      GenerateLegalMoves(position);
      int index = 1;
      while (index <= position.moveCount && MoveText(position.moveList[index]) != text) ++index;
      EXPECT_LE(index, position.moveCount) << text;
      codes.push_back(uint32_t(ply == 0 ? index - previousFirst : index));
      if (ply == 0) previousFirst = index;
      const Move move = position.moveList[index];
      position.cacheFlags = 0;
      MakeMove(position, move);
    }
    codes.insert(codes.end(), size_t(ply), 0);
  }
  return codes;
}

inline BookFields LineBook(const std::vector<std::string>& lines, uint32_t maxPly = 40) {
  BookFields fields;
  fields.maxPly = maxPly;
  fields.codes = LineCodes(lines);
  for (uint32_t c : fields.codes)
    if (c != 0) fields.weights.push_back(1);
  return fields;
}

// A directory of its own, removed with everything in it.
struct ScratchDirectory {
  std::string path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "skarne-book-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
  }();
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

inline Book LoadBytes(const std::string& bytes) {
  static const ScratchDirectory directory;
  const std::string path = directory.path + "/test.boo";
  std::ofstream(path, std::ios::binary) << bytes;
  Book book = LoadBook(path.c_str());
  std::filesystem::remove(path);  // rewriting a file in place waits for the disk
  return book;
}
