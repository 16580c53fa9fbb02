#!/usr/bin/env bash
# A soak of the engine against Debian's gnuchess and phalanx: games through the match runner
# (../shared/tools/match, copied to a scratch folder and set up with npm there) at several
# clocks, pondering on in part of them, then a run of games in the real xboard program
# (scripts/xboard-match.sh). Every game of one leg is played by one long-lived engine
# process, whose resident memory is sampled from its start to its end.
#   scripts/soak.sh                      the full soak: 12 legs, 520 games, then 8 in xboard
#   SOAK_GAMES=2 XBOARD_GAMES=2 scripts/soak.sh      a short check of the script itself
# Environment: games per leg at each clock, GAMES_40IN5 (default 30), GAMES_10 (default 20)
#   and GAMES_2 (default 80), so that the fast clocks, where timing faults show first, get
#   most of the games; SOAK_GAMES sets all three. XBOARD_GAMES (default 8; 0: none),
#   MATCH_DIR (the match runner, default ../shared/tools/match), OUT (default build/soak),
#   SOAK_LEGS (the legs to run, below; default all).
# A leg is one opponent at one clock, pondering on or off:
#   40 moves in 5 s, 10 s + 0.1 s, 2 s + 0.05 s; each against gnuchess and phalanx.
# Reports per leg and in all: games, illegal moves, time forfeits, crashes and exits, hangs
# (no reply), false claims, rejected moves, claim mismatches, protocol errors, and the
# engine's resident memory at the start and end of each process. Exit status 0 when no
# fault of the engine was seen.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
PATH="$PATH:/usr/games"
games_40in5=${GAMES_40IN5:-${SOAK_GAMES:-30}}
games_10=${GAMES_10:-${SOAK_GAMES:-20}}
games_2=${GAMES_2:-${SOAK_GAMES:-80}}
xboard_games=${XBOARD_GAMES:-8}
match_source=$(realpath -m "${MATCH_DIR:-../shared/tools/match}")
out=$(realpath -m "${OUT:-build/soak}")

missing=()
for tool in cmake g++ make node npm gnuchess phalanx; do
  command -v "$tool" >/dev/null 2>&1 && continue
  case $tool in node) missing+=(nodejs) ;; *) missing+=("$tool") ;; esac
done
source scripts/install-packages.sh
source scripts/default-book.sh
[ -n "$(default_book_source)" ] || missing+=(gnuchess-book)
install_packages "${missing[@]}"

build_engine_with_book >/dev/null

mkdir -p "$out"
match="$out/match"
if [ ! -d "$match/node_modules" ]; then
  rm -rf "$match"
  cp -r "$match_source" "$match"
  (cd "$match" && npm install --no-audit --no-fund >/dev/null)
fi

# The referee must read a move the moment it comes, or its clock charges its own wait to the
# engine: two pondering engines fill two cores, so both run five nice levels below it.

# Nice levels only order processes of one scheduling group: with the kernel's autogroups on,
# each engine the runner starts in a session of its own competes with the referee as an equal.
if [ "$(cat /proc/sys/kernel/sched_autogroup_enabled 2>/dev/null || echo 0)" = 1 ]; then
  echo "warning: autogroup scheduling is on (kernel.sched_autogroup_enabled); on a busy machine" \
       "the referee can lag and count its own wait as the engines' time" >&2
fi

# The engine's folder: settings with learning on (the learn file grows over the soak) and
# the default book. The launcher notes each process's id for the memory sampler.
engine_dir="$out/engine"
mkdir -p "$engine_dir"
cp build/skarne build/skarne.boo "$engine_dir/"
printf 'HashSize=64Mb\nBook=skarne.boo\nLearn=1\n' >"$engine_dir/skarne.ini"
cat >"$engine_dir/launch.sh" <<'LAUNCH'
#!/bin/sh
echo $$ >>"$(dirname "$0")/pids"
exec nice -n 5 "$(dirname "$0")/skarne"
LAUNCH
chmod +x "$engine_dir/launch.sh"

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || true; }

# Samples every running engine process once a second: the first and last figure per process.
sampler_pid=
start_sampler() {
  : >"$engine_dir/pids"
  : >"$1"
  (
    while :; do
      while read -r pid; do
        kb=$(rss_kb "$pid")
        [ -n "$kb" ] && echo "$pid $(date +%s) $kb" >>"$1"
      done <"$engine_dir/pids"
      sleep 1
    done
  ) &
  sampler_pid=$!
}
stop_sampler() { kill "$sampler_pid" 2>/dev/null || true; wait "$sampler_pid" 2>/dev/null || true; }
trap 'stop_sampler' EXIT

