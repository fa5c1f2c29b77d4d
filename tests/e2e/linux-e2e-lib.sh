# Sourced by the Linux end-to-end test and the Linux demo: runs the Linux
# program (orvel-kestrune) in a virtual or real display with a window
# manager, inside a private mount namespace where the simulated watch shows
# in sysfs and the test CA is in the system's CA bundle, and reads its window
# through the accessibility bus with atspi-probe.
#
# Needs: KESTRUNE_ROOT, LINUX_APP (the built program), and for the probe a
# session bus (run under dbus-run-session) with linux_a11y_enable called.

CAPTION="orvel kestrune tools"
APP_PID=""
APP_RC_FILE=""
LINUX_WM_PID=""
PROBE="$KESTRUNE_ROOT/tools/atspi_probe/atspi-probe"
source "$KESTRUNE_ROOT/scripts/lib/virtual-display.sh"
source "$(dirname "${BASH_SOURCE[0]}")/program-exit.sh"
source "$(dirname "${BASH_SOURCE[0]}")/sysfs-fixture.sh"

# Why the program cannot be isolated here (empty output: it can). The
# private namespace needs root and a kernel that lets us bind-mount in it.
linux_isolation_missing() {
  if [ "$(id -u)" != 0 ]; then echo "not running as root"; return; fi
  command -v unshare >/dev/null || { echo "no unshare"; return; }
  local probe
  probe="$(mktemp -d)"
  mkdir -p "$probe/a" "$probe/b"
  touch "$probe/a/seen"
  if ! unshare -m sh -c "mount --bind '$probe/a' '$probe/b' && test -e '$probe/b/seen'" \
      2>/dev/null; then
    echo "unshare -m cannot bind-mount here"
  fi
  rm -rf "$probe"
}

# A virtual display of its own with a window manager (which draws the close
# box and turns Alt+F4 and close requests into WM_DELETE_WINDOW).
linux_display_start() {
  virtual_display_start && linux_wm_start
}

linux_wm_start() {
  openbox --sm-disable </dev/null >/dev/null 2>&1 &
  LINUX_WM_PID=$!
  local _
  for _ in $(seq 50); do wmctrl -m >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

linux_display_stop() {
  [ -n "$LINUX_WM_PID" ] && kill "$LINUX_WM_PID" 2>/dev/null
  LINUX_WM_PID=""
  virtual_display_stop
}

# Turns on the accessibility bus of this session, as a screen reader does.
linux_a11y_enable() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true >/dev/null
}

# The system's CA bundle with the test CA added.
linux_ca_bundle() {
  local out="$1"
  cat /etc/ssl/certs/ca-certificates.crt "$KESTRUNE_ROOT/.cache/test-pki/ca.crt" >"$out"
}

# Starts the program in its own mount namespace, where FIXTURE is /sys and
# BUNDLE is the system's CA bundle, with HOME as its home folder.
# usage: linux_app_start FIXTURE BUNDLE HOME
linux_app_start() {
  local fixture="$1" bundle="$2" home="$3"
  mkdir -p "$home"
  APP_RC_FILE="$(mktemp)"
  APP_PROGRAM_PID_FILE="$(mktemp)"
  ( HOME="$home" unshare -m sh -c '
      mount --bind "$1" /sys && mount --bind "$2" /etc/ssl/certs/ca-certificates.crt &&
      exec "$3"' sh "$fixture" "$bundle" "$LINUX_APP" </dev/null >"$home/program.log" 2>&1 &
    echo $! >"$APP_PROGRAM_PID_FILE"
    wait $!
    echo $? >"$APP_RC_FILE" ) &
  APP_PID=$!
  probe wait 30
}

probe() { /usr/bin/python3 "$PROBE" "$@" 2>/dev/null; }

# The value of one key of the window's state.
field() { probe dump | sed -n "s/^$1=//p"; }

# Clicks the centre of a control (notes, status, button, version, progress)
# with the real mouse.
click_control() {
  local at
  at="$(probe center "$1")" || return 1
  xdotool mousemove $at click 1
}

# Waits up to `seconds` for the program to end; prints its exit code.
linux_app_wait_exit() { program_wait_exit "$@"; }

# Ends a program that a failed check left running.
linux_app_kill() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
    kill "$(cat "$APP_PROGRAM_PID_FILE")" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
  fi
  APP_PID=""
}

