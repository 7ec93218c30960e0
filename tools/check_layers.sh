#!/usr/bin/env bash
# Checks that no source folder includes a layer above it:
#   platform <- core <- {compiler, display, system, collision, model, scene3d, sound} <- runtime
#   <- {app, devenv}
# Folders of one layer may include each other's headers; a sound engine never includes the
# sound commands. Prints every offending include and fails when there is one.
cd "${1:-$(dirname "$0")/..}" || exit 2
dirs=()
for d in platform core compiler display system collision model scene3d sound runtime app devenv; do
  [[ -d $d ]] && dirs+=("$d")
done
grep -rnE '^#include "[a-z0-9_]+/' --include='*.h' --include='*.cpp' "${dirs[@]}" | awk -F: '
  BEGIN {
    split("platform:0 core:1 compiler:2 display:2 system:2 collision:2 model:2 scene3d:2 sound:2 runtime:3 app:4 devenv:4", pairs, " ")
    for (i in pairs) { split(pairs[i], kv, ":"); rank[kv[1]] = kv[2] }
  }
  {
    file = $1; line = $2
    text = $0; sub(/^[^:]*:[^:]*:/, "", text)
    match(text, /"[^"]+"/); path = substr(text, RSTART + 1, RLENGTH - 2)
    split(file, f, "/"); split(path, t, "/")
    if (!(t[1] in rank)) next
    if (rank[t[1]] > rank[f[1]] || (file ~ /^sound\/engine\// && path ~ /^sound\/commands\//)) {
      print file ":" line ": " f[1] " may not include " path
      bad = 1
    }
  }
  END { exit bad }'