report="$out/report.txt"
: >"$report"
faults=0
legs=(
  "gnuchess|40/5|off" "gnuchess|40/5|on" "gnuchess|10+0.1|off" "gnuchess|10+0.1|on"
  "gnuchess|2+0.05|off" "gnuchess|2+0.05|on"
  "phalanx|40/5|off" "phalanx|40/5|on" "phalanx|10+0.1|off" "phalanx|10+0.1|on"
  "phalanx|2+0.05|off" "phalanx|2+0.05|on"
)
# SOAK_LEGS="gnuchess|40/5|on phalanx|2+0.05|off" runs only the legs named (a leg to repeat).
[ -z "${SOAK_LEGS:-}" ] || read -r -a legs <<<"$SOAK_LEGS"
for leg in "${legs[@]}"; do
  IFS='|' read -r opponent tc ponder <<<"$leg"
  name="$opponent-${tc//\//in}-ponder-$ponder"
  case $tc in
    40/5) games=$games_40in5 ;;
    10+0.1) games=$games_10 ;;
    *) games=$games_2 ;;
  esac
  case $opponent in
    gnuchess) opponent_cmd="nice -n 5 gnuchess" ;;
    phalanx) opponent_cmd="nice -n 5 phalanx -l-" ;;
  esac
  options=(--a "$engine_dir/launch.sh" --a-name Skarne --a-dir "$engine_dir" --b "$opponent_cmd"
           --b-name "$opponent" --games "$games" --tc "$tc" --openings "$match/openings.epd"
           --pgn "$out/$name.pgn" --json "$out/$name.json" --log "$out/logs-$name" --quiet)
  [ "$ponder" = on ] && options+=(--ponder)
  samples="$out/$name.rss"
  start_sampler "$samples"
  echo "== $name: $games games"
  (cd "$match" && node match.mjs "${options[@]}") >"$out/$name.out" 2>&1 || true
  stop_sampler
  # The runner's count of the engine's faults: its line "Skarne: illegal moves N, ...".
  stats=$(grep -m1 '^Skarne: illegal moves' "$out/$name.out" || true)
  count() { local n; n=$(sed -nE "s/.*$1 ([0-9]+).*/\1/p" <<<"$stats"); echo "${n:--}"; }
  played=$(sed -nE 's/^SUMMARY .* games=([0-9]+) .*/\1/p' "$out/$name.out")
  illegal=$(count "illegal moves") forfeit=$(count "time forfeits") crash=$(count "crashes")
  exits=$(count "exits") hang=$(count "no reply") falseclaim=$(count "false claims")
  rejected=$(count "rejected moves") mismatch=$(count "claim mismatches") errors=$(count "protocol errors")
  # Per process: first sample (before the tables are built), largest, last.
  memory=$(awk '{ if (!($1 in first)) first[$1] = $3; if ($3 > peak[$1]) peak[$1] = $3; last[$1] = $3 }
                END { for (p in first) { printf "%s%d/%d/%d MB", sep, first[p] / 1024, peak[p] / 1024, last[p] / 1024; sep = ", " } }' "$samples")
  # Time forfeits mean little on a saturated machine: the load goes into the report.
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  line="$name (load $load): games $played/$games, illegal $illegal, time forfeits $forfeit, crashes $crash, exits $exits, hangs $hang, false claims $falseclaim, rejected moves $rejected, claim mismatches $mismatch, protocol errors $errors, RSS first/peak/last ${memory:-none}"
  echo "$line" | tee -a "$report"
  grep '^SUMMARY' "$out/$name.out" >>"$report" || true
  [ "${played:-0}" = "$games" ] || faults=$((faults + 1))
  for n in $illegal $forfeit $crash $exits $hang $falseclaim $rejected $mismatch $errors; do
    [ "$n" = 0 ] || faults=$((faults + 1))
  done
done

if [ "$xboard_games" -gt 0 ]; then
  echo "== xboard: $xboard_games games against phalanx at 0:10 + 0.1 s"
  if GAMES=$xboard_games OPPONENT=phalanx OUT="$out/xboard" bash scripts/xboard-match.sh >"$out/xboard.out" 2>&1; then
    echo "xboard: $(tail -1 "$out/xboard.out")" | tee -a "$report"
  else
    echo "xboard: FAILED: $(grep -E 'FAIL|did not' "$out/xboard.out" | head -5)" | tee -a "$report"
    faults=$((faults + 1))
  fi
fi

echo "Report: $report"
[ $faults -eq 0 ] || { echo "$faults fault(s) seen"; exit 1; }
echo "No fault of the engine in any leg."
