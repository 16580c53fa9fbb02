#pragma once
// Chess worked out from scratch for checking endgame tables, sharing nothing with the engine
// or the generator: a board of men stepped square by square, every legal move, and a
// forward-iterating depth-to-mate solver for three-man tables. Values are stored bytes:
// 0 draw, 127 - m a win in m moves, -126 + m a loss in m, for the side to move.

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace oracle {

enum Kind { P, N, B, R, Q, K };
constexpr char Letters[] = "pnbrqk";

struct Man {
  int colour, kind, square;
};

// At most five men; ep is the en passant target square or -1.
struct Board {
  Man men[5];
  int count = 0;
  int side = 0;
  int ep = -1;
};

inline bool Inside(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

inline int ManAt(const Board& b, int square) {
  for (int i = 0; i < b.count; ++i)
    if (b.men[i].square == square) return i;
  return -1;
}

inline const int KnightSteps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
inline const int Lines[8][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}, {1, 1}, {1, -1}, {-1, -1}, {-1, 1}};

// Squares the man moves to or attacks, up to and including the first man on each line;
// pawns give their two capturing squares.
inline int Reach(const Board& b, const Man& m, int out[32]) {
  int n = 0;
  const int f = m.square % 8, r = m.square / 8;
  auto add = [&](int df, int dr) {
    if (Inside(f + df, r + dr)) out[n++] = (r + dr) * 8 + f + df;
  };
  if (m.kind == P)
    for (int df : {-1, 1}) add(df, m.colour == 0 ? 1 : -1);
  if (m.kind == N)
    for (auto& s : KnightSteps) add(s[0], s[1]);
  if (m.kind == K)
    for (auto& s : Lines) add(s[0], s[1]);
  if (m.kind == B || m.kind == R || m.kind == Q)
    for (int d = (m.kind == B ? 4 : 0); d < (m.kind == R ? 4 : 8); ++d)
      for (int k = 1; Inside(f + k * Lines[d][0], r + k * Lines[d][1]); ++k) {
        out[n++] = (r + k * Lines[d][1]) * 8 + f + k * Lines[d][0];
        if (ManAt(b, out[n - 1]) >= 0) break;
      }
  return n;
}

inline bool InCheck(const Board& b, int colour) {
  int king = -1, reach[32];
  for (int i = 0; i < b.count; ++i)
    if (b.men[i].colour == colour && b.men[i].kind == K) king = b.men[i].square;
  for (int i = 0; i < b.count; ++i)
    if (b.men[i].colour != colour)
      for (int k = 0, n = Reach(b, b.men[i], reach); k < n; ++k)
        if (reach[k] == king) return true;
  return false;
}

inline bool Legal(const Board& b) {
  for (int i = 0; i < b.count; ++i) {
    if (b.men[i].kind == P && (b.men[i].square < 8 || b.men[i].square >= 56)) return false;
    for (int j = 0; j < i; ++j)
      if (b.men[i].square == b.men[j].square) return false;
  }
  return !InCheck(b, 1 - b.side);
}

// A pawn of `colour` stands next to `square` on its rank.
inline bool PawnBeside(const Board& b, int square, int colour) {
  for (int i = 0; i < b.count; ++i) {
    const Man& m = b.men[i];
    if (m.kind == P && m.colour == colour && m.square / 8 == square / 8 && std::abs(m.square - square) == 1)
      return true;
  }
  return false;
}

// Every legal move's position into `out`; returns the count. A double step leaves an en
// passant square only when a pawn of the other side stands beside it to take.
constexpr int MaxMoves = 96;  // three queens and a king: 89
inline int Moves(const Board& b, Board out[MaxMoves]) {
  int moves = 0, reach[32];
  auto play = [&](int mover, int to, int kind, int takenSquare, bool doubleStep) {
    Board& next = out[moves];
    next = b;
    next.men[mover].square = to;
    next.men[mover].kind = kind;
    if (int taken = takenSquare < 0 ? -1 : ManAt(b, takenSquare); taken >= 0)
      std::copy(next.men + taken + 1, next.men + next.count--, next.men + taken);
    next.side = 1 - b.side;
    next.ep = doubleStep && PawnBeside(next, to, next.side) ? (to + b.men[mover].square) / 2 : -1;
    if (!InCheck(next, b.side)) ++moves;
  };
  for (int i = 0; i < b.count; ++i) {
    const Man& m = b.men[i];
    if (m.colour != b.side) continue;
    const int n = Reach(b, m, reach);
    if (m.kind != P) {
      for (int k = 0; k < n; ++k)
        if (int there = ManAt(b, reach[k]); there < 0 || b.men[there].colour != b.side) play(i, reach[k], m.kind, reach[k], false);
      continue;
    }
    const int step = b.side == 0 ? 8 : -8, rank = m.square / 8;
    auto pawnTo = [&](int to, int taken) {
      if (to / 8 != 0 && to / 8 != 7) return play(i, to, P, taken, false);
      for (int kind : {N, B, R, Q}) play(i, to, kind, taken, false);
    };
    if (ManAt(b, m.square + step) < 0) {
      pawnTo(m.square + step, -1);
      if (rank == (b.side == 0 ? 1 : 6) && ManAt(b, m.square + 2 * step) < 0) play(i, m.square + 2 * step, P, -1, true);
    }
    for (int k = 0; k < n; ++k) {
      if (int there = ManAt(b, reach[k]); there >= 0 && b.men[there].colour != b.side) pawnTo(reach[k], reach[k]);
      if (reach[k] == b.ep) play(i, reach[k], P, reach[k] - step, false);
    }
  }
  return moves;
}

// The value byte a position's moves give it: the best of each move's byte turned round
// (a loss in m for the opponent is a win in m + 1 for the mover, and so on).
inline int BestOfMoves(const std::vector<int>& moveBytes, bool inCheck) {
  int best = moveBytes.empty() ? (inCheck ? -126 : 0) : -1000;
  for (int c : moveBytes) best = std::max(best, c < 0 ? -c : c > 0 ? 1 - c : 0);
  return best;
}

// The position as FEN, for the engine's probe and for messages.
inline std::string Fen(const Board& b) {
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0, empty = 0; file < 8; ++file) {
      const int i = ManAt(b, rank * 8 + file);
      if (i >= 0 && empty) fen += static_cast<char>('0' + empty), empty = 0;
      if (i < 0) ++empty;
      else fen += b.men[i].colour ? Letters[b.men[i].kind] : static_cast<char>(Letters[b.men[i].kind] - 32);
      if (file == 7 && empty) fen += static_cast<char>('0' + empty);
    }
    if (rank) fen += '/';
  }
  const std::string ep = b.ep < 0 ? "-" : std::string{char('a' + b.ep % 8), char('1' + b.ep / 8)};
  return fen + (b.side ? " b - " : " w - ") + ep + " 0 1";
}

