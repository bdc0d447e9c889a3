#!/usr/bin/env bash
# Measures every speed target side by side in one run and prints the rows of
# docs/PERFORMANCE.md's tables (Markdown), with the load average. Each figure
# is the median of ROUNDS runs (default 3) taken in turn, since the machine
# may be shared:
#   - the default block on one thread, 1080p, against the hand-vectorised
#     AVX-512 kernel of the same formulas; the identity against a memcpy of
#     the frame (the reference kernels are built here with g++ -O3 -march=native);
#   - every example of examples/ on one thread, 1080p;
#   - two threads against one: fablix bench, FFmpeg running the frei0r
#     plug-in on a 1080p clip (one core by taskset, against two), the
#     plug-in's instance alone (frei0r_bench), and the plug-in's execute
#     (execute_bench);
#   - 3840 x 2160 against 1920 x 1080;
#   - native code, the vector executor and the interpreter per formula set,
#     and the making of a native kernel (render_bench);
#   - end to end (bench/peer/transcode.sh) and against peers
#     (bench/peer/compare.sh), unless QUICK=1.
#
#   bench/targets.sh [BUILD_DIR]      (default build/linux)
#   LIMIT=path/to/limit               the reference kernels' folder (default ../shared/limit)
#   ROUNDS=N                          runs per figure (default 3)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(realpath -m "${1:-build/linux}")
fablix="$build/host/fablix/fablix"
render_bench="$build/bench/runtime/render_bench"
plugins="$build/host/frei0r"
limit=${LIMIT:-$root/../../shared/limit}
rounds=${ROUNDS:-3}
for tool in g++ python3 ffmpeg taskset; do
  command -v "$tool" >/dev/null || { echo "$0 needs $tool" >&2; exit 1; }
