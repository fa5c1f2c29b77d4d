#!/usr/bin/env bash
# scripts/demo --linux: the Linux program updating the simulated watch.
# Builds the native tree's program and tools, starts the reference update
# service with a sample firmware (two images) and the simulated watch, and
# opens orvel-kestrune in a private mount namespace where the watch shows in
# /sys as a USB device (1915:52f0) and the test CA is in the system's CA
# bundle; nothing changes outside that namespace. Needs root for it (it asks
# sudo when run as another user).
#
# With a display ($DISPLAY set) the window opens there and you press
# "Update Firmware" yourself; the script prints every status until you close
# the window. Without one it runs in a virtual display with a window
# manager, presses the button itself, keeps a screenshot of each stage and
# ends with the last status: exit 0 only for "更新完成".
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export KESTRUNE_ROOT="$ROOT"
source "$ROOT/scripts/lib/build-trees.sh"
NATIVE="$KESTRUNE_NATIVE_BUILD"
DEMO="${KESTRUNE_DEMO_DIR:-$ROOT/build/demo}/linux"
export LINUX_APP="$NATIVE/app/linux/orvel-kestrune"
export SHOTS="$DEMO/screenshots"
source "$ROOT/tests/e2e/linux-e2e-lib.sh"

# The session stage: runs while the service and the watch are up.
if [ "${DEMO_LINUX_STAGE:-}" = session ]; then
  trap linux_app_kill EXIT
  linux_sysfs_fixture "$DEMO/sys" "$KESTRUNE_SIM_PATH" 1915 52f0 KS0001
  rm -rf "$DEMO/home"
  echo "demo: starting orvel-kestrune"
  linux_app_start "$DEMO/sys" "$DEMO/ca-bundle.crt" "$DEMO/home" ||
    { echo "demo: the window did not open"; exit 1; }
  follow() { probe follow "$@" | sed -u 's/^/status: /'; }

  if [ "$HEADLESS" = 0 ]; then
    echo "demo: press \"Update Firmware\" in the window; close it to end the demo"
    follow 86400
    exit 0
  fi
  follow 60 "已取得更新資料" "無法取得更新資料"
  shot 1-update-check
  [ "$(field status)" = "已取得更新資料" ] || { echo "demo: the update check failed"; exit 1; }
  echo "demo: offered version $(field version); pressing \"Update Firmware\""
  click_control button
  follow 600 "更新完成" "更新錯誤" "無法取得更新檔" "更新檔錯誤" "請連接 Kestrune 潛水錶" \
    "無法取得更新資料" "潛水錶沒有回應" "無法開啟潛水錶連接埠"
  last="$(field status)"
  shot 2-update-done
  echo "demo: progress $(field progress.value) of $(field progress.max) blocks"
  wmctrl -c "$CAPTION"
  echo "demo: exit code $(linux_app_wait_exit 20)"
  [ "$last" = "更新完成" ]
  exit $?
fi

"$ROOT/scripts/setup" || exit 1
missing="$(linux_isolation_missing)"
if [ "$missing" = "not running as root" ] && command -v sudo >/dev/null; then
  echo "demo: the program's private mount namespace needs root; asking sudo"
  exec sudo -E bash "${BASH_SOURCE[0]}"
fi
if [ -n "$missing" ]; then
  echo "demo: cannot give the program a private mount namespace here ($missing)"
  exit 1
fi

echo "demo: building the Linux program and the native tools"
build_native orvel-kestrune dive-watch-sim kestrune-update-service >/dev/null ||
  { echo "demo: build failed"; exit 1; }

export HEADLESS=0
trap linux_display_stop EXIT
if [ -z "${DISPLAY:-}" ]; then
  HEADLESS=1
  linux_display_start || { echo "demo: no window manager for the virtual display"; exit 1; }
  echo "demo: no display, running in the virtual display $DISPLAY"
fi

"$ROOT/tools/update_service/make-test-pki" >/dev/null || exit 1
# The sample firmware: two images, 8 KiB at 0x8000 and 5000 bytes at 0x20000.
rm -rf "$DEMO/images" "$SHOTS" "$DEMO/watch-memory"
mkdir -p "$DEMO/images" "$SHOTS" "$DEMO/watch-memory"
head -c 8192 /dev/urandom >"$DEMO/images/1-00008000.bin"
head -c 5000 /dev/urandom >"$DEMO/images/2-00020000.bin"
linux_ca_bundle "$DEMO/ca-bundle.crt"

# A session bus of its own carries the accessibility bus the demo reads the
# window through.
DEMO_LINUX_STAGE=session dbus-run-session -- bash -c '
  source "$KESTRUNE_ROOT/tests/e2e/linux-e2e-lib.sh"
  linux_a11y_enable || { echo "demo: no accessibility bus"; exit 1; }
  "$KESTRUNE_ROOT/tools/update_service/with-update-service" \
    --service "$1/tools/update_service/kestrune-update-service" --port 8443 \
    --images "$2/images" --firmware-version "1.006" -- \
    "$KESTRUNE_ROOT/tools/dive_watch_sim/with-sim-com" --no-wine \
    --sim "$1/tools/dive_watch_sim/dive-watch-sim" --dump-dir "$2/watch-memory" -- \
    bash "$3"' demo "$NATIVE" "$DEMO" "${BASH_SOURCE[0]}" 2> >(grep -v '^dbus-daemon' >&2) |
  grep --line-buffered -v '^SpiRegistry'
status=${PIPESTATUS[0]}
if [ "$HEADLESS" = 1 ]; then echo "demo: screenshots in $SHOTS"; fi
for image in "$DEMO"/images/*.bin; do
  name="$(basename "$image" .bin)"
  if cmp -s -n "$(stat -c %s "$image")" "$image" "$DEMO/watch-memory/${name#*-}.bin"; then
    echo "demo: the watch's memory at 0x${name#*-} equals image ${name%%-*}"
  fi
done
echo "demo: the watch's written memory is in $DEMO/watch-memory"
exit "$status"
