// Retrograde analysis of one table. Positions are numbered densely in the generator's own
// way (the pair of kings with the white king reduced by the board's symmetries, then 64
// squares per other man, 48 per pawn); the file numbering is applied only when the bytes are
// written. Depths are counted in
// plies: a position lost in d plies has even d (0: checkmated), a won one odd d.
//
// The solve runs by increasing depth. Every position starts with the number of distinct
// positions of this table its moves reach, and with what its captures and promotions into
// smaller tables already guarantee. A position lost at depth d makes all its predecessors
// won at d + 1; a position won at depth d takes one from each predecessor's count, and a
// predecessor whose count reaches zero and that has no way out to a draw or a win is lost.
// Memory is two bytes a position (its depth and its count) and nothing per depth: each depth
// is found again by a sweep over the depth bytes, and a win that a capture or promotion
// guarantees waits in the count byte, which such a position no longer needs.

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "egdb/tb_index.h"
#include "tools/tbgen/tbgen.h"

namespace tbgen {
namespace {

using Bitboard = uint64_t;

constexpr int FileOf(int s) { return s & 7; }
constexpr int RankOf(int s) { return s >> 3; }
constexpr int Transpose(int s) { return (FileOf(s) << 3) | RankOf(s); }
constexpr Bitboard Bit(int s) { return Bitboard{1} << s; }
constexpr int OffBoard = 64;

// Directions: north, east, north-east, north-west (increasing squares), then south, west,
// south-west, south-east (decreasing). Rooks use 0, 1, 4, 5; bishops 2, 3, 6, 7.
constexpr int DirFile[8] = {0, 1, 1, -1, 0, -1, -1, 1};
constexpr int DirRank[8] = {1, 0, 1, 1, -1, 0, -1, -1};
constexpr int RookDirs[4] = {0, 1, 4, 5};
constexpr int BishopDirs[4] = {2, 3, 6, 7};

struct Geometry {
  Bitboard king[64], knight[64], pawnAttacks[2][64], ray[8][64];

  Geometry() {
    for (int s = 0; s < 64; ++s) {
      king[s] = knight[s] = pawnAttacks[0][s] = pawnAttacks[1][s] = 0;
      for (int df = -2; df <= 2; ++df)
        for (int dr = -2; dr <= 2; ++dr) {
          const int f = FileOf(s) + df, r = RankOf(s) + dr;
          if (f < 0 || f > 7 || r < 0 || r > 7) continue;
          const int t = r * 8 + f;
          if (std::abs(df) <= 1 && std::abs(dr) <= 1 && t != s) king[s] |= Bit(t);
          if (std::abs(df * dr) == 2) knight[s] |= Bit(t);
          if (std::abs(df) == 1 && dr == 1) pawnAttacks[0][s] |= Bit(t);
          if (std::abs(df) == 1 && dr == -1) pawnAttacks[1][s] |= Bit(t);
        }
      for (int d = 0; d < 8; ++d) {
        ray[d][s] = 0;
        for (int f = FileOf(s) + DirFile[d], r = RankOf(s) + DirRank[d]; f >= 0 && f < 8 && r >= 0 && r < 8;
             f += DirFile[d], r += DirRank[d])
          ray[d][s] |= Bit(r * 8 + f);
      }
    }
  }

  Bitboard Ray(int d, int s, Bitboard occupied) const {
    Bitboard line = ray[d][s];
    if (const Bitboard blockers = line & occupied) {
      const int first = d < 4 ? std::countr_zero(blockers) : 63 - std::countl_zero(blockers);
      line ^= ray[d][first];
    }
    return line;
  }

