#!/usr/bin/env bash
# Fails when a source file includes a header from a folder above its own. Each folder under src/
# is one library; a library may use only the folders ranked below it (and itself):
#   platform < model < engines < present < store < grid < pane and other views < app
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case "$1" in
    platform) echo 10 ;;
    model) echo 20 ;;
    search|intake|richtext|images|faces|secure|media|timeline|editor) echo 30 ;;
    present) echo 35 ;;
    store) echo 40 ;;
    grid) echo 50 ;;
    pane|people|timelineview|imageeditor|sheets|secureview|mediaview) echo 55 ;;
    app) echo 60 ;;
    *) echo "" ;;
  esac
}

status=0
while IFS= read -r file; do
  own=${file#src/}; own=${own%%/*}
  own_rank=$(rank "$own")
  if [ -z "$own_rank" ]; then
    echo "check-layers: folder src/$own has no layer; add it to scripts/check-layers.sh"
    status=1
    continue
  fi
  while IFS= read -r used; do
    [ "$used" = "$own" ] && continue
    used_rank=$(rank "$used")
    [ -z "$used_rank" ] && continue   # a system or third-party header
    if [ "$used_rank" -ge "$own_rank" ]; then
      echo "check-layers: $file includes $used/, which is not below $own/"
      status=1
    fi
  done < <(sed -n 's@^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\)/.*"@\1@p' "$file" | sort -u)
done < <(find src -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) | grep -v '^src/app/main.cpp$' | sort)

if [ "$status" -eq 0 ]; then
  echo "check-layers: every include points down"
fi
exit "$status"