inline Board MenOf(const char* name) {
  Board b;
  b.men[b.count++] = {0, K, 0};
  b.men[b.count++] = {1, K, 0};
  int colour = -1;
  for (const char* c = name; *c; ++c) {
    if (*c == 'k') ++colour;
    else b.men[b.count++] = {colour, static_cast<int>(std::string_view(Letters).find(*c)), 0};
  }
  return b;
}

// Every position of a table with the white king on one of `kingSquares` (none given: on any),
// both sides to move, each legal one (and its en passant twins) handed to `visit`.
template <class Visit>
void ForEachPosition(const char* name, const std::vector<int>& kingSquares, Visit&& visit) {
  Board b = MenOf(name);
  for (b.side = 0; b.side < 2; ++b.side)
    for (size_t k = 0; k < (kingSquares.empty() ? 64 : kingSquares.size()); ++k)
      for (int code = 0; code < (1 << (6 * (b.count - 1))); ++code) {
        b.ep = -1;
        b.men[0].square = kingSquares.empty() ? int(k) : kingSquares[k];
        for (int i = 1; i < b.count; ++i) b.men[i].square = (code >> (6 * (i - 1))) & 63;
        if (!Legal(b)) continue;
        visit(b);
        const int rank = b.side == 0 ? 4 : 3, behind = b.side == 0 ? 8 : -8;
        for (int i = 0; i < b.count; ++i) {
          const Man& m = b.men[i];
          if (m.kind != P || m.colour == b.side || m.square / 8 != rank || !PawnBeside(b, m.square, b.side)) continue;
          if (ManAt(b, m.square + behind) >= 0 || ManAt(b, m.square + 2 * behind) >= 0) continue;
          Board twin = b;
          twin.ep = m.square + behind;
          visit(twin);
        }
      }
}