  Bitboard Attacks(int kind, int colour, int s, Bitboard occupied) const {
    Bitboard set = 0;
    switch (kind) {
      case Pawn: return pawnAttacks[colour][s];
      case Knight: return knight[s];
      case King: return king[s];
      case Bishop:
        for (int d : BishopDirs) set |= Ray(d, s, occupied);
        return set;
      case Rook:
        for (int d : RookDirs) set |= Ray(d, s, occupied);
        return set;
      default:
        for (int d = 0; d < 8; ++d) set |= Ray(d, s, occupied);
        return set;
    }
  }
};

const Geometry geometry;

// The white king's squares after the symmetry reduction: the a1-d1-d4 triangle without
// pawns, files a-d with them.
constexpr int PawnlessKingSquares[10] = {0, 1, 2, 3, 9, 10, 11, 18, 19, 27};

struct Pos {
  int sq[MaxMen];
  int side;
  int epFile;  // file of the pawn that just made a double step and can be taken, or -1
};

// Depth bytes: 0 unknown (a draw at the end), plies + 1, or Illegal.
constexpr uint8_t Illegal = 255;
// The deepest storable result: a win in 126 moves (251 plies); a loss in at most 125.
constexpr int MaxPlies = 251;
// Counter bit: a way out to a draw or a win exists, so the position is never lost.
// Below it, a position that is never lost keeps the moves of the fastest win its captures
// and promotions give (0: none), to be counted won when the sweeps reach that depth.
constexpr uint8_t NeverLost = 0x80;
constexpr int MaxSuccessors = 128;
constexpr uint64_t NoNode = ~uint64_t{0};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "skarne-tbgen: %s\n", message.c_str());
  std::exit(1);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void ParallelFor(uint64_t count, int threads, const std::function<void(uint64_t, uint64_t, int)>& work) {
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t)
    pool.emplace_back(work, count * t / threads, count * (t + 1) / threads, t);
  work(0, count / threads, 0);
  for (auto& thread : pool) thread.join();
}

class Solver {
 public:
  Solver(int table, const TableSet& smaller, int threads)
      : m_(MaterialOf(table)), smaller_(smaller), threads_(std::max(1, threads)) {
    for (int i = 2; i < m_.count; ++i) {
      pawns_ |= m_.kind[i] == Pawn;
      for (int j = 2; j < m_.count; ++j)
        twoPawnColours_ |= m_.kind[i] == Pawn && m_.kind[j] == Pawn && m_.colour[i] != m_.colour[j];
    }
    // King pairs: the white king in its reduced area, the black king neither on it nor
    // beside it, and on or below the long diagonal when the white king stands on it without
    // pawns (the reflection in that diagonal brings every other such pair there).
    std::fill(pairOf_, pairOf_ + 64 * 64, -1);
    for (int k = 0; k < (pawns_ ? 32 : 10); ++k) {
      const int w = pawns_ ? (k / 4) * 8 + k % 4 : PawnlessKingSquares[k];
      for (int b = 0; b < 64; ++b) {
        if (b == w || (geometry.king[w] & Bit(b))) continue;
        if (!pawns_ && FileOf(w) == RankOf(w) && RankOf(b) > FileOf(b)) continue;
        pairOf_[w * 64 + b] = static_cast<int>(pairs_.size());
        pairs_.push_back(static_cast<int16_t>(w * 64 + b));
      }
    }
    perSide_ = pairs_.size();
    for (int i = 2; i < m_.count; ++i) perSide_ *= Radix(i);
    if (2 * perSide_ >= uint64_t{1} << 40) Fail("table too large to number");
    for (int i = 2; i < m_.count;) {
      int j = i + 1;
      while (j < m_.count && m_.kind[j] == m_.kind[i] && m_.colour[j] == m_.colour[i]) ++j;
      if (j - i > 1) groups_.push_back({i, j - i});
      i = j;
    }
  }

  SolveResult Run() {
    const auto start = std::chrono::steady_clock::now();
    progress_ = m_.count == MaxMen;
    const char* name = TbTableName(m_.table);
    if (progress_)
      std::fprintf(stderr, "%s: %llu positions numbered, two bytes each\n", name,
                   static_cast<unsigned long long>(NormalCount()));
    MarkLegal();
    if (progress_) std::fprintf(stderr, "%s: legal positions marked (%.0f s)\n", name, Seconds(start));
    Seed();
    if (progress_) std::fprintf(stderr, "%s: moves counted (%.0f s)\n", name, Seconds(start));
    Propagate(start);
    std::vector<uint8_t>().swap(counter_);
    SolveResult result = Write();
    if (progress_) std::fprintf(stderr, "%s: files laid out (%.0f s)\n", name, Seconds(start));
    return result;
  }

