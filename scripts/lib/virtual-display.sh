# Sourced by the scripts that need an X display but may have none: starts
# Xvfb on a free display number and exports DISPLAY.
VIRTUAL_DISPLAY_PID=""

virtual_display_start() {
  local ready number
  ready="$(mktemp -u "${TMPDIR:-/tmp}/kestrune-display.XXXXXX")"
  mkfifo "$ready" || return 1
  # Xvfb picks the number itself and writes it once it accepts clients.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" </dev/null >/dev/null 2>&1 &
  VIRTUAL_DISPLAY_PID=$!
  read -r -t 20 number <"$ready"
  rm -f "$ready"
  if [ -z "$number" ]; then
    echo "virtual display: Xvfb did not start" >&2
    virtual_display_stop
    return 1
  fi
  export DISPLAY=":$number"
}

virtual_display_stop() {
  if [ -n "$VIRTUAL_DISPLAY_PID" ]; then
    kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null
    wait "$VIRTUAL_DISPLAY_PID" 2>/dev/null
    VIRTUAL_DISPLAY_PID=""
  fi
}
