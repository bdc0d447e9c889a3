#!/usr/bin/env bash
# Measures every speed target side by side in one run and prints the rows of
# docs/PERFORMANCE.md's tables (Markdown), with the load average:
#   - the default block and the identity on one thread against a
#     hand-written scalar kernel of the default block and a memcpy of the
#     frame (the reference kernel is built here with g++ -O3 -march=native);
#   - two threads against one (fablix bench);
#   - polar, blur and noise on the vector executor against the interpreter
#     (render_bench);
#   - end to end (bench/peer/transcode.sh) and against peers
#     (bench/peer/compare.sh), unless QUICK=1.
#
#   bench/targets.sh [BUILD_DIR]      (default build/linux)
#   SEVENTIES=path/to/seventies.cpp   the reference kernel (default
#                                     ../shared/limit/seventies.cpp)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath -m "${1:-build/linux}")
fablix="$build/host/fablix/fablix"
render_bench="$build/bench/runtime/render_bench"
seventies_source=${SEVENTIES:-$here/../../shared/limit/seventies.cpp}
for tool in g++ python3; do
  command -v "$tool" >/dev/null || { echo "$0 needs $tool" >&2; exit 1; }
done
for program in "$fablix" "$render_bench"; do
  [ -x "$program" ] || { echo "$0: no $program; build first (cmake --build --preset linux)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' TERM  # a failed step in a subshell stops the script this way

load() { cut -d' ' -f1-3 /proc/loadavg; }

bench() {  # bench THREADS [BLOCK OPTIONS]: ms per 1080p frame; a failure stops the script
  local threads=$1 json
  shift
  json=$("$fablix" bench --frames 40 --threads "$threads" --json "$@") ||
    { echo "failed: fablix bench --threads $threads $*" >&2; kill "$$"; exit 1; }
  python3 -c 'import json,sys; print("%.2f" % json.load(sys.stdin)["msPerFrame"])' <<<"$json"
}

range() {  # range VALUES...: "low to high"
  printf '%s\n' "$@" | sort -g | awk 'NR == 1 { low = $1 } { high = $1 } END { print (low == high) ? low : low " to " high }'
}

ratio() {  # ratio A B: A / B
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

echo "Load average at the start: $(load)"
echo
identity=(-b b -g g -r r -a a)
if [ -f "$seventies_source" ]; then
  g++ -O3 -march=native -o "$work/seventies" "$seventies_source"
  plain=() memcpy=() ours=() ours_identity=()
  for _ in 1 2 3; do  # in turn, so that a change of load touches all alike
    line=$("$work/seventies" 1920 1080 20) || { echo "failed: $seventies_source" >&2; exit 1; }
    plain+=("$(sed -E 's/.*plain ([0-9.]+) ms.*/\1/' <<<"$line")")
    memcpy+=("$(sed -E 's/.*memcpy ([0-9.]+) ms.*/\1/' <<<"$line")")
    ours+=("$(bench 1)")
    ours_identity+=("$(bench 1 "${identity[@]}")")
  done
  best_plain=$(range "${plain[@]}" | cut -d' ' -f1)
  best_memcpy=$(range "${memcpy[@]}" | cut -d' ' -f1)
  best_ours=$(range "${ours[@]}" | cut -d' ' -f1)
  best_identity=$(range "${ours_identity[@]}" | cut -d' ' -f1)
  echo "| 1080p, one thread, ms per frame | fablix bench | reference | ratio (best of three each) | goal |"
  echo "|---|---|---|---|---|"
  echo "| default block / hand-written kernel | $(range "${ours[@]}") | $(range "${plain[@]}") |" \
    "$(ratio "$best_ours" "$best_plain") | at most 0.5 |"
  echo "| identity / memcpy of the frame | $(range "${ours_identity[@]}") | $(range "${memcpy[@]}") |" \
    "$(ratio "$best_identity" "$best_memcpy") | at most 10 |"
else
  echo "(no reference kernel at $seventies_source: set SEVENTIES=path/to/seventies.cpp for its rows)"
fi
echo

one=() two=()
for _ in 1 2 3; do
  one+=("$(bench 1)")
  two+=("$(bench 2)")
done
echo "| default block, 1080p, ms per frame | 1 thread | 2 threads | speed-up (best of three each) | goal |"
echo "|---|---|---|---|---|"
echo "| \`fablix bench --threads N --frames 40\` | $(range "${one[@]}") | $(range "${two[@]}") |" \
  "$(ratio "$(range "${one[@]}" | cut -d' ' -f1)" "$(range "${two[@]}" | cut -d' ' -f1)") | at least 1.8 |"
echo

echo "| 1080p, CPU ms per frame (median of three) | vector executor | interpreter | speed-up | goal |"
echo "|---|---|---|---|---|"
"$render_bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true --benchmark_format=json \
  2>/dev/null | python3 -c '
import json, sys
runs = {}
for b in json.load(sys.stdin)["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name, arg = b["run_name"].split("/interpreter:")
        runs.setdefault(name, {})[arg] = b["cpu_time"]
goals = {"Polar": "at least 3", "Blur": "at least 3", "Noise": "at least 3"}
for name, t in runs.items():
    print("| %s | %.1f | %.1f | %.1f x | %s |" % (name, t["0"], t["1"], t["1"] / t["0"], goals.get(name, "")))
'
echo
echo "Load average after the kernels: $(load)"

if [ "${QUICK:-0}" != 1 ]; then
  echo
  bash "$here/peer/transcode.sh" "$build"
  echo
  bash "$here/peer/compare.sh" "$build"
  echo
  echo "Load average at the end: $(load)"
fi