 private:
  struct Group {
    int first, size;
  };

  Material m_;
  const TableSet& smaller_;
  int threads_;
  bool pawns_ = false, twoPawnColours_ = false;
  int pairOf_[64 * 64];
  std::vector<int16_t> pairs_;  // white king * 64 + black king
  uint64_t perSide_;
  std::vector<Group> groups_;
  std::vector<uint8_t> depth_, counter_;
  std::vector<uint64_t> epKeys_;  // normal number * 8 + file, ascending
  int deepestSeed_ = 0;           // no depth beyond it is reached but from the depth before
  uint64_t waitingWins_[128] = {};  // positions whose ways out win, by the moves they take
  bool progress_ = false;

  uint64_t NormalCount() const { return 2 * perSide_; }
  int Radix(int man) const { return m_.kind[man] == Pawn ? 48 : 64; }
  int Offset(int man) const { return m_.kind[man] == Pawn ? 8 : 0; }

  Pos Decode(uint64_t id) const {
    Pos p;
    p.epFile = -1;
    if (id >= NormalCount()) {
      const uint64_t key = epKeys_[id - NormalCount()];
      p.epFile = static_cast<int>(key & 7);
      id = key >> 3;
    }
    p.side = static_cast<int>(id / perSide_);
    uint64_t rest = id % perSide_;
    for (int i = m_.count - 1; i >= 2; --i) {
      p.sq[i] = static_cast<int>(rest % static_cast<uint64_t>(Radix(i))) + Offset(i);
      rest /= static_cast<uint64_t>(Radix(i));
    }
    p.sq[0] = pairs_[rest] / 64;
    p.sq[1] = pairs_[rest] % 64;
    return p;
  }

  // Number of a position already in the reduced frame (like men sorted); NoNode when the
  // kings are no pair of the numbering or a pawn stands on a last rank.
  uint64_t Encode(const Pos& p) const {
    const int pair = pairOf_[p.sq[0] * 64 + p.sq[1]];
    if (pair < 0) return NoNode;
    uint64_t id = static_cast<uint64_t>(pair);
    for (int i = 2; i < m_.count; ++i) {
      const int digit = p.sq[i] - Offset(i);
      if (digit < 0 || digit >= Radix(i)) return NoNode;
      id = id * static_cast<uint64_t>(Radix(i)) + static_cast<uint64_t>(digit);
    }
    return id + static_cast<uint64_t>(p.side) * perSide_;
  }

  void SortGroups(Pos& p) const {
    for (const Group& g : groups_) SortMen(p.sq + g.first, g.size, std::less<int>());
  }

  // The position with the symmetry applied: squares XORed with `mask`, then transposed.
  Pos Transform(const Pos& p, int mask, bool transpose) const {
    Pos t = p;
    for (int i = 0; i < m_.count; ++i) {
      t.sq[i] = p.sq[i] ^ mask;
      if (transpose) t.sq[i] = Transpose(t.sq[i]);
    }
    if (p.epFile >= 0) t.epFile = p.epFile ^ (mask & 7);
    return t;
  }

  // The one member of the position's symmetry class that the numbering keeps (the lowest
  // number when the white king stands on the diagonal), so that every class has one number.
  Pos Canonical(const Pos& p) const {
    const int wk = p.sq[0];
    const int mask = (FileOf(wk) >= 4 ? 7 : 0) | (!pawns_ && RankOf(wk) >= 4 ? 56 : 0);
    Pos best = Transform(p, mask, false);
    if (pawns_) {
      SortGroups(best);
      return best;
    }
    const int k = best.sq[0];
    if (FileOf(k) < RankOf(k)) best = Transform(p, mask, true);
    SortGroups(best);
    if (FileOf(k) == RankOf(k)) {
      Pos other = Transform(p, mask, true);
      SortGroups(other);
      const int b = best.sq[1];
      if (RankOf(b) > FileOf(b) || (RankOf(b) == FileOf(b) && Encode(other) < Encode(best))) best = other;
    }
    return best;
  }

