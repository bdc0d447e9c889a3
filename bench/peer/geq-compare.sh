#!/usr/bin/env bash
# Times FFmpeg's geq filter, single-threaded, on formulas equivalent to the
# default block's on a 1920 x 1080 frame, against the render benchmark of
# the interpreter, and prints the ratio.
#
#   bench/peer/geq-compare.sh [BUILD_DIR]      (default build/linux)
#
# The equivalents: sin(v) is 512 sin(2 pi v / 1024), cos likewise, "y" is
# H-1-Y, scl(c,-511,512,0,Y) is (c+511)(Y+1)/1024, and val(k,0,64) at the
# default sliders 21, 99, 141, 67, 54, 16 is 5, 25, 35, 17, 13, 4.
set -euo pipefail
build=${1:-build/linux}
frames=5

formula() {  # formula K1 K2: one channel of the default block
  local y='(H-1-Y)'
  echo "512*sin(2*PI*(X-(512*cos(2*PI*$y/1024)+511)*(H+1)/1024)*$1/1024)-512*sin(2*PI*($y-(512*cos(2*PI*X/1024)+511)*(W+1)/1024)*$2/1024)"
}
geq="format=gbrap,geq=r='$(formula 5 25)':g='$(formula 35 17)':b='$(formula 13 4)':a='alpha(X,Y)'"

run() {  # run FILTER: CPU seconds of ffmpeg filtering $frames frames
  local TIMEFORMAT='%U %S' times
  times=$( { time ffmpeg -hide_banner -loglevel error -threads 1 -filter_threads 1 \
      -f lavfi -i "testsrc2=size=1920x1080:rate=25" -frames:v $frames -vf "$1" -f null - ; } 2>&1 | tail -1)
  awk -v t="$times" 'BEGIN { split(t, a, " "); print a[1] + a[2] }'
}

with=$(run "$geq")
without=$(run "format=gbrap")
geq_ms=$(awk -v a="$with" -v b="$without" -v n=$frames 'BEGIN { printf "%.1f", (a - b) * 1000 / n }')

ours_ms=$("$build/bench/runtime/render_bench" --benchmark_filter='^DefaultBlock$' --benchmark_format=json 2>/dev/null |
  python3 -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"][0]; print("%.1f" % (b["cpu_time"]))')

echo "geq (1 thread):        $geq_ms ms per frame"
echo "fablix interpreter:    $ours_ms ms per frame"
awk -v g="$geq_ms" -v o="$ours_ms" 'BEGIN { printf "ratio:                 %.1f x\n", g / o }'
