#!/usr/bin/env bash
# End to end: fablix render of a lossless 1080p clip (the default block)
# against FFmpeg's bare transcode of the same clip with the same encoder
# settings, both on their default threads; then the same with a numbered
# PNG output. Wall time, best of three runs each.
#
#   bench/peer/transcode.sh [BUILD_DIR]      (default build/linux)
set -euo pipefail
build=${1:-build/linux}
fablix="$(realpath "$build/host/fablix/fablix")"
frames=${FRAMES:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# FFV1 as fablix writes .mkv: level 3 (sliced), every frame a key frame, BGRA.
ffv1=(-c:v ffv1 -level 3 -g 1 -slicecrc 1 -pix_fmt bgra)
ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc2=size=1920x1080:rate=25" -frames:v "$frames" \
  "${ffv1[@]}" in.mkv

best() {  # best COMMAND...: the shortest wall time of three runs, in seconds
  local best="" start end t
  for _ in 1 2 3; do
    rm -rf png && mkdir png
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
  echo "$best"
}

row() {  # row LABEL OURS THEIRS
  awk -v l="$1" -v o="$2" -v t="$3" 'BEGIN { printf "%-28s %8.2f s %8.2f s %6.2f x\n", l, o, t, o / t }'
}

echo "$frames frames of 1920x1080, default threads     fablix    FFmpeg  ratio"
row "FFV1 .mkv" "$(best "$fablix" render --quiet in.mkv out.mkv)" \
  "$(best ffmpeg -hide_banner -y -i in.mkv "${ffv1[@]}" out.mkv)"
row "numbered PNG" "$(best "$fablix" render --quiet in.mkv png/f%04d.png)" \
  "$(best ffmpeg -hide_banner -y -i in.mkv png/f%04d.png)"