  // Number of the node of a position in any frame; NoNode for kings side by side, and for an
  // en passant position that has no node (its plain position is illegal).
  uint64_t NodeOf(const Pos& p) const {
    const Pos c = Canonical(p);
    const uint64_t id = Encode(c);
    if (c.epFile < 0 || id == NoNode) return id;
    const uint64_t key = id * 8 + static_cast<uint64_t>(c.epFile);
    const auto it = std::lower_bound(epKeys_.begin(), epKeys_.end(), key);
    if (it == epKeys_.end() || *it != key) return NoNode;
    return NormalCount() + static_cast<uint64_t>(it - epKeys_.begin());
  }

  Bitboard Occupied(const Pos& p) const {
    Bitboard occupied = 0;
    for (int i = 0; i < m_.count; ++i)
      if (p.sq[i] != OffBoard) occupied |= Bit(p.sq[i]);
    return occupied;
  }

  // Is `colour`'s king attacked? `kinds` allows a promoted man.
  bool InCheck(const Pos& p, int colour, const int* kinds, Bitboard occupied) const {
    const int king = p.sq[colour];
    for (int i = 0; i < m_.count; ++i)
      if (m_.colour[i] != colour && p.sq[i] != OffBoard &&
          (geometry.Attacks(kinds[i], m_.colour[i], p.sq[i], occupied) & Bit(king)))
        return true;
    return false;
  }

  bool Legal(const Pos& p) const {
    Bitboard occupied = 0;
    for (int i = 0; i < m_.count; ++i) {
      if (occupied & Bit(p.sq[i])) return false;
      if (m_.kind[i] == Pawn && (RankOf(p.sq[i]) == 0 || RankOf(p.sq[i]) == 7)) return false;
      occupied |= Bit(p.sq[i]);
    }
    return !InCheck(p, 1 - p.side, m_.kind, occupied);
  }

  // Files on which the side to move may take en passant: a pawn of the other side on its
  // fourth rank with the two squares behind it empty, and a pawn of the side to move beside it.
  int EnPassantFiles(const Pos& p, int files[MaxMen]) const {
    int found = 0;
    if (!twoPawnColours_) return 0;
    const Bitboard occupied = Occupied(p);
    const int them = 1 - p.side, step = them == 0 ? -8 : 8, rank = them == 0 ? 3 : 4;
    for (int i = 2; i < m_.count; ++i) {
      const int s = p.sq[i];
      if (m_.kind[i] != Pawn || m_.colour[i] != them || RankOf(s) != rank) continue;
      if (occupied & (Bit(s + step) | Bit(s + 2 * step))) continue;
      if (PawnBeside(p, s, p.side)) files[found++] = FileOf(s);
    }
    return found;
  }

  bool PawnBeside(const Pos& p, int s, int colour) const {
    for (int j = 2; j < m_.count; ++j)
      if (m_.kind[j] == Pawn && m_.colour[j] == colour && RankOf(p.sq[j]) == RankOf(s) &&
          std::abs(p.sq[j] - s) == 1)
        return true;
    return false;
  }

