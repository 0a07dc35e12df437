#!/usr/bin/env bash
# Fails when a source file includes a header from a folder above its own, or when a thread pool is
# made or used outside the one owner of the pools. Each folder under src/
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

# The thread pools have one owner (platform/WorkPools): nothing else uses Qt's global pool (the
# window paints with it) or keeps a pool of its own for the life of the process.
pool_owner=src/platform/WorkPools.cpp
while IFS= read -r hit; do
  echo "check-layers: $hit uses Qt's global pool; take a pool from WorkPools"
  status=1
done < <(grep -rn --include='*.cpp' --include='*.h' 'QThreadPool::globalInstance' src bench | grep -v "^$pool_owner:" || true)
while IFS= read -r hit; do
  echo "check-layers: $hit keeps a pool of its own; take one from WorkPools"
  status=1
done < <(grep -rnE --include='*.cpp' --include='*.h' 'static[^;(=]*(QThreadPool|ThreadPool)[[:space:]*&]' src | grep -v "^$pool_owner:" || true)

if [ "$status" -eq 0 ]; then
  echo "check-layers: every include points down, and the thread pools have one owner"
fi
exit "$status"
