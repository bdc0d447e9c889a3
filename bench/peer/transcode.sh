#!/usr/bin/env bash
# End to end: a lossless 1080p FFV1 clip through `fablix render`, against
# FFmpeg's bare transcode of the same clip with the same encoder settings,
# both on their default threads; then the same into numbered PNGs. Each
# fablix row is run with the default block (whose output is busy, so its
# encoding costs far more than the test pattern's) and with the identity
# block, and the default block is also set against FFmpeg encoding fablix's
# own output, so that like is compared with like.
# Prints Markdown table rows: best wall time of three runs, and the CPU time
# (user + system) of that run. Any command that fails stops the script,
# with its messages.
#
#   bench/peer/transcode.sh [BUILD_DIR]      (default build/linux)
#   FRAMES=N (default 10) sets the clip's length.
set -euo pipefail
build=${1:-build/linux}
fablix="$(realpath -m "$build/host/fablix/fablix")"
frames=${FRAMES:-10}
command -v ffmpeg >/dev/null || { echo "$0 needs ffmpeg (Debian: apt-get install ffmpeg)" >&2; exit 1; }
[ -x "$fablix" ] || { echo "$0: no fablix at $fablix; build first (cmake --build --preset linux)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' TERM  # a failed step in a subshell stops the script this way
cd "$work"

exec 3>&2
run() {  # run COMMAND...: runs it quietly; on failure shows why and stops the script, subshells or not
  if ! "$@" >out.log 2>&1; then
    echo "failed: $*" >&3
    cat out.log >&3
    kill "$$"
    exit 1
  fi
}

# FFV1 as fablix writes .mkv: level 3 (sliced), every frame a key frame, BGRA.
ffv1=(-c:v ffv1 -level 3 -g 1 -slicecrc 1 -pix_fmt bgra)
run ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25" -frames:v "$frames" \
  "${ffv1[@]}" in.mkv
identity=(-b b -g g -r r -a a)
run "$fablix" render --quiet -y in.mkv busy.mkv  # the default block's output, for FFmpeg to encode

best() {  # best COMMAND...: "WALL CPU" of the fastest of three runs, in seconds
  local best="" times
  for _ in 1 2 3; do
    rm -rf png && mkdir png
    TIMEFORMAT='%R %U %S'
    times=$( { time run "$@"; } 2>&1 )
    times=$(awk '{ printf "%.2f %.2f", $1, $2 + $3 }' <<<"$times")
    if [ -z "$best" ] || awk -v a="${times%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$times
    fi
  done
  echo "$best"
}

row() {  # row LABEL "WALL CPU" "WALL CPU": a Markdown row, ours against theirs
  awk -v l="$1" -v o="$2" -v t="$3" 'BEGIN {
    split(o, a, " "); split(t, b, " ");
    printf "| %s | %.2f s (%.2f s CPU) | %.2f s (%.2f s CPU) | %.2f x |\n", l, a[1], a[2], b[1], b[2], a[1] / b[1] }'
}

echo "$frames frames of 1920x1080, default threads, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| | fablix | FFmpeg | ratio |"
echo "|---|---|---|---|"
ffv1_bare=$(best ffmpeg -hide_banner -y -i in.mkv "${ffv1[@]}" out.mkv)
ffv1_busy=$(best ffmpeg -hide_banner -y -i busy.mkv "${ffv1[@]}" out.mkv)
ffv1_default=$(best "$fablix" render --quiet -y in.mkv out.mkv)
row "FFV1: default block / FFmpeg's bare transcode" "$ffv1_default" "$ffv1_bare"
ffv1_identity=$(best "$fablix" render --quiet -y "${identity[@]}" in.mkv out.mkv)
row "FFV1: identity / FFmpeg's bare transcode" "$ffv1_identity" "$ffv1_bare"
row "FFV1: default block / FFmpeg transcoding its output" "$ffv1_default" "$ffv1_busy"
png_bare=$(best ffmpeg -hide_banner -y -i in.mkv png/f%04d.png)
png_busy=$(best ffmpeg -hide_banner -y -i busy.mkv png/f%04d.png)
png_default=$(best "$fablix" render --quiet -y in.mkv png/f%04d.png)
png_bytes=$(du -sb png | cut -f1)
row "PNG: default block / FFmpeg's bare transcode" "$png_default" "$png_bare"
png_identity=$(best "$fablix" render --quiet -y "${identity[@]}" in.mkv png/f%04d.png)
row "PNG: identity / FFmpeg's bare transcode" "$png_identity" "$png_bare"
row "PNG: default block / FFmpeg writing its output" "$png_default" "$png_busy"
identity_bytes=$(du -sb png | cut -f1)
run ffmpeg -hide_banner -y -i in.mkv png/f%04d.png
ffmpeg_bytes=$(du -sb png | cut -f1)
run ffmpeg -hide_banner -y -i busy.mkv png/f%04d.png
busy_bytes=$(du -sb png | cut -f1)
echo
awk -v f="$frames" -v a="$identity_bytes" -v b="$ffmpeg_bytes" -v c="$png_bytes" -v d="$busy_bytes" 'BEGIN {
  printf "PNG bytes per frame: test pattern %.2f MB (fablix, identity) / %.2f MB (FFmpeg); ", a / f / 1e6, b / f / 1e6;
  printf "default block %.2f MB (fablix) / %.2f MB (FFmpeg)\n", c / f / 1e6, d / f / 1e6 }'
