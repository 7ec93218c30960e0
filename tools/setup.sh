#!/usr/bin/env bash
# Installs the Debian packages listed in tools/packages/*.txt that are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
want=$(cat "$here"/packages/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for p in $want; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [[ $(id -u) -eq 0 ]] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The clip examples/video.vka plays (no video file is kept in the sources).
"$here"/make_video_clip.sh || echo "setup: the clip of examples/video.vka could not be made"
# The short sound and the MIDI tune examples/sound.vka plays.
python3 "$here"/make_sound_media.py "$here"/../examples || echo "setup: the media of examples/sound.vka could not be made"
