#!/usr/bin/env bash
# A short match of Skarne against a Debian engine in the real xboard program, headless under
# its own Xvfb display, and a check of how it went: every game must end by the rules (mate,
# stalemate, repetition, fifty moves, insufficient material) or by resignation or an agreed
# draw; no illegal move, no time forfeit, no false claim, and no protocol error in what
# Skarne said or was told, as xboard's debug log records it.
#   scripts/xboard-match.sh            4 games at 10 s + 0.1 s a move against fairymax
# Environment: GAMES (default 4), TC (xboard -tc, default 0:10), INC (default 0.1),
#              OPPONENT (default fairymax), OUT (folder for the PGN and the debug log,
#              default build/xboard-match). Installs xboard, Xvfb and the opponent if missing.
# Exit status 0 when every game was played and passed the checks.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
PATH="$PATH:/usr/games"
games=${GAMES:-4}
tc=${TC:-0:10}
inc=${INC:-0.1}
opponent=${OPPONENT:-fairymax}
out=$(realpath -m "${OUT:-build/xboard-match}")

missing=()
for tool in cmake g++ make xboard Xvfb "$opponent"; do
  command -v "$tool" >/dev/null 2>&1 && continue
  case $tool in Xvfb) missing+=(xvfb) ;; *) missing+=("$tool") ;; esac
done
source scripts/install-packages.sh
source scripts/default-book.sh
[ -n "$(default_book_source)" ] || missing+=(gnuchess-book)
install_packages "${missing[@]}"

build_engine_with_book >/dev/null
# The engine runs in a folder of its own with a plain settings file (it ends without one)
# and the default book.
engine_dir="$out/engine"
mkdir -p "$engine_dir"
cp build/skarne "$engine_dir/skarne"
cp build/skarne.boo "$engine_dir/skarne.boo"
[ -f "$engine_dir/skarne.ini" ] || printf 'HashSize=64Mb\nBook=skarne.boo\nLearn=0\n' > "$engine_dir/skarne.ini"

pgn="$out/match.pgn"
debug="$out/xboard.debug"
: > "$pgn"
rm -f "$debug"
work=$(mktemp -d)
xvfb_pid=
xb_pid=
cleanup() {
  [ -n "$xb_pid" ] && kill "$xb_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

display=
for n in $(seq 90 199); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X${display#:}" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }

echo "Skarne against $opponent: $games game(s) at $tc + ${inc}s in xboard (display $display)"
# HOME is the scratch folder so that no ~/.xboardrc is read or written.
(cd "$work" && DISPLAY="$display" HOME="$work" exec xboard \
  -fcp ./skarne -fd "$engine_dir" -scp "$opponent" -mg "$games" -tc "$tc" -inc "$inc" \
  -sgf "$pgn" -xexit -noGUI -xponder -autoCallFlag true -testClaims true -matchPause 1000 \
  -saveSettingsOnExit false -debug -nameOfDebugFile "$debug") >"$work/xboard.out" 2>&1 &
xb_pid=$!
# Far more than two full clocks and 150 increments a game.
limit=$((games * 150 + 60))
start=$(date +%s)
while kill -0 "$xb_pid" 2>/dev/null; do
  if [ $(($(date +%s) - start)) -gt $limit ]; then echo "xboard did not finish within ${limit}s" >&2; break; fi
  sleep 1
done
kill "$xb_pid" 2>/dev/null || true
wait "$xb_pid" 2>/dev/null || true
xb_pid=

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

played=$(grep -c '^\[Result ' "$pgn" || true)
echo "$played game(s) in $pgn ($(($(date +%s) - start)) s)"
[ "$played" -eq "$games" ] || fail "expected $games games, xboard recorded $played"

# The reason xboard gives is the comment just before each game's result in the move text.
reasons=$(awk '
  /^\[White /  { white = $0; sub(/^\[White "/, "", white); sub(/"\]$/, "", white) }
  /^\[Black /  { black = $0; sub(/^\[Black "/, "", black); sub(/"\]$/, "", black) }
  /^\[Result / { result = $0; sub(/^\[Result "/, "", result); sub(/"\]$/, "", result) }
  /^\[/ { next }
  { text = text " " $0 }
  /(1-0|0-1|1\/2-1\/2|\*)[ \t]*$/ && text != "" {
    reason = "(none)"
    if (match(text, /\{[^}]*\}[ \t]*(1-0|0-1|1\/2-1\/2|\*)[ \t]*$/)) {
      reason = substr(text, RSTART + 1); sub(/\}.*/, "", reason)
    }
    printf "%s - %s\t%s\t%s\n", white, black, result, reason
    text = ""
  }' "$pgn")
echo "$reasons"
opponent_forfeits=0
while IFS=$'\t' read -r players result reason; do
  [ -n "$players" ] || continue
  lower=$(tr 'A-Z' 'a-z' <<<"$reason")
  # "White wins on time": the other side's flag fell. Only Skarne's own forfeit is its fault;
  # the opponent's is counted and shown.
  if [[ $lower == *"wins on time"* ]]; then
    winner=${lower%% wins on time*}
    white_player=${players%% - *}
    if { [ "$winner" = white ] && [[ $white_player == Skarne* ]]; } ||
       { [ "$winner" = black ] && [[ $white_player != Skarne* ]]; }; then
      opponent_forfeits=$((opponent_forfeits + 1))
      continue
    fi
    fail "$players: $result {$reason}: Skarne lost on time"
    continue
  fi
  case $lower in
    *illegal* | *time* | *flag* | *forfeit* | *false* | *crash* | *exit* | *respond* | *disconnect* | *error*)
      fail "$players: $result {$reason}" ;;
    *mate* | *resign* | *stalemate* | *repetition* | *50*move* | *fifty* | *insufficient* | *draw*) ;;
    *) fail "$players: $result {$reason}: not an end by the rules" ;;
  esac
  [ "$result" != "*" ] || fail "$players: unfinished"
done <<<"$reasons"
[ $opponent_forfeits -eq 0 ] || echo "note: $opponent lost $opponent_forfeits game(s) on time"

if [ -f "$debug" ]; then
  # Skarne is the first engine: lines it sent are "<first :", lines it got ">first :".
  errors=$(grep -E '<first : *(Error|Illegal move|tellusererror)' "$debug" || true)
  [ -z "$errors" ] || fail "protocol errors in the debug log:"$'\n'"$(head -20 <<<"$errors")"
  illegal=$(grep -iE 'illegal move' "$debug" | grep -vE '^[0-9 ]*[<>]second' | head -5 || true)
  [ -z "$illegal" ] || fail "xboard reports an illegal move:"$'\n'"$illegal"
else
  fail "no debug log"
fi

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed; the debug log is $debug"
  exit 1
fi
echo "All $games games ended by the rules, with no illegal move, time forfeit or protocol error."
