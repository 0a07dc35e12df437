#!/usr/bin/env bash
# Runs the README's `make run` the way a user does, under a virtual X server and on a throwaway
# library: passes when the main window appears, then closes the application.
#   scripts/smoke-run.sh <build folder> [build type]
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build}"
type="${2:-RelWithDebInfo}"

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/data" "$root/config" "$root/cloud" "$root/home" "$root/runtime"
chmod 700 "$root/runtime"
export VESK_DATA_DIR="$root/data" VESK_CONFIG_DIR="$root/config" VESK_CLOUD_DIR="$root/cloud"
export HOME="$root/home" XDG_CONFIG_HOME="$root/home/.config" XDG_DATA_HOME="$root/home/.local/share"
export XDG_RUNTIME_DIR="$root/runtime"
unset QT_QPA_PLATFORM

xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  make -C "$0" run BUILD_DIR="$1" BUILD_TYPE="$2" >"$3/run.log" 2>&1 &
  make_pid=$!
  window=""
  for _ in $(seq 1 600); do
    window=$(xdotool search --onlyvisible --name "^Vesk$" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$make_pid" 2>/dev/null || break
    sleep 0.2
  done
  if [ -z "$window" ]; then
    echo "smoke-run: no Vesk window appeared; make run said:"; cat "$3/run.log"
    kill "$make_pid" 2>/dev/null || true
    exit 1
  fi
  app_pid=$(xdotool getwindowpid "$window")
  echo "smoke-run: the Vesk window appeared (window $window, process $app_pid); closing it"
  kill -TERM "$app_pid"
  wait "$make_pid" || true
' "$repo" "$build" "$type" "$root"
