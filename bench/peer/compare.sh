#!/usr/bin/env bash
# Times the default block's formulas on 1920 x 1080 frames with fablix
# (fablix bench) and with two peers on equivalent formulas: FFmpeg's geq
# filter and G'MIC's -fill. Each on one thread and on every core; wall time
# per frame, with each peer's cost of the same pipeline without the filter
# taken off. Prints Markdown table rows.
#
#   bench/peer/compare.sh [BUILD_DIR]      (default build/linux)
#
# The equivalents: sin(v) is 512 sin(2 pi v / 1024), cos likewise, "y" is
# H-1-Y, scl(c,-511,512,0,Y) is (c+511)(Y+1)/1024, and val(k,0,64) at the
# default sliders 21, 99, 141, 67, 54, 16 is 5, 25, 35, 17, 13, 4.
# Needs ffmpeg (installed by scripts/packages) and gmic (Debian: apt-get
# install gmic), which the project's own scripts do not install.
set -euo pipefail
build=${1:-build/linux}
fablix="$build/host/fablix/fablix"
frames=${FRAMES:-5}
size=1920x1080
for tool in ffmpeg gmic python3; do
  command -v "$tool" >/dev/null || { echo "$0 needs $tool (Debian: apt-get install $tool)" >&2; exit 1; }
done
[ -x "$fablix" ] || { echo "$0: no fablix at $fablix; build first (cmake --build --preset linux)" >&2; exit 1; }

formula() {  # formula X Y W H K1 K2: one channel of the default block
  local y="($4-1-$2)"
  echo "512*sin(2*PI*($1-(512*cos(2*PI*$y/1024)+511)*($4+1)/1024)*$5/1024)-512*sin(2*PI*($y-(512*cos(2*PI*$1/1024)+511)*($3+1)/1024)*$6/1024)"
}

exec 3>&2
trap 'exit 1' TERM  # a failed step in a subshell stops the script this way
seconds() {  # seconds COMMAND...: wall time of the command; a failure stops the script
  local start end log
  log=$(mktemp)
  start=$(date +%s.%N)
  if ! "$@" >/dev/null 2>"$log"; then
    echo "failed: $*" >&3
    cat "$log" >&3
    rm -f "$log"
    kill "$$"  # the figures are taken in subshells: stop the script itself
    exit 1
  fi
  end=$(date +%s.%N)
  rm -f "$log"
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

per_frame() {  # per_frame WITH WITHOUT: ms per frame of the difference
  awk -v a="$1" -v b="$2" -v n="$frames" 'BEGIN { printf "%.1f", (a - b) * 1000 / n }'
}

geq() {  # geq THREADS FILTER
  local threads=()
  [ "$1" = 1 ] && threads=(-threads 1 -filter_threads 1)
  ffmpeg -hide_banner -loglevel error "${threads[@]}" -f lavfi -i "testsrc2=size=$size:rate=25" \
    -frames:v "$frames" -vf "$2" -f null -
}
geq_filter="format=gbrap,geq=r='$(formula X Y W H 5 25)':g='$(formula X Y W H 35 17)':b='$(formula X Y W H 13 4)':a='alpha(X,Y)'"

gmic_run() {  # gmic_run EXPRESSION: fill a frame $frames times
  gmic -v - -input "${size/x/,},1,4" -repeat "$frames" -fill "$1" -done
}
gmic_fill="c==0?$(formula x y w h 5 25):c==1?$(formula x y w h 35 17):c==2?$(formula x y w h 13 4):i"
gmic_fill=${gmic_fill//PI/pi}

ours() {  # ours THREADS: ms per frame from fablix bench
  local json
  json=$("$fablix" bench --size "$size" --frames $((frames * 4)) --threads "$1" --json) ||
    { echo "failed: fablix bench" >&3; kill "$$"; exit 1; }
  python3 -c 'import json,sys; print("%.1f" % json.load(sys.stdin)["msPerFrame"])' <<<"$json"
}

cores=$(nproc)
echo "$frames frames of $size, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| ms per frame | 1 thread | default threads ($cores cores) |"
echo "|---|---|---|"
echo "| \`fablix bench\`, default block | $(ours 1) | $(ours "$cores") |"
echo "| FFmpeg \`geq\` | $(per_frame "$(seconds geq 1 "$geq_filter")" "$(seconds geq 1 format=gbrap)") |" \
  "$(per_frame "$(seconds geq 0 "$geq_filter")" "$(seconds geq 0 format=gbrap)") |"
echo "| G'MIC \`-fill\` | $(per_frame "$(OMP_NUM_THREADS=1 seconds gmic_run "$gmic_fill")" "$(OMP_NUM_THREADS=1 seconds gmic_run i)") |" \
  "$(per_frame "$(seconds gmic_run "$gmic_fill")" "$(seconds gmic_run i)") |"