  // Calls inTable(node) for every legal move staying in this table and exit(byte) with the
  // stored byte (the opponent's view) of every capture or promotion.
  template <class InTable, class Exit>
  void ForEachMove(const Pos& p, InTable&& inTable, Exit&& exit) const {
    const int us = p.side, them = 1 - us;
    const Bitboard occupied = Occupied(p);
    Bitboard own = 0;
    for (int i = 0; i < m_.count; ++i)
      if (m_.colour[i] == us) own |= Bit(p.sq[i]);
    auto play = [&](int mover, int to, int promoted, int taken, bool doubleStep) {
      Pos after = p;
      after.sq[mover] = to;
      after.side = them;
      after.epFile = -1;
      int kinds[MaxMen];
      std::copy(m_.kind, m_.kind + MaxMen, kinds);
      if (promoted >= 0) kinds[mover] = promoted;
      if (taken >= 0) after.sq[taken] = OffBoard;
      Bitboard afterOccupied = (occupied & ~Bit(p.sq[mover])) | Bit(to);
      if (taken >= 0) afterOccupied &= ~Bit(p.sq[taken]) | Bit(to);  // en passant empties a square
      if (InCheck(after, us, kinds, afterOccupied)) return;
      if (promoted < 0 && taken < 0) {
        if (doubleStep && PawnBeside(after, to, them)) after.epFile = FileOf(to);
        inTable(NodeOf(after));
        return;
      }
      Man men[MaxMen];
      int count = 0;
      for (int i = 0; i < m_.count; ++i)
        if (after.sq[i] != OffBoard) men[count++] = {m_.colour[i], kinds[i], after.sq[i]};
      exit(smaller_.Probe(men, count, them));
    };
    auto manOn = [&](int s) {
      for (int i = 0; i < m_.count; ++i)
        if (p.sq[i] == s) return i;
      return -1;
    };
    for (int i = 0; i < m_.count; ++i) {
      if (m_.colour[i] != us) continue;
      const int from = p.sq[i];
      if (m_.kind[i] != Pawn) {
        for (Bitboard targets = geometry.Attacks(m_.kind[i], us, from, occupied) & ~own; targets;
             targets &= targets - 1) {
          const int to = std::countr_zero(targets);
          play(i, to, -1, (occupied & Bit(to)) ? manOn(to) : -1, false);
        }
        continue;
      }
      const int step = us == 0 ? 8 : -8, lastRank = us == 0 ? 7 : 0;
      auto pawnTo = [&](int to, int taken) {
        if (RankOf(to) != lastRank) return play(i, to, -1, taken, false);
        for (int promoted : {Queen, Rook, Bishop, Knight}) play(i, to, promoted, taken, false);
      };
      if (!(occupied & Bit(from + step))) {
        pawnTo(from + step, -1);
        if (RankOf(from) == (us == 0 ? 1 : 6) && !(occupied & Bit(from + 2 * step)))
          play(i, from + 2 * step, -1, -1, true);
      }
      for (Bitboard targets = geometry.pawnAttacks[us][from] & occupied & ~own; targets; targets &= targets - 1) {
        const int to = std::countr_zero(targets);
        pawnTo(to, manOn(to));
      }
      if (p.epFile >= 0 && RankOf(from) == (us == 0 ? 4 : 3) && std::abs(FileOf(from) - p.epFile) == 1)
        play(i, MakeTarget(p.epFile, us), -1, manOn(RankOf(from) * 8 + p.epFile), false);
    }
  }

  static int MakeTarget(int file, int us) { return (us == 0 ? 40 : 16) + file; }

  // Every node from which one quiet move (no capture, no promotion) leads to p.
  int Predecessors(const Pos& p, uint64_t* out) const {
    const int mover = 1 - p.side;
    const Bitboard occupied = Occupied(p);
    const int step = mover == 0 ? -8 : 8;
    int count = 0;
    auto add = [&](int man, int from) {
      Pos before = p;
      before.sq[man] = from;
      before.side = mover;
      before.epFile = -1;
      const uint64_t plain = NodeOf(before);
      if (plain == NoNode || std::atomic_ref(depth_[plain]).load(std::memory_order_relaxed) == Illegal) return;
      out[count++] = plain;
      int files[MaxMen];
      for (int f = 0, n = EnPassantFiles(before, files); f < n; ++f) {
        before.epFile = files[f];
        out[count++] = NodeOf(before);
      }
    };
    if (p.epFile >= 0) {
      for (int i = 2; i < m_.count; ++i)
        if (m_.kind[i] == Pawn && m_.colour[i] == mover && p.sq[i] == (mover == 0 ? 24 : 32) + p.epFile)
          add(i, p.sq[i] + 2 * step);
      return count;
    }
    for (int i = 0; i < m_.count; ++i) {
      if (m_.colour[i] != mover) continue;
      const int s = p.sq[i];
      if (m_.kind[i] != Pawn) {
        for (Bitboard from = geometry.Attacks(m_.kind[i], mover, s, occupied) & ~occupied; from; from &= from - 1)
          add(i, std::countr_zero(from));
        continue;
      }
      const int back = s + step;
      if (occupied & Bit(back) || RankOf(back) == 0 || RankOf(back) == 7) continue;
      add(i, back);
      // A double step that the opponent could take en passant led to the en passant node.
      if (RankOf(s) == (mover == 0 ? 3 : 4) && !(occupied & Bit(back + step)) && !PawnBeside(p, s, p.side))
        add(i, back + step);
    }
    return count;
  }