done
frei0r_bench="$build/bench/frei0r/frei0r_bench"
execute_bench="$build/bench/core/execute_bench"
for program in "$fablix" "$render_bench" "$plugins/fablix.so" "$frei0r_bench" "$execute_bench"; do
  [ -e "$program" ] || { echo "$0: no $program; build first (cmake --build --preset linux)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' TERM  # a failed step in a subshell stops the script this way

load() { cut -d' ' -f1-3 /proc/loadavg; }

bench() {  # bench THREADS [OPTIONS]: ms per frame (40 frames); a failure stops the script
  local threads=$1 json
  shift
  json=$("$fablix" bench --frames 40 --threads "$threads" --json "$@") ||
    { echo "failed: fablix bench --threads $threads $*" >&2; kill "$$"; exit 1; }
  python3 -c 'import json,sys; print("%.2f" % json.load(sys.stdin)["msPerFrame"])' <<<"$json"
}

two_threads() {  # two_threads BENCH: its table rows, one thread against two
  "$1" --benchmark_repetitions="$((rounds < 2 ? 2 : rounds))" --benchmark_report_aggregates_only=true \
    --benchmark_format=json 2>/dev/null | python3 -c '
import json, sys
t = {}
for b in json.load(sys.stdin)["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name, threads = b["run_name"].split("/")[:2]
        t.setdefault(name, {})[threads.split(":")[1]] = b["real_time"]
for name, v in t.items():
    print("| `%s`, %s, ms per frame | %.2f | %.2f | %.2f | at least 1.8 |" % (sys.argv[1], name, v["1"], v["2"], v["1"] / v["2"]))
' "$(basename "$1")"
}

median() {  # median VALUES...
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {  # ratio A B: A / B
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

seconds() {  # seconds COMMAND...: wall time of the command
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; kill "$$"; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

echo "Load average at the start: $(load); medians of $rounds runs each"
echo
identity=(-b b -g g -r r -a a)
if [ -f "$limit/seventies_avx512.cpp" ] && [ -f "$limit/seventies.cpp" ]; then
  g++ -O3 -march=native -o "$work/seventies" "$limit/seventies.cpp"
  g++ -O3 -march=native -o "$work/seventies512" "$limit/seventies_avx512.cpp"
  avx512=() memcpy=() ours=() ours_identity=()
  for _ in $(seq "$rounds"); do  # in turn, so that a change of load touches all alike
    line=$("$work/seventies512" 1920 1080 20) || { echo "failed: seventies_avx512" >&2; exit 1; }
    avx512+=("$(sed -E 's/.*avx512 ([0-9.]+) ms.*/\1/' <<<"$line")")
    line=$("$work/seventies" 1920 1080 20) || { echo "failed: seventies" >&2; exit 1; }
    memcpy+=("$(sed -E 's/.*memcpy ([0-9.]+) ms.*/\1/' <<<"$line")")
    ours+=("$(bench 1)")
    ours_identity+=("$(bench 1 "${identity[@]}")")
  done
  echo "| 1080p, one thread, ms per frame | fablix bench | reference | ratio | goal |"
  echo "|---|---|---|---|---|"
  echo "| default block / hand-vectorised AVX-512 kernel | $(median "${ours[@]}") | $(median "${avx512[@]}") |" \
    "$(ratio "$(median "${ours[@]}")" "$(median "${avx512[@]}")") | at most 1.5 |"
  echo "| identity / memcpy of the frame | $(median "${ours_identity[@]}") | $(median "${memcpy[@]}") |" \
    "$(ratio "$(median "${ours_identity[@]}")" "$(median "${memcpy[@]}")") | at most 2 |"
else
  echo "(no reference kernels in $limit: set LIMIT=folder of seventies.cpp and seventies_avx512.cpp for their rows)"
fi
echo

echo "| example, 1080p, one thread | executor | ms per frame | goal |"
echo "|---|---|---|---|"
for settings in "$root"/examples/*.fbl; do
  times=()
  for _ in $(seq "$rounds"); do times+=("$(bench 1 --settings "$settings")"); done
  executor=$("$fablix" bench --frames 1 --threads 1 --json --settings "$settings" |
    python3 -c 'import json,sys; print(json.load(sys.stdin)["executor"])')
  echo "| $(basename "$settings" .fbl) | $executor | $(median "${times[@]}") | at most 20 |"
done
echo

one=() two=() hd=() uhd=()
for _ in $(seq "$rounds"); do
  one+=("$(bench 1)")
  two+=("$(bench 2)")
  hd+=("$(bench 1 --size 1920x1080)")
  uhd+=("$(bench 1 --size 3840x2160)")
done
# FFmpeg's frei0r filter on a 1080p clip, the plug-in on one core and on
# two; the same pipeline without the filter is taken off.
clip=(-f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=4")
ffmpeg=(ffmpeg -nostdin -hide_banner -loglevel error)
bare=() f1=() f2=()
for _ in $(seq "$rounds"); do
  bare+=("$(seconds "${ffmpeg[@]}" "${clip[@]}" -vf format=bgra -f null -)")
  f1+=("$(FREI0R_PATH=$plugins seconds taskset -c 0 "${ffmpeg[@]}" "${clip[@]}" -vf format=bgra,frei0r=fablix -f null -)")
  f2+=("$(FREI0R_PATH=$plugins seconds "${ffmpeg[@]}" "${clip[@]}" -vf format=bgra,frei0r=fablix -f null -)")
done
filter1=$(awk -v a="$(median "${f1[@]}")" -v b="$(median "${bare[@]}")" 'BEGIN { printf "%.3f", a - b }')
filter2=$(awk -v a="$(median "${f2[@]}")" -v b="$(median "${bare[@]}")" 'BEGIN { printf "%.3f", a - b }')
echo "| default block, 1080p | 1 thread | 2 threads | speed-up | goal |"
echo "|---|---|---|---|---|"
echo "| \`fablix bench --threads N --frames 40\`, ms per frame | $(median "${one[@]}") | $(median "${two[@]}") |" \
  "$(ratio "$(median "${one[@]}")" "$(median "${two[@]}")") | at least 1.8 |"
echo "| \`ffmpeg -vf frei0r=fablix\`, 50 frames, s less the bare pipeline's $(median "${bare[@]}") s (one core: taskset -c 0) |" \
  "$filter1 | $filter2 | $(ratio "$filter1" "$filter2") | at least 1.8 |"
# The frei0r plug-in's instance alone on a 1080p frame, without FFmpeg's
# pipeline around it, and the plug-in's execute inside one call of a host,
# the process confined to one processor and to two (wall time).
two_threads "$frei0r_bench"
two_threads "$execute_bench"

echo
echo "| default block, one thread, ms per frame | 1920 x 1080 | 3840 x 2160 | ratio | goal |"
echo "|---|---|---|---|---|"
echo "| \`fablix bench --threads 1 --size WxH\` | $(median "${hd[@]}") | $(median "${uhd[@]}") |" \
  "$(ratio "$(median "${uhd[@]}")" "$(median "${hd[@]}")") | at most 4.2 |"
echo

echo "| 1080p, CPU ms per frame (median of $rounds) | native | vector executor | interpreter |"
echo "|---|---|---|---|"
"$render_bench" --benchmark_repetitions="$((rounds < 2 ? 2 : rounds))" --benchmark_report_aggregates_only=true --benchmark_format=json \
  2>/dev/null | python3 -c '
import json, sys
runs, kernels, copy = {}, {}, None
for b in json.load(sys.stdin)["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    if b["run_name"] == "FrameMemcpy":
        copy = b["cpu_time"]
    elif "/executor:" in b["run_name"]:
        name, arg = b["run_name"].split("/executor:")
        runs.setdefault(name, {})[arg] = b["cpu_time"]
    else:
        kernels[b["run_name"]] = b["cpu_time"]
for name, t in runs.items():
    print("| %s | %.1f | %.1f | %.1f |" % (name, t["0"], t["2"], t["1"]))
if copy is not None and "Identity" in runs:
    print()
    print("| identity, native, CPU ms | memcpy of the frame, CPU ms | ratio | goal |")
    print("|---|---|---|---|")
    print("| %.2f | %.2f | %.2f | at most 2 |" % (runs["Identity"]["0"], copy, runs["Identity"]["0"] / copy))
print()
print("| making a native kernel, CPU us (median) | time | goal |")
print("|---|---|---|")
for name, t in kernels.items():
    print("| %s | %.0f | at most 1000 |" % (name, t))
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
