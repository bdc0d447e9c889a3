#!/usr/bin/env bash
# End to end with sound: a 10 s 1080p25 H.264 + AAC clip (FFmpeg's testsrc2
# and a sine) through `fablix render`, paired run by run with FFmpeg's own
# transcode of it with the same encoder settings and the sound copied, both
# on their default threads:
#   .mp4   identity block    against  ffmpeg -c:v libx264 -crf 18 -preset medium -c:a copy
#   .mkv   identity block    against  ffmpeg with FFV1 as fablix writes .mkv, -c:a copy
#   .mp4   examples/duotone.fbl against the same x264 transcode
#   .mp4   identity block    against  ffmpeg -vf format=bgra,format=yuv420p and the same x264 settings
# farm-bench prints wall and CPU time and peak memory (min, median, max) of
# each and the ratio pair by pair; quote the medians.
#
#   bench/peer/clip-sound.sh [BUILD_DIR]      (default build/linux)
#   RUNS=N (default 3) sets the runs of each command; SECONDS_LONG=N (default 10) the clip's length.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build=${1:-build/linux}
fablix="$(realpath -m "$build/host/fablix/fablix")"
runs=${RUNS:-3}
length=${SECONDS_LONG:-10}
command -v ffmpeg >/dev/null || { echo "$0 needs ffmpeg (Debian: apt-get install ffmpeg)" >&2; exit 1; }
command -v farm-bench >/dev/null || { echo "$0 needs farm-bench on the PATH" >&2; exit 1; }
[ -x "$fablix" ] || { echo "$0: no fablix at $fablix; build first (cmake --build --preset linux)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$length" -c:v libx264 -pix_fmt yuv420p -c:a aac in.mp4
identity=(-b b -g g -r r -a a)
x264=(-c:v libx264 -crf 18 -preset medium -pix_fmt yuv420p)
# FFV1 as fablix writes .mkv: level 3 (sliced), every frame a key frame, slice CRCs, BGRA.
ffv1=(-c:v ffv1 -level 3 -g 1 -slicecrc 1 -pix_fmt bgra)

pair() {  # pair LABEL "FABLIX ARGS" "FFMPEG OUTPUT ARGS"
  echo "## $1 (load $(cut -d' ' -f1-3 /proc/loadavg))"
  farm-bench -n "$runs" --warmup 0 --timeout 3000 \
    --vs "ffmpeg -nostdin -loglevel error -y -i in.mp4 $3" \
    -- "$fablix" render --quiet -y $2
}

pair "x264 .mp4: identity" "${identity[*]} -crf 18 -preset medium in.mp4 ours.mp4" "${x264[*]} -c:a copy theirs.mp4"
pair "FFV1 .mkv: identity" "${identity[*]} in.mp4 ours.mkv" "${ffv1[*]} -c:a copy theirs.mkv"
pair "x264 .mp4: duotone" "--settings $root/examples/duotone.fbl -crf 18 -preset medium in.mp4 ours.mp4" \
  "${x264[*]} -c:a copy theirs.mp4"
# Like for like: FFmpeg's own round trip through BGRA, the frames fablix's formulas work on.
pair "x264 .mp4: identity / FFmpeg through BGRA" "${identity[*]} -crf 18 -preset medium in.mp4 ours.mp4" \
  "-vf format=bgra,format=yuv420p ${x264[*]} -c:a copy theirs.mp4"