  void MarkLegal() {
    depth_.assign(NormalCount(), Illegal);
    std::vector<std::vector<uint64_t>> keys(threads_);
    ParallelFor(NormalCount(), threads_, [&](uint64_t begin, uint64_t end, int thread) {
      for (uint64_t id = begin; id < end; ++id) {
        Pos p = Decode(id);
        if (!Legal(p) || Encode(Canonical(p)) != id) continue;
        depth_[id] = 0;
        int files[MaxMen];
        for (int f = 0, n = EnPassantFiles(p, files); f < n; ++f)
          keys[thread].push_back(id * 8 + static_cast<uint64_t>(files[f]));
      }
    });
    for (auto& part : keys) epKeys_.insert(epKeys_.end(), part.begin(), part.end());
    depth_.resize(NormalCount() + epKeys_.size(), 0);
    counter_.assign(depth_.size(), 0);
  }

  static int WinPlies(int8_t opponentByte) { return opponentByte < 0 ? 2 * (opponentByte + 126) + 1 : -1; }
  static int LossPlies(int8_t opponentByte) { return opponentByte > 0 ? 2 * (127 - opponentByte) : -1; }

  // Counts each node's distinct successors in the table and what its ways out guarantee.
  void Seed() {
    std::vector<int> deepest(threads_, 0);
    std::vector<std::vector<uint64_t>> waiting(threads_, std::vector<uint64_t>(128));
    ParallelFor(depth_.size(), threads_, [&](uint64_t begin, uint64_t end, int thread) {
      uint64_t successors[MaxSuccessors];
      for (uint64_t id = begin; id < end; ++id) {
        if (depth_[id] == Illegal) continue;
        const Pos p = Decode(id);
        int count = 0, moves = 0, bestWin = MaxPlies + 1, worstLoss = -1;
        bool drawn = false;
        ForEachMove(
            p, [&](uint64_t next) { successors[count++] = next, ++moves; },
            [&](int8_t byte) {
              ++moves;
              if (byte == 0) drawn = true;
              if (WinPlies(byte) >= 0) bestWin = std::min(bestWin, WinPlies(byte));
              worstLoss = std::max(worstLoss, LossPlies(byte));
            });
        std::sort(successors, successors + count);
        count = static_cast<int>(std::unique(successors, successors + count) - successors);
        const bool won = bestWin <= MaxPlies;
        deepest[thread] = std::max({deepest[thread], worstLoss, won ? bestWin : 0});
        if (won) ++waiting[thread][(bestWin + 1) / 2], counter_[id] = static_cast<uint8_t>(NeverLost | (bestWin + 1) / 2);
        else counter_[id] = static_cast<uint8_t>(drawn || moves == 0 ? NeverLost : count);
        if (moves == 0) {
          if (InCheck(p, p.side, m_.kind, Occupied(p))) Resolve(id, 0);
        } else if (count == 0 && !won && !drawn) {
          Resolve(id, worstLoss);
        }
      }
    });
    deepestSeed_ = *std::max_element(deepest.begin(), deepest.end());
    for (const auto& part : waiting)
      for (int k = 0; k < 128; ++k) waitingWins_[k] += part[k];
  }

