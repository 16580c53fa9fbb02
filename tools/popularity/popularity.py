#!/usr/bin/env python3
"""Move-popularity tables for Skarne's move ordering.

Two steps:
  popularity.py play --engine /usr/games/stockfish --minutes 20 --out counts.json
      plays self-play games of a UCI engine (one thread, a fixed node budget per move, a few
      randomised opening plies so the games differ) and counts every move by piece kind and
      (from, to), black's moves mirrored onto white's squares;
  popularity.py emit counts.json > board/move_popularity_data.cpp
      scales the counts into the six white tables of 4096 bytes.

Only the Python 3 standard library is needed.
"""

import argparse
import json
import random
import subprocess
import sys
import time

KINDS = ["king", "pawn", "knight", "bishop", "rook", "queen"]
KIND_OF_LETTER = {"k": 0, "p": 1, "n": 2, "b": 3, "r": 4, "q": 5}

# Rows whose values the move ordering was tuned with; they are kept exactly.
FIXED_ROWS = {
    "knight": {"g1f3": 255, "b1c3": 113, "g1h3": 3},
    "pawn": {"d2d4": 66, "e2e4": 30, "e2e3": 28, "a2a4": 3, "e4d5": 84},
    "rook": {"a1d1": 126, "f1e1": 91},
    "queen": {"d1e2": 43, "d1h5": 11},
}


def square(name):
    return (ord(name[0]) - ord("a")) + 8 * (ord(name[1]) - ord("1"))


def square_name(sq):
    return "abcdefgh"[sq & 7] + "12345678"[sq >> 3]


# ---------------------------------------------------------------- geometry

def geometric_pairs(kind):
    """The (from, to) pairs a white man of this kind can ever play; castling is not a king
    move here, since the ordering scores it on its own."""
    pairs = set()
    steps = {
        "king": [(1, 0), (-1, 0), (0, 1), (0, -1), (1, 1), (1, -1), (-1, 1), (-1, -1)],
        "knight": [(1, 2), (2, 1), (2, -1), (1, -2), (-1, -2), (-2, -1), (-2, 1), (-1, 2)],
    }
    rays = {
        "bishop": [(1, 1), (1, -1), (-1, 1), (-1, -1)],
        "rook": [(1, 0), (-1, 0), (0, 1), (0, -1)],
    }
    rays["queen"] = rays["bishop"] + rays["rook"]
    for f in range(64):
        file, rank = f & 7, f >> 3
        if kind in steps:
            for df, dr in steps[kind]:
                if 0 <= file + df < 8 and 0 <= rank + dr < 8:
                    pairs.add((f, f + df + 8 * dr))
        elif kind in rays:
            for df, dr in rays[kind]:
                x, y = file + df, rank + dr
                while 0 <= x < 8 and 0 <= y < 8:
                    pairs.add((f, x + 8 * y))
                    x, y = x + df, y + dr
        elif kind == "pawn" and 1 <= rank <= 6:
            pairs.add((f, f + 8))
            if rank == 1:
                pairs.add((f, f + 16))
            if file > 0:
                pairs.add((f, f + 7))
            if file < 7:
                pairs.add((f, f + 9))
    return pairs


# ---------------------------------------------------------------- self-play

class Engine:
    def __init__(self, path, hash_mb):
        self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, bufsize=1)
        self.send("uci")
        self.wait_for("uciok")
        self.send("setoption name Threads value 1")
        self.send(f"setoption name Hash value {hash_mb}")
        self.multipv = 1
        self.sync()

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def wait_for(self, token):
        lines = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("engine closed its output")
            line = line.strip()
            lines.append(line)
            if line.split(" ", 1)[0] == token:
                return lines

    def sync(self):
        self.send("isready")
        self.wait_for("readyok")

    def set_multipv(self, n):
        if n != self.multipv:
            self.send(f"setoption name MultiPV value {n}")
            self.multipv = n

    def search(self, moves, nodes):
        """Returns (bestmove or None, {move: score in centipawns} of the last depth's lines)."""
        self.send("position startpos moves " + " ".join(moves) if moves else "position startpos")
        self.send(f"go nodes {nodes}")
        lines = self.wait_for("bestmove")
        candidates = {}
        for line in lines:
            words = line.split()
            if not words or words[0] != "info" or "pv" not in words or "score" not in words:
                continue
            at = words.index("score")
            value = int(words[at + 2])
            score = value if words[at + 1] == "cp" else (100000 if value > 0 else -100000)
            if "multipv" in words and words[words.index("multipv") + 1] == "1":
                candidates = {}
            candidates[words[words.index("pv") + 1]] = score
        best = lines[-1].split()[1]
        return (None if best == "(none)" else best), candidates


def start_board():
    board = [None] * 64
    back = "rnbqkbnr"
    for file in range(8):
        board[file] = back[file].upper()
        board[8 + file] = "P"
        board[48 + file] = "p"
        board[56 + file] = back[file]
    return board


def apply_move(board, move):
    """Plays a UCI move on a plain square array; returns (kind, from, to, resets fifty)."""
    f, t = square(move[0:2]), square(move[2:4])
    man = board[f]
    kind = KIND_OF_LETTER[man.lower()]
    resets = kind == 1 or board[t] is not None
    if kind == 0 and abs((f & 7) - (t & 7)) == 2:
        rook_from, rook_to = (f + 3, f + 1) if t > f else (f - 4, f - 1)
        board[rook_to], board[rook_from] = board[rook_from], None
    if kind == 1 and (f & 7) != (t & 7) and board[t] is None:
        board[(f & 56) | (t & 7)] = None
    board[t], board[f] = man, None
    if len(move) == 5:
        board[t] = move[4].upper() if man.isupper() else move[4]
    return kind, f, t, resets


