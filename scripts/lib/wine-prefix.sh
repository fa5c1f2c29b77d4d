# Sourced by the scripts that run the Windows programs' tests or the demo:
# prepares the project's Wine prefix for them. Needs a display and the
# Windows tree's kestrune-trust-ca.exe.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/build-trees.sh"

# Runs one preparation step under Wine. On a machine where Wine has only
# just been installed a step has once failed without a word (its output
# went nowhere), so a failed step is tried up to twice more after a pause,
# and a last failure prints the step, its exit code and everything it said.
wine_prefix_step() {
  local what="$1" out rc attempt
  shift
  out="$(mktemp)"
  for attempt in 1 2 3; do
    "$@" </dev/null >"$out" 2>&1 && { rm -f "$out"; return 0; }
    rc=$?
    [ "$attempt" = 3 ] || sleep 5
  done
  echo "wine prefix: $what failed (exit code $rc):" >&2
  sed 's/^/  /' "$out" >&2
  rm -f "$out"
  return 1
}

# Puts the stand-in cfgmgr32.dll (tools/fake_setupapi) into the prefix's
# System32, where alone the programs take it from, in place of Wine's own
# file. Wine still loads its builtin unless a test asks for the stand-in
# with WINEDLLOVERRIDES="cfgmgr32=n,b". Compared each time, so that a
# rebuilt stand-in is copied again.
wine_prefix_install_stand_ins() {
  local standin="$KESTRUNE_WINDOWS_BUILD/tools/fake_setupapi/cfgmgr32.dll"
  local target="$WINEPREFIX/drive_c/windows/system32/cfgmgr32.dll"
  [ -f "$standin" ] || { echo "wine prefix: $standin is not built" >&2; return 1; }
  cmp -s "$standin" "$target" || cp "$standin" "$target"
}

# Makes the prefix trust the test CA (so that WinINet accepts the reference
# update service), links the dialog's font (Arial) to a CJK font (so that
# the Traditional Chinese status texts render), and runs the program and the
# probe in one virtual desktop of the screen's size (Wine then draws the
# caption and close box without a window manager). A stamp in the prefix
# names the CA and the size it was prepared for; a second call with the same
# ones does nothing.
wine_prefix_prepare() {
  local trust="$KESTRUNE_WINDOWS_BUILD/tools/wine_trust_ca/kestrune-trust-ca.exe"
  local pki="$KESTRUNE_ROOT/.cache/test-pki"
  local stamp="$WINEPREFIX/.kestrune-prepared"
  local size want exe
  wine_prefix_ensure
  "$KESTRUNE_ROOT/tools/update_service/make-test-pki" >/dev/null ||
    { echo "wine prefix: the test PKI could not be made" >&2; return 1; }
  size="$(xdpyinfo 2>/dev/null | sed -n 's/ *dimensions: *\([0-9]*x[0-9]*\) .*/\1/p')"
  size="${size:-1280x1024}"
  want="ca=$(sha256sum <"$pki/ca.der" | cut -d' ' -f1) desktop=$size"
  wine_prefix_install_stand_ins || return 1
  [ "$(cat "$stamp" 2>/dev/null)" = "$want" ] && return 0

  [ -f "$trust" ] || { echo "wine prefix: $trust is not built" >&2; return 1; }
  wine_prefix_step "making the test CA trusted" \
    "$WINE64" "$trust" "Z:${pki//\//\\}\\ca.der" || return 1
  wine_prefix_step "linking Arial to a CJK font" \
    "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Arial /t REG_MULTI_SZ /d 'wqy-zenhei.ttc,WenQuanYi Zen Hei' /f || return 1
  wine_prefix_step "naming the virtual desktop" \
    "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v KestruneTest /d "$size" /f ||
    return 1
  for exe in "orvel kestrune.exe" "win-probe.exe"; do
    wine_prefix_step "giving $exe the virtual desktop" \
      "$WINE64" reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\Explorer" /v Desktop \
      /d KestruneTest /f || return 1
  done
  echo "$want" >"$stamp"
}
