#!/usr/bin/env bash
# Runs fablix.so inside a real frei0r host and compares its frames with
# `fablix render` on the same lossless clip, byte for byte.
#
#   InHost.sh ffmpeg|melt|gstreamer FABLIX PLUGIN_FOLDER [WIDTHxHEIGHT... | time FPS...]
#
# The clip: 4 frames of 64 x 48 at 25 fps, FFV1 with alpha. The blocks: an
# example settings file whose formulas read "t" (and "rnd", seeded by "t"),
# with formulas given as parameters on top, holding the characters that
# the hosts' own syntax uses (",", ":", "|") and a slider; and a plug-in
# built from that block by `fablix build --frei0r`, its slider and the two
# sliders of its map set through the host's parameters.
#
# Given sizes, it runs the formulas block alone on a clip of each size
# instead, in the host's usual ways in: FFmpeg rows are padded in memory
# unless 4 x the width is a multiple of the CPU's vector alignment, so odd
# widths show whether the plug-in finds each frame's rows.
#
# Given "time" and frame rates, it checks that "t" is the frame index and
# "T" the last one at each rate, with nothing around the filter and the
# frame rate and clip length given as plain numbers where the host takes
# them: the editor plug-in with formulas of t and T, and a plug-in built
# with --fps.
set -euo pipefail
host=$1 fablix=$2
export FREI0R_PATH=$3
shift 3
sizes=("$@")
here=$(cd "$(dirname "$0")" && pwd)
examples=$(cd "$here/../../../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export GST_REGISTRY=$work/registry.bin  # a registry of our own: nothing cached elsewhere
ffmpeg=(ffmpeg -nostdin -hide_banner -loglevel error -y)
width=64 height=48 rate=25 frames=4

# clip.mkv and clip.bgra: 4 frames of width x height, alpha rising along x.
make_clip() {
  "${ffmpeg[@]}" -f lavfi -i "testsrc2=size=${width}x$height:rate=$rate,format=bgra,geq=b='b(X,Y)':g='g(X,Y)':r='r(X,Y)':a='X*4'" \
    -frames:v $frames -c:v ffv1 -r $rate clip.mkv
  "${ffmpeg[@]}" -i clip.mkv -f rawvideo -pix_fmt bgra clip.bgra
}

# The tool's frames, as raw BGRA.
# (PNG frames for the sizes given: the tool's FFV1 wants frames of a few
# pixels at least.)
reference() {
  local frames=reference.mkv
  [ ${#sizes[@]} -gt 0 ] && frames=reference%02d.png
  "$fablix" render --quiet -y "$@" clip.mkv "$frames"
  "${ffmpeg[@]}" -i "$frames" -f rawvideo -pix_fmt bgra reference.bgra
}

# Fails unless output.bgra holds the reference's 4 frames.
compare() {
  if [ "$(stat -c %s reference.bgra)" != $((frames * width * height * 4)) ] || ! cmp -s output.bgra reference.bgra; then
    echo "$host, $1, ${width}x$height: the frames differ from fablix render's ($(stat -c %s output.bgra) and" \
      "$(stat -c %s reference.bgra) bytes; first difference: $(cmp output.bgra reference.bgra 2>&1 | head -1))" >&2
    exit 1
  fi
  echo "$host, $1, ${width}x$height: the $frames frames equal fablix render's"
}

# Runs `host` on the clip with `example` and, when `formulas` is given,
# the formulas and slider of the second block below; writes output.bgra.
# FFmpeg gives its time in milliseconds: frame-rate 0.000025 is 25 frames a
# second there. clip-length 0.000004 makes "T" 3.
in_ffmpeg() {
  local params="$1|||||0.000025|0.000004"
  [ "$2" = formulas ] && params="'$1||r\\\\|g|a?b\\:r|cnv(1,2,1,2,4,2,1,2,1,16)|0.000025|0.000004|n|0.2'"
  "${ffmpeg[@]}" -i clip.mkv -vf "frei0r=fablix:$params" -f rawvideo -pix_fmt bgra output.bgra
}
# melt now and then stalls before its first frame (with no filter too: its
# worker threads wait on each other, and the output stays empty), more
# often on a busy machine. A run whose output is still empty after a few
# seconds is ended and tried again; the last try gets a minute, so a slow
# machine is never mistaken for a stall.
melt_to_mkv() {
  local try pid waited
  for try in 1 2 3 4 5 6 7 8; do
    rm -f output.mkv
    melt -silent -quiet "$@" -consumer avformat:output.mkv vcodec=ffv1 pix_fmt=bgra an=1 \
      </dev/null 2>/dev/null &
    pid=$!
    for waited in $(seq 600); do
      kill -0 "$pid" 2>/dev/null || break
      if [ "$try" -lt 8 ] && [ "$waited" -ge 40 ] && [ ! -s output.mkv ]; then
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null || true
        echo "$host: melt stalled before its first frame, run $try; trying again" >&2
        continue 2
      fi
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      kill -9 "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null || true
      echo "$host: melt did not finish in a minute" >&2
      return 1
    fi
    wait "$pid" 2>/dev/null && [ -s output.mkv ] && return
  done
  return 1
}
in_melt() {
  local params=(settings="$1" clip-length=0.000004)
  [ "$2" = formulas ] && params+=('formula-g=r|g' 'formula-r=a?b:r' 'formula-a=cnv(1,2,1,2,4,2,1,2,1,16)' slider-0=0.2)
  melt_to_mkv clip.mkv -filter frei0r.fablix "${params[@]}"
  "${ffmpeg[@]}" -i output.mkv -f rawvideo -pix_fmt bgra output.bgra
}
in_gstreamer() {
  local params=(settings="$1" clip-length=0.000004)
  [ "$2" = formulas ] && params+=('formula-g="r|g"' 'formula-r="a?b:r"' 'formula-a="cnv(1,2,1,2,4,2,1,2,1,16)"' slider-0=0.2)
  gst-launch-1.0 -q filesrc location=clip.bgra \
    ! rawvideoparse width=$width height=$height format=bgra framerate=$rate/1 \
    ! frei0r-filter-fablix "${params[@]}" \
    ! filesink location=output.bgra
}

# The built plug-in, Grain.so, named "Film:Grain": parameters Amount
# (slider 0), "Curve 1" and "Curve 2" (map 1: sliders 2 and 3). Its "t"
# runs at 25 frames per second in every host, FFmpeg's milliseconds
# included.
in_ffmpeg_built() {
  "${ffmpeg[@]}" -i clip.mkv -vf "frei0r=Grain:0.4|0.2|0.8" -f rawvideo -pix_fmt bgra output.bgra
}
in_melt_built() {
  melt_to_mkv clip.mkv -filter frei0r.Grain Amount=0.4 'Curve 1=0.2' 'Curve 2=0.8'
  "${ffmpeg[@]}" -i output.mkv -f rawvideo -pix_fmt bgra output.bgra
}
in_gstreamer_built() {
  gst-launch-1.0 -q filesrc location=clip.bgra \
    ! rawvideoparse width=$width height=$height format=bgra framerate=$rate/1 \
    ! frei0r-filter-film-grain amount=0.4 curve-1=0.2 curve-2=0.8 \
    ! filesink location=output.bgra
}

case $host in
  ffmpeg | melt | gstreamer) ;;
  *) echo "unknown host '$host'" >&2; exit 2 ;;
esac

# "t" and "T" of the editor plug-in at `rate`: FFmpeg and MLT take the
# frame rate and the clip length as plain numbers; GStreamer holds numbers
# to 0..1, so there they are scaled (frames per second / 1000, frames /
# 1000000). At 25 frames per second the frame rate is left unset.
time_in_ffmpeg() {
  local params="|t*20|T*20|t|255|$rate|$frames"
  "${ffmpeg[@]}" -i clip.mkv -vf "frei0r=fablix:$params" -f rawvideo -pix_fmt bgra output.bgra
}
time_in_melt() {
  local params=(formula-b='t*20' formula-g='T*20' formula-r=t formula-a=255 clip-length=$frames)
  [ "$rate" != 25 ] && params+=(frame-rate=$rate)
  melt_to_mkv clip.mkv -filter frei0r.fablix "${params[@]}"
  "${ffmpeg[@]}" -i output.mkv -f rawvideo -pix_fmt bgra output.bgra
}
time_in_gstreamer() {
  local params=('formula-b="t*20"' 'formula-g="T*20"' formula-r=t formula-a=255
    clip-length=$(awk "BEGIN { print $frames / 1000000 }"))
  [ "$rate" != 25 ] && params+=(frame-rate=$(awk "BEGIN { print $rate / 1000 }"))
  gst-launch-1.0 -q filesrc location=clip.bgra \
    ! rawvideoparse width=$width height=$height format=bgra framerate=$rate/1 \
    ! frei0r-filter-fablix "${params[@]}" \
    ! filesink location=output.bgra
}
# A plug-in built with --fps: no parameters at all.
built_time_in_ffmpeg() {
  "${ffmpeg[@]}" -i clip.mkv -vf "frei0r=Time$rate" -f rawvideo -pix_fmt bgra output.bgra
}
built_time_in_melt() {
  melt_to_mkv clip.mkv -filter frei0r.Time$rate
  "${ffmpeg[@]}" -i output.mkv -f rawvideo -pix_fmt bgra output.bgra
}
built_time_in_gstreamer() {
  gst-launch-1.0 -q filesrc location=clip.bgra \
    ! rawvideoparse width=$width height=$height format=bgra framerate=$rate/1 \
    ! frei0r-filter-time-test$rate ! filesink location=output.bgra
}
if [ "${1:-}" = time ]; then
  shift
  width=32 height=8 frames=12
  mkdir plugins
  export FREI0R_PATH=$FREI0R_PATH:$work/plugins
  for rate in "$@"; do
    make_clip
    reference -b 't*20' -g 'T*20' -r t -a 255
    "time_in_$host"
    compare "t and T at $rate fps"
    built=(-b 't*20' -g 't*3' -r t -a 255)
    "$fablix" build --frei0r --fps "$rate" "${built[@]}" --title "Time:Test$rate" --enable '' \
      "plugins/Time$rate.so" >/dev/null
    reference "${built[@]}"
    "built_time_in_$host"
    compare "t of a plug-in built with --fps $rate"
  done
  exit 0
fi
formulas=(--settings "$examples/film-grain.fbl" -g 'r|g' -r 'a?b:r' -a 'cnv(1,2,1,2,4,2,1,2,1,16)' --slider 0=51)
if [ ${#sizes[@]} -gt 0 ]; then
  for size in "${sizes[@]}"; do
    width=${size%x*} height=${size#*x}
    make_clip
    reference "${formulas[@]}"
    "in_$host" "$examples/film-grain.fbl" formulas
    compare "formulas"
  done
  exit 0
fi
make_clip
reference --settings "$examples/colour-cycle.fbl"
"in_$host" "$examples/colour-cycle.fbl" settings
compare "a settings file"
reference "${formulas[@]}"
"in_$host" "$examples/film-grain.fbl" formulas
compare "formulas with ',', ':' and '|', and a slider"
grain=(--settings "$examples/film-grain.fbl" -r 'map(1,r)+get(0)')
mkdir plugins
"$fablix" build --frei0r "${grain[@]}" --title Film:Grain --enable slider0,map1 --slider-name 0=Amount \
  --map 1=Curve plugins/Grain.so >/dev/null
export FREI0R_PATH=$FREI0R_PATH:$work/plugins
reference "${grain[@]}" --slider 0=102 --slider 2=51 --slider 3=204
"in_${host}_built"
compare "a built plug-in, its sliders set as parameters"
