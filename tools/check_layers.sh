#!/usr/bin/env bash
# Checks that every source folder includes only folders of a lower rank:
#   platform 0; core 1; compiler, collision, sound 2; display 3; system, model 4; scene3d 5;
#   runtime 6; devenv 7; app 8.
# A subfolder belongs to its folder; a sound engine never includes the sound commands. Prints
# every offending include and fails when there is one.
cd "${1:-$(dirname "$0")/..}" || exit 2
dirs=()
for d in platform core compiler display system collision model scene3d sound runtime app devenv; do
  [[ -d $d ]] && dirs+=("$d")
done
grep -rnE '^#include "[a-z0-9_]+/' --include='*.h' --include='*.cpp' "${dirs[@]}" | awk -F: '
  BEGIN {
    split("platform:0 core:1 compiler:2 collision:2 sound:2 display:3 system:4 model:4 scene3d:5 runtime:6 devenv:7 app:8", pairs, " ")
    for (i in pairs) { split(pairs[i], kv, ":"); rank[kv[1]] = kv[2] }
  }
  {
    file = $1; line = $2
    text = $0; sub(/^[^:]*:[^:]*:/, "", text)
    match(text, /"[^"]+"/); path = substr(text, RSTART + 1, RLENGTH - 2)
    split(file, f, "/"); split(path, t, "/")
    if (!(t[1] in rank)) next
    if ((t[1] != f[1] && rank[t[1]] >= rank[f[1]]) || (file ~ /^sound\/engine\// && path ~ /^sound\/commands\//)) {
      print file ":" line ": " f[1] " may not include " path
      bad = 1
    }
  }
  END { exit bad }'