  void Resolve(uint64_t id, int plies) {
    CheckPlies(plies);
    std::atomic_ref(depth_[id]).store(static_cast<uint8_t>(plies + 1), std::memory_order_relaxed);
  }

  void CheckPlies(int plies) const {
    if (plies > MaxPlies) Fail(std::string(TbTableName(m_.table)) + ": a mate too long to store");
  }

  // Deepest loss among the captures and promotions of a position whose every move loses.
  int WorstExitLoss(uint64_t id) const {
    int worst = -1;
    ForEachMove(Decode(id), [](uint64_t) {}, [&](int8_t byte) { worst = std::max(worst, LossPlies(byte)); });
    return worst;
  }

  // One depth at a time, each found by a sweep over all nodes shared out among the threads;
  // at an odd depth the sweep first counts won the nodes whose ways out win that fast. At an
  // even depth every update turns an unknown node into a win (one thread wins the exchange);
  // at an odd depth every update lowers a count, and the thread that takes it to zero
  // settles the loss. No update sets the depth being swept.
  void Propagate(std::chrono::steady_clock::time_point start) {
    for (int d = 0; d <= MaxPlies; ++d) {
      const uint8_t swept = static_cast<uint8_t>(d + 1);
      const bool anyWaiting = d % 2 && waitingWins_[(d + 1) / 2] > 0;
      const uint8_t waiting = static_cast<uint8_t>(NeverLost | (d + 1) / 2);
      std::atomic<uint64_t> found{0};
      ParallelFor(depth_.size(), threads_, [&](uint64_t begin, uint64_t end, int) {
        uint64_t mine = 0;
        for (uint64_t id = begin; id < end; ++id) {
          std::atomic_ref depth(depth_[id]);
          uint8_t value = depth.load(std::memory_order_relaxed);
          if (value == 0 && anyWaiting && std::atomic_ref(counter_[id]).load(std::memory_order_relaxed) == waiting)
            depth.store(value = swept, std::memory_order_relaxed);
          if (value != swept) continue;
          Update(id, d);
          ++mine;
        }
        found += mine;
      });
      if (progress_ && found > 0)
        std::fprintf(stderr, "%s: %llu positions at depth %d plies (%.0f s)\n", TbTableName(m_.table),
                     static_cast<unsigned long long>(found.load()), d, Seconds(start));
      if (found == 0 && d >= deepestSeed_) break;
    }
  }

  void Update(uint64_t id, int d) {
    uint64_t before[MaxSuccessors * 2];
    int count = Predecessors(Decode(id), before);
    SortMen(before, count, std::less<uint64_t>());
    count = static_cast<int>(std::unique(before, before + count) - before);
    for (int j = 0; j < count; ++j) {
      const uint64_t q = before[j];
      std::atomic_ref depth(depth_[q]);
      if (depth.load(std::memory_order_relaxed) != 0) continue;
      if (d % 2 == 0) {
        uint8_t unknown = 0;
        CheckPlies(d + 1);
        depth.compare_exchange_strong(unknown, static_cast<uint8_t>(d + 2), std::memory_order_relaxed);
        continue;
      }
      std::atomic_ref counter(counter_[q]);
      if (counter.load(std::memory_order_relaxed) & NeverLost) continue;
      if (counter.fetch_sub(1, std::memory_order_relaxed) == 1) Resolve(q, std::max(d + 1, WorstExitLoss(q)));
    }
  }

  static int8_t StoredByte(uint8_t depth) {
    if (depth == 0) return 0;
    const int plies = depth - 1;
    if (plies % 2) return static_cast<int8_t>(127 - (plies + 1) / 2);
    return static_cast<int8_t>(-126 + plies / 2);
  }

  // Both kings' lists and the en passant square of a position, in the file's terms.
  void PieceLists(const Pos& p, TbPieceList lists[2]) const {
    int filled[2][6] = {};
    int order[MaxMen];
    for (int i = 0; i < m_.count; ++i) order[i] = i;
    SortMen(order, m_.count, [&](int a, int b) { return p.sq[a] < p.sq[b]; });
    for (int k = 0; k < m_.count; ++k) {
      const int i = order[k], colour = m_.colour[i], kind = m_.kind[i];
      lists[colour][kind == King ? 15 : kind * 3 + filled[colour][kind]++] = p.sq[i];
    }
  }