shot() { [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$1.png" 2>/dev/null; }

# --- the desktop services on the session bus ------------------------------
# Stand-ins for a notification daemon (python3-dbusmock's template) and the
# desktop portal's Inhibit (a dbusmock object whose request handle has the
# portal's Close), each logging the calls it gets into DIR, and a
# dbus-monitor recording the launcher-entry signals. A private system bus
# with python3-dbusmock's logind, which the program then reaches through
# DBUS_SYSTEM_BUS_ADDRESS (sd-bus's own variable).
DESKTOP_MOCK_PIDS=()
PORTAL_HANDLE="/org/freedesktop/portal/desktop/request/1_1/kestrune"

linux_desktop_mocks_start() {  # linux_desktop_mocks_start DIR
  local dir="$1"
  mkdir -p "$dir"
  /usr/bin/python3 -m dbusmock --session -t notification_daemon -l "$dir/notifications.log" \
    </dev/null >/dev/null 2>&1 &
  DESKTOP_MOCK_PIDS+=($!)
  /usr/bin/python3 -m dbusmock --session -l "$dir/portal.log" org.freedesktop.portal.Desktop \
    /org/freedesktop/portal/desktop org.freedesktop.portal.Inhibit </dev/null >/dev/null 2>&1 &
  DESKTOP_MOCK_PIDS+=($!)
  dbus-monitor --session "type='signal',interface='com.canonical.Unity.LauncherEntry'" \
    </dev/null >"$dir/launcher.log" 2>/dev/null &
  DESKTOP_MOCK_PIDS+=($!)
  local _
  for _ in $(seq 50); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.portal.Desktop 2>/dev/null |
      grep -q "boolean true" &&
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
      grep -q "boolean true" && break
    sleep 0.1
  done
  dbus-daemon --session --nofork --print-address=3 3>"$dir/system-bus.address" \
    </dev/null >/dev/null 2>&1 &
  DESKTOP_MOCK_PIDS+=($!)
  for _ in $(seq 50); do [ -s "$dir/system-bus.address" ] && break; sleep 0.1; done
  export DBUS_SYSTEM_BUS_ADDRESS="$(head -1 "$dir/system-bus.address")"
  /usr/bin/python3 -m dbusmock --system -t logind </dev/null >/dev/null 2>&1 &
  DESKTOP_MOCK_PIDS+=($!)
  for _ in $(seq 50); do
    dbus-send --system --print-reply --dest=org.freedesktop.DBus / \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.login1 2>/dev/null |
      grep -q "boolean true" && break
    sleep 0.1
  done
  /usr/bin/python3 - "$PORTAL_HANDLE" <<'PY'
import sys
import dbus
handle = sys.argv[1]
portal = dbus.Interface(dbus.SessionBus().get_object(
    "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop"), "org.freedesktop.DBus.Mock")
portal.AddMethod("", "Inhibit", "sua{sv}", "o", "ret = dbus.ObjectPath('%s')" % handle)
portal.AddObject(handle, "org.freedesktop.portal.Request", {}, [("Close", "", "", "")])
PY
}

# The block inhibitors the stand-in logind holds, "WHAT|MODE" a line.
linux_logind_inhibitors() {
  busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" --json=short call org.freedesktop.login1 \
    /org/freedesktop/login1 org.freedesktop.login1.Manager ListInhibitors |
    /usr/bin/python3 -c 'import json, sys
try:
    held = json.load(sys.stdin)["data"][0]
except ValueError:
    sys.exit(print("no answer from logind"))
for what, who, why, mode, uid, pid in held:
    print(what + "|" + mode)'
}

linux_desktop_mocks_stop() {
  local pid
  for pid in "${DESKTOP_MOCK_PIDS[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  DESKTOP_MOCK_PIDS=()
}

# The launcher-entry updates dbus-monitor saw, one "URI PROGRESS VISIBLE" a line.
linux_launcher_updates() {  # linux_launcher_updates LOG
  awk '/member=Update/ { if (uri != "") print uri, progress, visible; uri = ""; next_uri = 1; next }
       next_uri && /string "/ { uri = $2; gsub(/"/, "", uri); next_uri = 0; next }
       /string "progress"$/ { want = "progress"; next }
       /string "progress-visible"/ { want = "visible"; next }
       want == "progress" && /variant/ { progress = $3; want = ""; next }
       want == "visible" && /variant/ { visible = $3; want = ""; next }
       END { if (uri != "") print uri, progress, visible }' "$1"
}
