#!/usr/bin/env bash
# The fuzz targets of fuzz/: built with clang's libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer, every seed corpus replayed (a finding fixed once stays fixed:
# its input lives in the corpus), then each target run for a while from a copy of its
# corpus, so the repository's corpora stay as they are.
#   scripts/fuzz.sh                      replay, then 30 s per target
#   FUZZ_SECONDS=600 scripts/fuzz.sh fen book
# Environment: FUZZ_SECONDS (default 30; 0 replays only), BUILD_DIR (default build-fuzz),
# FUZZ_SEED (default 1, so that a short run walks the same paths each time; 0 picks one).
# Inputs that fail are kept in $BUILD_DIR/fuzz-findings/<target>/. Exit status 1 on any.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=($(ls fuzz/corpus))

if ! command -v clang++ >/dev/null 2>&1; then
  source scripts/install-packages.sh
  install_packages clang
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKARNE_FUZZ=ON \
  -DSKARNE_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz-}" >/dev/null

status=0
for target in "${targets[@]}"; do
  findings="$build/fuzz-findings/$target"
  work="$build/fuzz-corpus/$target"
  mkdir -p "$findings" "$work"
  # Absolute: a target works inside its scratch folder, and a crash or a timeout is written
  # from there.
  options=(-timeout=20 -seed="${FUZZ_SEED:-1}" -dict="fuzz/dict/$target.dict"
           -artifact_prefix="$(realpath "$findings")/")
  echo "== fuzz-$target: replaying $(ls "fuzz/corpus/$target" | wc -l) corpus files"
  if ! "$build/fuzz-$target" "${options[@]}" -runs=0 "fuzz/corpus/$target" >"$findings/replay.log" 2>&1; then
    tail -40 "$findings/replay.log"
    status=1
    continue
  fi
  [ "$seconds" -gt 0 ] || continue
  cp -n "fuzz/corpus/$target"/* "$work/"
  if "$build/fuzz-$target" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 "$work" \
      >"$findings/run.log" 2>&1; then
    echo "   $(grep -o 'number_of_executed_units: *[0-9]*' "$findings/run.log" | tr -s ' ') in ${seconds} s, no finding"
  else
    tail -40 "$findings/run.log"
    status=1
  fi
done
exit $status
