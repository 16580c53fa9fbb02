#!/usr/bin/env bash
# Side-by-side speed of two skarne-bench builds on this machine, in one run:
#   scripts/speed-compare.sh BASE_BENCH NEW_BENCH [ROUNDS]
# Prints the node count and nodes per second of the default bench, alternating the builds
# ROUNDS times (default 3), then the instructions per node of the depth-5 search under
# callgrind (search only: counting starts in Think), which does not depend on the load.
# Both builds must report the same node counts, or the comparison means nothing.
set -euo pipefail
base=${1:?base skarne-bench}
new=${2:?new skarne-bench}
rounds=${3:-3}
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

last() { "$@" | tail -n 1; }
declare -A nps_sum nodes
for name in base new; do nps_sum[$name]=0; done
for ((r = 1; r <= rounds; ++r)); do
  for name in base new; do
    bench=${!name}
    read -r _ n _ nps < <(last "$bench")
    nodes[$name]=$n
    nps_sum[$name]=$((nps_sum[$name] + nps))
    echo "round $r $name: nodes $n nps $nps"
  done
done

ipn() {
  local bench=$1 out=$2
  local n
  n=$(valgrind --tool=callgrind --toggle-collect='Think*' --callgrind-out-file="$out" \
        "$bench" --depth 5 2>/dev/null | tail -n 1 | awk '{print $2}')
  local ir
  ir=$(callgrind_annotate "$out" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
  echo "$n $ir"
}
read -r base_n5 base_ir < <(ipn "$base" "$work/base.cg")
read -r new_n5 new_ir < <(ipn "$new" "$work/new.cg")

echo
printf '%-5s %10s %12s %10s %14s %10s\n' build nodes "mean nps" "nodes d5" "instr d5" "instr/node"
for name in base new; do
  if [ $name = base ]; then n5=$base_n5 ir=$base_ir; else n5=$new_n5 ir=$new_ir; fi
  printf '%-5s %10s %12d %10s %14s %10.1f\n' $name "${nodes[$name]}" $((nps_sum[$name] / rounds)) \
    "$n5" "$ir" "$(echo "$ir / $n5" | bc -l)"
done
echo
awk -v b=$((nps_sum[base])) -v n=$((nps_sum[new])) -v bi="$base_ir" -v bn="$base_n5" \
    -v ni="$new_ir" -v nn="$new_n5" 'BEGIN {
  printf "nps: %+.1f %%   instructions per node: %+.1f %%\n", (n / b - 1) * 100, ((ni / nn) / (bi / bn) - 1) * 100 }'
if [ "${nodes[base]}" != "${nodes[new]}" ] || [ "$base_n5" != "$new_n5" ]; then
  echo "node counts differ: the builds do not search alike" >&2
  exit 1
fi