  uint32_t FileIndex(const Pos& p) const {
    TbPieceList lists[2] = {};
    PieceLists(p, lists);
    const int ep = p.epFile < 0 ? TbNoEpSquare : MakeTarget(p.epFile, p.side);
    return TbIndex(m_.table, p.side, lists[0], lists[1], ep, false);
  }

  // The members of a position's class that the file's numbering may tell apart: the file
  // reduces the board by the king of the side to move, the generator by the white king, and
  // on the diagonal both reflections stay.
  int FileImages(const Pos& p, Pos images[2]) const {
    if (pawns_) {
      images[0] = p;
      return 1;
    }
    const int k = p.sq[p.side];
    const int mask = (FileOf(k) >= 4 ? 7 : 0) | (RankOf(k) >= 4 ? 56 : 0);
    const int t = k ^ mask;
    images[0] = Transform(p, mask, FileOf(t) < RankOf(t));
    if (FileOf(t) != RankOf(t)) return 1;
    images[1] = Transform(p, mask, true);
    return 2;
  }

  // Shared out among the threads: a file index that two nodes reach (the reflections kept
  // on the diagonal) is claimed by exchange, and both must carry the same value.
  SolveResult Write() const {
    SolveResult result;
    const bool symmetric = TbIsSymmetric(m_.table);
    for (int side = 0; side < 2; ++side)
      result.bytes[side].assign(static_cast<size_t>(TbExpectedSize(m_.table, side)), NoPosition);
    const char* name = TbTableName(m_.table);
    std::vector<SolveResult> parts(threads_);
    ParallelFor(depth_.size(), threads_, [&](uint64_t begin, uint64_t end, int thread) {
      SolveResult& mine = parts[thread];
      for (uint64_t id = begin; id < end; ++id) {
        if (depth_[id] == Illegal) continue;
        const Pos p = Decode(id);
        const int8_t byte = StoredByte(depth_[id]);
        if (p.epFile < 0) ++mine.legal[p.side];
        if (byte > 0) mine.longestWin[p.side] = std::max(mine.longestWin[p.side], 127 - byte);
        std::vector<int8_t>& bytes = result.bytes[symmetric ? 0 : p.side];
        Pos images[2];
        for (int n = FileImages(p, images), k = 0; k < n; ++k) {
          const uint32_t index = FileIndex(images[k]);
          if (index >= bytes.size())
            Fail(std::string(name) + ": a legal position numbered past the end of the file");
          // Colour-exchanged twins of a symmetric table share the white-to-move file.
          if (symmetric && p.side == 1) continue;
          int8_t found = NoPosition;
          if (!std::atomic_ref(bytes[index]).compare_exchange_strong(found, byte, std::memory_order_relaxed) &&
              found != byte)
            Fail(std::string(name) + ": two positions with different values share one file index");
        }
      }
    });
    for (const SolveResult& part : parts)
      for (int side = 0; side < 2; ++side) {
        result.legal[side] += part.legal[side];
        result.longestWin[side] = std::max(result.longestWin[side], part.longestWin[side]);
      }
    if (symmetric) {
      for (uint64_t id = perSide_; id < NormalCount(); ++id) {
        if (depth_[id] == Illegal) continue;
        Pos images[2];
        const Pos p = Decode(id);
        for (int n = FileImages(p, images), k = 0; k < n; ++k)
          if (result.bytes[0][FileIndex(images[k])] != StoredByte(depth_[id]))
            Fail(std::string(name) + ": black to move differs from its colour-exchanged twin");
      }
      result.bytes[1].clear();
    }
    return result;
  }
};

}  // namespace

SolveResult SolveTable(int table, const TableSet& smaller, int threads) {
  Solver solver(table, smaller, threads);
  return solver.Run();
}

}  // namespace tbgen