// Depth to mate of every three-man position by forward iteration over plies: a position is
// won at ply n when one move reaches a position already known lost, lost at ply n when every
// move reaches a position already known won; what is left is drawn. Promotions read the
// tables of the new piece solved before.
class ThreeManSolver {
 public:
  static constexpr int Unknown = 1000;
  static int Raw(const Board& b) {
    return b.side << 18 | b.men[0].square << 12 | b.men[1].square << 6 | b.men[2].square;
  }

  const std::vector<int>& Solve(const char* name) {
    std::vector<int>& value = solved_[name];
    value.assign(1 << 19, 127);
    struct Node {
      int raw, firstChild, children;
      bool inCheck;
    };
    std::vector<Node> nodes;
    std::vector<int> dynamic;  // raw index of an in-table move, or -1 with the byte in fixedBytes
    std::vector<int> fixedBytes;
    int fixedPlies = 0;
    ForEachPosition(name, {}, [&](const Board& b) {
      nodes.push_back({Raw(b), static_cast<int>(dynamic.size()), 0, InCheck(b, b.side)});
      value[Raw(b)] = Unknown;
      Board moves[64];
      for (int k = 0, n = Moves(b, moves); k < n; ++k) {
        const Board& next = moves[k];
        ++nodes.back().children;
        int fixed = 0;
        if (next.count == 2) {
          dynamic.push_back(-1);
        } else if (next.men[2].kind != b.men[2].kind) {
          fixed = solved_.at(std::string("k") + Letters[next.men[2].kind] + "k")[Raw(next)];
          dynamic.push_back(-1);
          fixedPlies = std::max(fixedPlies, Plies(fixed));
        } else {
          dynamic.push_back(Raw(next));
        }
        fixedBytes.push_back(fixed);
      }
    });
    for (int n = 0;; ++n) {
      std::vector<std::pair<int, int>> found;
      for (const Node& node : nodes) {
        if (value[node.raw] != Unknown) continue;
        bool allWon = true, oneLost = false;
        for (int c = node.firstChild; c < node.firstChild + node.children; ++c) {
          // A promotion's value counts from the ply after its own depth, like any other.
          int byte = dynamic[c] < 0 ? fixedBytes[c] : value[dynamic[c]];
          if (dynamic[c] < 0 && byte != 0 && Plies(byte) >= n) byte = Unknown;
          allWon &= byte != Unknown && byte > 0;
          oneLost |= byte < 0;
        }
        if (oneLost) found.push_back({node.raw, 127 - (n + 1) / 2});
        else if (allWon && (node.children > 0 || node.inCheck)) found.push_back({node.raw, -126 + n / 2});
      }
      for (auto [raw, byte] : found) value[raw] = byte;
      if (found.empty() && n > fixedPlies + 1) break;
    }
    for (int& v : value)
      if (v == Unknown) v = 0;
    return value;
  }

 private:
  static int Plies(int byte) { return byte > 0 ? 2 * (127 - byte) - 1 : byte < 0 ? 2 * (byte + 126) : 0; }
  std::map<std::string, std::vector<int>> solved_;
};

}  // namespace oracle
