// Polyglot books: 16-byte entries sorted by key, big-endian
//   key u64 | move u16 | weight u16 | learn u32
// move bits: 0-2 to file, 3-5 to rank, 6-8 from file, 9-11 from rank, 12-14 promotion
// (0 none, 1 knight .. 4 queen). Castling is stored as the king taking its own rook.

#include <algorithm>
#include <unordered_set>

#include "board/board.h"
#include "book/book.h"
#include "notation/fen.h"
#include "tools/book/book_tool.h"

extern const uint64_t PolyglotRandom[781];

namespace {

constexpr int CastleKeys = 768;  // white short, white long, black short, black long
constexpr int EnPassantKeys = 772;
constexpr int WhiteToMoveKey = 780;
constexpr size_t EntrySize = 16;

// Kind order of the key: pawn, knight, bishop, rook, queen, king, black before white.
constexpr int KeyKindByKind[7] = {0, 5, 0, 1, 2, 3, 4};

uint64_t ReadBigEndian(const char* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | static_cast<uint8_t>(bytes[i]);
  return value;
}

}  // namespace

uint64_t PolyglotKey(const Position& pos) {
  uint64_t key = 0;
  for (int square = 0; square < 64; ++square) {
    const int code = pos.board[square];
    if (code == Empty) continue;
    const int kind = 2 * KeyKindByKind[KindOf(code)] + (IsWhiteCode(code) ? 1 : 0);
    key ^= PolyglotRandom[64 * kind + square];
  }
  if (pos.castling & CastleWhiteKing) key ^= PolyglotRandom[CastleKeys + 0];
  if (pos.castling & CastleWhiteQueen) key ^= PolyglotRandom[CastleKeys + 1];
  if (pos.castling & CastleBlackKing) key ^= PolyglotRandom[CastleKeys + 2];
  if (pos.castling & CastleBlackQueen) key ^= PolyglotRandom[CastleKeys + 3];
  // The en-passant term counts only when a pawn of the side to move could take.
  if (pos.epFile != NoEnPassant) {
    const bool white = pos.sideToMove == White;
    const int rank = white ? 4 : 3;
    const int8_t pawn = white ? WhitePawn : BlackPawn;
    for (int file = pos.epFile - 1; file <= pos.epFile + 1; file += 2) {
      if (file < 0 || file > 7 || pos.board[MakeSquare(file, rank)] != pawn) continue;
      key ^= PolyglotRandom[EnPassantKeys + pos.epFile];
      break;
    }
  }
  if (pos.sideToMove == White) key ^= PolyglotRandom[WhiteToMoveKey];
  return key;
}

bool ReadPolyglotEntries(std::string_view bytes, std::vector<PolyglotEntry>& entries, std::string& error) {
  if (bytes.empty()) {
    error = "not a polyglot book: the file is empty";
    return false;
  }
  if (bytes.size() % EntrySize != 0) {
    error = "not a polyglot book: its size, " + std::to_string(bytes.size()) +
            " bytes, is not a multiple of 16";
    return false;
  }
  entries.clear();
  entries.reserve(bytes.size() / EntrySize);
  for (size_t offset = 0; offset < bytes.size(); offset += EntrySize) {
    const char* raw = bytes.data() + offset;
    const PolyglotEntry entry{ReadBigEndian(raw, 8), static_cast<uint16_t>(ReadBigEndian(raw + 8, 2)),
                              static_cast<uint16_t>(ReadBigEndian(raw + 10, 2))};
    // The lookup is a binary search, so an unsorted file is not a book we can read.
    if (!entries.empty() && entry.key < entries.back().key) {
      error = "not a polyglot book: entry " + std::to_string(entries.size()) +
              " has a smaller key than the one before (entries must be sorted by key)";
      return false;
    }
    entries.push_back(entry);
  }
  return true;
}

bool PolyglotMove(Position& pos, uint16_t code, Move& move) {
  const int to = MakeSquare(code & 7, (code >> 3) & 7);
  const int from = MakeSquare((code >> 6) & 7, (code >> 9) & 7);
  const int promotion = (code >> 12) & 7;
  if (promotion > 4) return false;
  // The king taking its own rook is castling to that side.
  int target = to;
  const int mover = pos.board[from];
  if (KindOf(mover) == WhiteKing && pos.board[to] == mover + (WhiteRook - WhiteKing) &&
      (from == E1 || from == E8) && RankOf(to) == RankOf(from))
    target = to > from ? from + 2 : from - 2;
  pos.cacheFlags = 0;
  GenerateLegalMoves(pos);
  Position trial;
  for (int i = 1; i <= pos.moveCount; ++i) {
    const Move& candidate = pos.moveList[i];
    if (candidate.from != from || candidate.to != target) continue;
    if (promotion ? candidate.flags != FlagPromoteKnight + promotion - 1 : IsPromotion(candidate)) continue;
    move = candidate;
    return MoveIsLegal(pos, move, trial);
  }
  return false;
}

int TallyPolyglot(const std::vector<PolyglotEntry>& entries, int maxPly, Tallies& tallies) {
  // Level by level, so that a position is expanded once, at its shallowest ply: the book
  // holds one move list per position however it is reached.
  std::vector<PlayState> level(1), nextLevel;
  Position pos{}, child{};
  SetStartPosition(pos);
  level[0] = pos;
  std::unordered_set<uint64_t> seen{pos.hashKey};
  int unplayable = 0;
  for (int ply = 0; ply < maxPly && !level.empty(); ++ply) {
    nextLevel.clear();
    for (const PlayState& state : level) {
      static_cast<PlayState&>(pos) = state;
      const uint64_t key = PolyglotKey(pos);
      auto first = std::lower_bound(entries.begin(), entries.end(), key,
                                    [](const PolyglotEntry& e, uint64_t k) { return e.key < k; });
      for (auto entry = first; entry != entries.end() && entry->key == key; ++entry) {
        Move move;
        if (!PolyglotMove(pos, entry->move, move)) {
          ++unplayable;
          continue;
        }
        const int index = MoveIndexOf(pos, move);
        CopyPlayState(child, pos);
        MakeMove(child, move);
        TallyMove(tallies, pos.hashKey, index, child.hashKey, entry->weight, entry->weight);
        if (seen.insert(child.hashKey).second) nextLevel.push_back(child);
      }
    }
    level.swap(nextLevel);
  }
  return unplayable;
}
