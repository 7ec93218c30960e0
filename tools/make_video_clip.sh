#!/usr/bin/env bash
# Makes the clip of examples/video.vka: 4 s of a moving test picture at 320 x 240, 25 frames a
# second, MPEG-4 with a 440 Hz tone. Usage: tools/make_video_clip.sh [OUTPUT] (default
# examples/clip.avi). Does nothing when the output exists.
set -euo pipefail
out=${1:-$(cd "$(dirname "$0")/.." && pwd)/examples/clip.avi}
[[ -e $out ]] && exit 0
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=4 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=4 -ac 2 \
  -c:v mpeg4 -q:v 4 -c:a pcm_s16le "$out"
