#!/usr/bin/env bash
# Builds Skarne and shows it playing: one short game in the real xboard program against
# fairymax, headless under Xvfb when there is no display, then prints the game and its result.
#   scripts/play.sh            the demonstration game (engine against engine)
#   scripts/play.sh --human    with a display: you play against Skarne in xboard
# Environment: GAMES (default 1), TC (xboard -tc, default 0:30), INC (default 0.3),
#              OPPONENT (default fairymax), PGN (default build/play.pgn), DEBUG_LOG.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
PATH="$PATH:/usr/games"

human=0
[ "${1:-}" = "--human" ] && human=1

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
command -v xboard >/dev/null 2>&1 || missing+=(xboard)
source scripts/default-book.sh
[ -n "$(default_book_source)" ] || missing+=(gnuchess-book)
if [ $human -eq 0 ]; then
  command -v "${OPPONENT:-fairymax}" >/dev/null 2>&1 || missing+=("${OPPONENT:-fairymax}")
  [ -n "${DISPLAY:-}" ] || command -v Xvfb >/dev/null 2>&1 || missing+=(xvfb)
fi
source scripts/install-packages.sh
install_packages "${missing[@]}"

build_engine_with_book

# The engine ends at once when its settings file is missing (after writing one with paths
# of another machine's tablebases); give it a plain one instead, with the default book.
if [ ! -f build/skarne.ini ]; then
  printf 'HashSize=64Mb\nBook=skarne.boo\nLearn=1\n' > build/skarne.ini
  echo "Wrote build/skarne.ini"
elif ! grep -q '^Book' build/skarne.ini; then
  echo 'Book=skarne.boo' >> build/skarne.ini
  echo "Added Book=skarne.boo to build/skarne.ini"
fi
# Endgame tables made by skarne-tbgen (see the README) are used when they are there.
if [ -d build/tablebases ] && ! grep -q '^EGTBPath' build/skarne.ini; then
  echo 'EGTBPath=tablebases' >> build/skarne.ini
  echo "Added EGTBPath=tablebases to build/skarne.ini"
fi

if [ $human -eq 1 ]; then
  [ -n "${DISPLAY:-}" ] || { echo "--human needs a display" >&2; exit 2; }
  exec xboard -fcp ./skarne -fd "$root/build" -tc "${TC:-5}" -inc "${INC:-0}" -saveSettingsOnExit false
fi

work=$(mktemp -d)
pgn=$(realpath -m "${PGN:-build/play.pgn}")
: > "$pgn"
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ -n "${DEBUG_LOG:-}" ] && [ -f "$work/xboard.debug" ]; then cp "$work/xboard.debug" "$DEBUG_LOG"; fi
  rm -rf "$work"
}
trap cleanup EXIT

display=${DISPLAY:-}
if [ -z "$display" ]; then
  for n in $(seq 90 199); do
    if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
  done
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
fi

games=${GAMES:-1}
echo "Skarne against ${OPPONENT:-fairymax}: $games game(s) at ${TC:-0:30} + ${INC:-0.3}s in xboard"
(cd "$work" && DISPLAY="$display" HOME="$work" timeout $((games * 300 + 60)) xboard \
  -fcp ./skarne -fd "$root/build" -scp "${OPPONENT:-fairymax}" -mg "$games" \
  -tc "${TC:-0:30}" -inc "${INC:-0.3}" -sgf "$pgn" -xexit -noGUI -xponder \
  -autoCallFlag true -testClaims true -matchPause 1000 -saveSettingsOnExit false \
  -debug -nameOfDebugFile "$work/xboard.debug") >"$work/xboard.out" 2>&1 || true

cat "$pgn"
echo
grep '^\[Result ' "$pgn" || { echo "no game was recorded" >&2; tail -5 "$work/xboard.out" >&2; exit 1; }
