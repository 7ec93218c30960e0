#!/usr/bin/env bash
# Checks that no source folder includes a layer above it:
#   platform <- core <- {compiler, display, system, collision, model, scene3d, sound} <- runtime
#   <- {app, devenv}
# Folders of one layer may include each other's headers; a sound engine never includes the
# sound commands. Prints every offending include and fails when there is one.
cd "${1:-$(dirname "$0")/..}" || exit 2
rank() {
  case "$1" in
    platform) echo 0 ;;
    core) echo 1 ;;
    compiler | display | system | collision | model | scene3d | sound) echo 2 ;;
    runtime) echo 3 ;;
    app | devenv) echo 4 ;;
    *) echo -1 ;;
  esac
}
status=0
for from in platform core compiler display system collision model scene3d sound runtime app devenv; do
  [[ -d $from ]] || continue
  mine=$(rank "$from")
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^#include "([a-z0-9_]+)\/.*/\1/' <<<"$text")
    path=$(sed -E 's/^#include "([^"]+)".*/\1/' <<<"$text")
    theirs=$(rank "$target")
    [[ $theirs -lt 0 ]] && continue
    if ((theirs > mine)) || [[ $file == sound/engine/* && $path == sound/commands/* ]]; then
      echo "$file:$line: $from may not include $path"
      status=1
    fi
  done < <(grep -rnE '^#include "[a-z0-9_]+/' --include='*.h' --include='*.cpp' "$from")
done
exit $status
