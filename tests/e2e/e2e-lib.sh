# Sourced by the end-to-end tests and the demo: runs the Windows program
# under Wine in its own test folder and watches it through win-probe.
#
# Needs: a display, the Wine prefix prepared (scripts/lib/wine-prefix.sh),
# the Windows tree's program, probe and stand-in device-tree DLLs, and
#   SHOTS       folder for screenshots
source "$KESTRUNE_ROOT/scripts/lib/wine-env.sh"
source "$KESTRUNE_ROOT/scripts/lib/build-trees.sh"
source "$(dirname "${BASH_SOURCE[0]}")/program-exit.sh"

APP_EXE="$KESTRUNE_WINDOWS_BUILD/app/windows/orvel kestrune.exe"
PROBE_EXE="$KESTRUNE_WINDOWS_BUILD/tools/win_probe/win-probe.exe"
FAKE_DLLS="$KESTRUNE_WINDOWS_BUILD/tools/fake_setupapi"
CAPTION="orvel kestrune tools"
APP_PID=""
APP_RC_FILE=""

# The dialog's control identifiers (IDC_STATUS=1008, ...), as the program
# and its resource script have them.
eval "$(sed -n 's/^#define \(IDC_[A-Z0-9_]*\) \([0-9][0-9]*\)$/\1=\2/p' "$KESTRUNE_ROOT/res/resource.h")"
IDOK=1  # the dialog's OK command (winuser.h)

# Runs win-probe; its output without carriage returns, and its status.
probe() {
  local out rc
  out="$("$WINE64" "$PROBE_EXE" "$@" </dev/null 2>/dev/null)"
  rc=$?
  out="${out//$'\r'/}"
  [ -n "$out" ] && printf '%s\n' "$out"
  return $rc
}

# The value of one key of the dialog's state.
field() { probe dump "$CAPTION" | sed -n "s/^$1=//p"; }

# Copies the program into a fresh folder, with the stand-in setupapi.dll
# beside it (the stand-in cfgmgr32.dll is in the prefix's System32). A
# program installed elsewhere (KESTRUNE_E2E_INSTALLED names its folder) is
# run where it is: it only gets the DLL beside it.
e2e_install() {
  local dir="$1"
  if [ -n "${KESTRUNE_E2E_INSTALLED:-}" ]; then
    cp "$FAKE_DLLS/setupapi.dll" "$KESTRUNE_E2E_INSTALLED/"
    return
  fi
  rm -rf "$dir"; mkdir -p "$dir"
  cp "$APP_EXE" "$FAKE_DLLS/setupapi.dll" "$dir/"
}

# Starts the program from `dir` (or where it is installed) and waits for
# its dialog.
e2e_start() {
  local dir="${KESTRUNE_E2E_INSTALLED:-$1}"
  APP_RC_FILE="$(mktemp)"
  ( WINEDLLOVERRIDES="setupapi,cfgmgr32=n,b;mscoree,mshtml=" \
      "$WINE64" "$dir/orvel kestrune.exe" </dev/null >/dev/null 2>&1
    echo $? >"$APP_RC_FILE" ) &
  APP_PID=$!
  probe wait "$CAPTION" 30000
}

# Waits up to `seconds` for the program to end; prints its exit code.
e2e_wait_exit() { program_wait_exit "$@"; }

# Ends a program that a failed check left running.
e2e_kill() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
    probe close "$CAPTION" >/dev/null
    sleep 1
    local pid
    for pid in $(pgrep -P "$APP_PID"); do kill "$pid" 2>/dev/null; done
  fi
}

# Waits until the status line shows one of the given texts; prints it.
e2e_wait_status() {
  local seconds="$1"; shift
  local i text want
  for ((i = 0; i < seconds * 4; i++)); do
    text="$(field "text.$IDC_STATUS")"
    for want in "$@"; do
      if [ "$text" = "$want" ]; then echo "$text"; return 0; fi
    done
    sleep 0.25
  done
  echo "$text"
  return 1
}

shot() { import -window root "$SHOTS/$1.png" 2>/dev/null; }

# Clicks the centre of a control with the real mouse.
click_control() {
  local at
  at="$(probe center "$CAPTION" "$1")"
  xdotool mousemove $at click 1
}
