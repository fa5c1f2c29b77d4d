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

# A sysfs tree with one USB serial device whose tty is `pty`, shaped like the
# kernel's: devices/<pci>/usb1/1-1 (idVendor, idProduct, serial), its
# interface 1-1:1.0 with tty/ttyACM0, and class/tty/ttyACM0 linking to it.
# usage: linux_sysfs_fixture DIR PTY VENDOR PRODUCT SERIAL
linux_sysfs_fixture() {
  local dir="$1" pty="$2" vendor="$3" product="$4" serial="$5"
  local usb="$dir/devices/pci0000:00/0000:00:14.0/usb1"
  rm -rf "$dir"
  mkdir -p "$usb/1-1/1-1:1.0/tty/ttyACM0" "$dir/class/tty" "$dir/bus/usb"
  printf '1d6b\n' >"$usb/idVendor"; printf '0002\n' >"$usb/idProduct"
  printf '%s\n' "$vendor" >"$usb/1-1/idVendor"
  printf '%s\n' "$product" >"$usb/1-1/idProduct"
  printf '%s\n' "$serial" >"$usb/1-1/serial"
  printf '00\n' >"$usb/1-1/1-1:1.0/bInterfaceNumber"
  local tty="$usb/1-1/1-1:1.0/tty/ttyACM0"
  printf 'MAJOR=166\nMINOR=0\nDEVNAME=%s\n' "${pty#/dev/}" >"$tty/uevent"
  ln -s ../../../1-1:1.0 "$tty/device"
  ln -s ../../devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/tty/ttyACM0 "$dir/class/tty/ttyACM0"
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

# Waits up to `seconds` for the program to end; prints its exit code, or
# "running".
linux_app_wait_exit() {
  local seconds="$1" i
  for ((i = 0; i < seconds * 10; i++)); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID" 2>/dev/null
      cat "$APP_RC_FILE"
      return 0
    fi
    sleep 0.1
  done
  echo running
}

# Ends a program that a failed check left running.
linux_app_kill() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
    kill "$(cat "$APP_PROGRAM_PID_FILE")" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
  fi
  APP_PID=""
}

shot() { [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$1.png" 2>/dev/null; }