def play_game(engine, rng, nodes, counts, max_plies):
    engine.send("ucinewgame")
    engine.sync()
    board = start_board()
    moves = []
    seen = {}
    fifty = 0
    random_plies = rng.randint(2, 10)
    for ply in range(max_plies):
        if ply < random_plies:
            engine.set_multipv(5)
            best, candidates = engine.search(moves, nodes)
            if best is None:
                break
            good = [m for m, s in candidates.items() if s >= candidates.get(best, 0) - 60]
            move = rng.choice(sorted(good)) if good else best
        else:
            engine.set_multipv(1)
            move, _ = engine.search(moves, nodes)
            if move is None:
                break
        white = ply % 2 == 0
        kind, f, t, resets = apply_move(board, move)
        moves.append(move)
        castle = kind == 0 and abs((f & 7) - (t & 7)) == 2
        if not castle:
            if not white:
                f, t = f ^ 56, t ^ 56
            key = f"{f * 64 + t}"
            counts[kind][key] = counts[kind].get(key, 0) + 1
        fifty = 0 if resets else fifty + 1
        placement = ("w" if not white else "b") + "".join(c or "." for c in board)
        seen[placement] = seen.get(placement, 0) + 1
        if fifty >= 100 or seen[placement] >= 3:
            break
    return len(moves)


def play(args):
    rng = random.Random(args.seed)
    engine = Engine(args.engine, args.hash)
    counts = [dict() for _ in KINDS]
    games = plies = 0
    deadline = time.monotonic() + 60 * args.minutes
    while games < args.games and time.monotonic() < deadline:
        plies += play_game(engine, rng, args.nodes, counts, args.max_plies)
        games += 1
        if games % 50 == 0:
            print(f"{games} games, {plies} plies", file=sys.stderr, flush=True)
    engine.send("quit")
    engine.proc.wait()
    record = {
        "engine": args.engine, "nodes_per_move": args.nodes, "seed": args.seed,
        "games": games, "plies": plies, "counts": dict(zip(KINDS, counts)),
    }
    with open(args.out, "w") as out:
        json.dump(record, out, sort_keys=True, separators=(",", ":"))
        out.write("\n")
    print(f"{games} games, {plies} plies written to {args.out}", file=sys.stderr)


# ---------------------------------------------------------------- tables

def build_table(kind, counts):
    """Scales one kind's counts to 0..255. Every geometric pair gets at least 1 except the
    rarest one (ties: the highest index), which stays 0, so exactly one pair per table is
    empty; the fixed rows are then written over the scaled values. Only one entry per table
    reaches 255: the knight's g1-f3, elsewhere the most played pair. Pawn steps from the
    second rank never count as the most played pair, so that g1-f3 stays the single best
    first move of the game."""
    pairs = geometric_pairs(kind)
    fixed = {square(m[0:2]) * 64 + square(m[2:4]): v for m, v in FIXED_ROWS.get(kind, {}).items()}
    count = {f * 64 + t: counts.get(str(f * 64 + t), 0) for f, t in pairs}
    for index in counts:
        if int(index) not in count:
            raise ValueError(f"{kind}: counted move {index} is not geometric")
    free = [i for i in count if i not in fixed]
    first_moves = {i for i in free if kind == "pawn" and 8 <= (i >> 6) < 16 and (i & 7) == ((i >> 6) & 7)}
    top_index = max((i for i in free if i not in first_moves), key=lambda i: (count[i], -i))
    zero_index = min(free, key=lambda i: (count[i], -i))
    top = max(1, count[top_index])
    table = [0] * 4096
    for i, n in count.items():
        table[i] = min(254, max(1, round(255 * n / top)))
    for i, v in fixed.items():
        table[i] = v
    if 255 not in fixed.values():
        table[top_index] = 255
    table[zero_index] = 0
    return table, zero_index, count[zero_index]


def emit(args):
    with open(args.counts) as source:
        record = json.load(source)
    out = [
        "// Generated by tools/popularity/popularity.py from "
        f"{record['games']} self-play games ({record['plies']} plies,",
        f"// {record['nodes_per_move']} nodes per move); do not edit by hand.",
        "// [king, pawn, knight, bishop, rook, queen][from * 64 + to], a1 = 0 ... h8 = 63.",
        '#include "board/move_popularity.h"',
        "",
        "const uint8_t whiteMovePopularity[6][4096] = {",
    ]
    for kind in KINDS:
        table, zero_index, zero_count = build_table(kind, record["counts"][kind])
        nonzero = sum(1 for v in table if v)
        print(f"{kind}: {nonzero} non-zero, zero pair {square_name(zero_index >> 6)}"
              f"{square_name(zero_index & 63)} (played {zero_count} times)", file=sys.stderr)
        out.append(f"    // {kind}")
        out.append("    {")
        for row in range(0, 4096, 32):
            out.append("        " + ",".join(str(v) for v in table[row:row + 32]) + ",")
        out.append("    },")
    out.append("};")
    sys.stdout.write("\n".join(out) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("play")
    p.add_argument("--engine", default="/usr/games/stockfish")
    p.add_argument("--games", type=int, default=100000)
    p.add_argument("--minutes", type=float, default=20)
    p.add_argument("--nodes", type=int, default=1500)
    p.add_argument("--max-plies", type=int, default=240)
    p.add_argument("--hash", type=int, default=16)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--out", default="counts.json")
    e = commands.add_parser("emit")
    e.add_argument("counts")
    args = parser.parse_args()
    play(args) if args.command == "play" else emit(args)


if __name__ == "__main__":
    main()
