# Sourced by the scripts that run Windows programs under Wine.
# The project keeps a Wine prefix of its own (never the user's ~/.wine),
# made once and reused; KESTRUNE_WINEPREFIX picks another one (e.g. one per
# parallel working copy).
KESTRUNE_ROOT="${KESTRUNE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
export WINEPREFIX="${KESTRUNE_WINEPREFIX:-$KESTRUNE_ROOT/.cache/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

# Makes the prefix when it is missing. Wine's background programs inherit
# our standard handles and keep pipes open for ever, so they get /dev/null.
wine_prefix_ensure() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.kestrune-ready" ]; then
      rm -rf "$WINEPREFIX"
      "$WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
      "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
      # The prefix's user folders link into $HOME: make them real folders
      # so that nothing a test writes lands in the real home.
      for link in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
      done
      touch "$WINEPREFIX/.kestrune-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# The Documents folder of the prefix's user.
wine_documents_dir() {
  local d
  for d in "$WINEPREFIX"/drive_c/users/*/Documents; do
    case "$d" in */Public/*) continue ;; esac
    echo "$d"; return 0
  done
  return 1
}

# Keeps one Wine server running for the whole session, until wine_server_stop.
wine_server_start() {
  wine_prefix_ensure
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
  # The default desktop's process must start from a program whose handles
  # lead nowhere, and stay: one started by a test's program would keep that
  # test's output open for ever (see tools/wine_desktop_keeper).
  local keeper="${KESTRUNE_WINDOWS_BUILD:-}/tools/wine_desktop_keeper/kestrune-desktop-keeper.exe"
  if [ -f "$keeper" ]; then
    "$WINE64" "$keeper" </dev/null >/dev/null 2>&1 &
    disown
  fi
}

wine_server_stop() {
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
}
