#!/usr/bin/env bash
# Start-up to the shown main window vs. an empty Qt window, on a private X server without a
# window manager, with settings that show no first-start messages: once as a user who has turned
# the start-up tip off, once with the tip (shown before the main window, as the load's last step).
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/config/Glimvane" "$tmp/data" "$tmp/runtime"
chmod 700 "$tmp/runtime"
printf '[current_version]\nmajor=%s\nminor=%s\nrev=%s\n' \
  $(sed -n 's/^project(Glimvane VERSION \([0-9]*\)\.\([0-9]*\)\.\([0-9]*\).*/\1 \2 \3/p' CMakeLists.txt) \
  > "$tmp/config/Glimvane/Glimvane.conf"
export XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_RUNTIME_DIR="$tmp/runtime"
build=${BUILD_DIR:-build}
conf="$tmp/config/Glimvane/Glimvane2.conf"
printf '[options]\ndeskicon232=1\nShow%%20Tips%%20at%%20Startup=0\n' > "$conf"
GLIMVANE_NO_WM=1 scripts/with-xvfb "$build/startup_bench" "$PWD/$build/empty_window" \
  "$PWD/$build/glimvane" "${1:-9}" " (tip off)"
printf '[options]\ndeskicon232=1\n' > "$conf"
GLIMVANE_NO_WM=1 scripts/with-xvfb "$build/startup_bench" "$PWD/$build/empty_window" \
  "$PWD/$build/glimvane" "${1:-9}" " (tip on)"
