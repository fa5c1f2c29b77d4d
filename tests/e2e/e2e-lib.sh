# Sourced by the end-to-end tests and the demo: runs the Windows program
# under Wine in its own test folder and watches it through win-probe.
#
# Needs: WINE64 and WINEPREFIX (scripts/lib/wine-env.sh), DISPLAY, and
#   APP_EXE     the built "orvel kestrune.exe"
#   PROBE_EXE   win-probe.exe
#   FAKE_DLLS   folder with the stand-in setupapi.dll and cfgmgr32.dll
#   TRUST_EXE   kestrune-trust-ca.exe
#   SHOTS       folder for screenshots

CAPTION="orvel kestrune tools"
APP_PID=""
APP_RC_FILE=""

# The prefix: trusts the test CA, links the dialog font to a CJK font, and
# runs the program and the probe in one virtual desktop of the screen's
# size (Wine then draws the caption and close box without a window manager).
e2e_prepare_prefix() {
  local root="$1"
  local size
  size="$(xdpyinfo 2>/dev/null | sed -n 's/ *dimensions: *\([0-9]*x[0-9]*\) .*/\1/p')"
  "$WINE64" "$TRUST_EXE" "Z:${root//\//\\}\\.cache\\test-pki\\ca.der" </dev/null >/dev/null 2>&1
  "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Arial /t REG_MULTI_SZ /d 'wqy-zenhei.ttc,WenQuanYi Zen Hei' /f </dev/null >/dev/null 2>&1
  "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v KestruneTest \
    /d "${size:-1280x1024}" /f </dev/null >/dev/null 2>&1
  local exe
  for exe in "orvel kestrune.exe" "win-probe.exe"; do
    "$WINE64" reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\Explorer" /v Desktop \
      /d KestruneTest /f </dev/null >/dev/null 2>&1
  done
}

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

# Copies the program into a fresh folder; with "watch", the stand-in
# device-tree DLLs go beside it.
e2e_install() {
  local dir="$1" watch="$2"
  rm -rf "$dir"; mkdir -p "$dir"
  cp "$APP_EXE" "$dir/"
  if [ "$watch" = watch ]; then cp "$FAKE_DLLS/setupapi.dll" "$FAKE_DLLS/cfgmgr32.dll" "$dir/"; fi
}

# Starts the program from `dir` and waits for its dialog.
e2e_start() {
  local dir="$1"
  APP_RC_FILE="$(mktemp)"
  ( WINEDLLOVERRIDES="setupapi,cfgmgr32=n,b;mscoree,mshtml=" \
      "$WINE64" "$dir/orvel kestrune.exe" </dev/null >/dev/null 2>&1
    echo $? >"$APP_RC_FILE" ) &
  APP_PID=$!
  probe wait "$CAPTION" 30000
}

# Waits up to `seconds` for the program to end; prints its exit code.
e2e_wait_exit() {
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
    text="$(field text.1008)"
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
