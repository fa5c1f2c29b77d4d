#!/usr/bin/env bash
# orvel-kestrune answers --help and --version on standard output without a
# display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM unset: a window would
# fail to open), and an unknown option with one line and where to look.
# Usage: window_command_line_test.sh PROGRAM VERSION
set -u
PROGRAM="$1" VERSION="$2"
FAILURES=0
OUT="$(mktemp)" ERR="$(mktemp)"
trap 'rm -f "$OUT" "$ERR"' EXIT
run() {  # run EXPECTED-CODE ARGUMENT...
  local expected="$1"; shift
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$PROGRAM" "$@" >"$OUT" 2>"$ERR"
  local code=$?
  if [ "$code" -ne "$expected" ]; then
    echo "  FAIL '$*': exit $code, expected $expected; stderr: $(head -c 300 "$ERR")"
    FAILURES=$((FAILURES + 1))
    return 1
  fi
}
check() {  # check WHAT CONDITION...
  local what="$1"; shift
  if "$@"; then echo "  ok   $what"; else echo "  FAIL $what"; FAILURES=$((FAILURES + 1)); fi
}
run 0 --help &&
  check "--help: the usage on stdout" grep -q '^usage: orvel-kestrune' "$OUT" &&
  check "--help: names --version" grep -q -- '--version' "$OUT" &&
  check "--help: nothing on stderr" test ! -s "$ERR"
run 0 -h && check "-h: the usage" grep -q '^usage: orvel-kestrune' "$OUT"
run 0 --version &&
  check "--version: the program and its version" test "$(cat "$OUT")" == "orvel-kestrune $VERSION"
run 0 -platform offscreen -V &&
  check "-V after Qt's option" test "$(cat "$OUT")" == "orvel-kestrune $VERSION"
run 2 --foo &&
  check "--foo: two lines on stderr" test "$(cat "$ERR")" == "$(printf "orvel-kestrune: unknown option --foo\nsee 'orvel-kestrune --help'")" &&
  check "--foo: nothing on stdout" test ! -s "$OUT"
[ "$FAILURES" -eq 0 ] || { echo "$FAILURES failure(s)"; exit 1; }
echo "all passed"
