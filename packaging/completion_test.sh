#!/usr/bin/env bash
# Calls the packaged bash completion of kestrune-update as bash would, with
# COMP_WORDS and COMP_CWORD set, and compares what it offers.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/kestrune-update.bash-completion"
FAILURES=0
offers() {  # offers EXPECTED WORD... (the last word is the one completed)
  local expected="$1"; shift
  COMP_WORDS=(kestrune-update "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _kestrune_update
  local got="${COMPREPLY[*]}"
  if [ "$got" == "$expected" ]; then
    echo "  ok   '$*' -> $got"
  else
    echo "  FAIL '$*': expected '$expected', got '$got'"
    FAILURES=$((FAILURES + 1))
  fi
}
offers "check update devices station history download --json --verbose --quiet --data-dir --help --version" ""
offers "update" "u"
offers "devices download" "--json" "d"
offers "--json --verbose --quiet --data-dir --help --version" "-"
offers "--json --verbose --quiet --data-dir --help --version --port --serial --all --verify --offline --ignore-power --again" "update" ""
offers "--serial" "update" "--se"
offers "--serial" "station" "--se"
offers "--port" "update" "--p"
offers "--all --again" "update" "--a"
offers "station" "st"
offers "--again" "station" "--a"
offers "--again" "update" "--ag"
offers "--serial --since" "history" "--s"
offers "--csv" "history" "--c"
offers "--verify" "update" "--verif"
offers "--verify" "station" "--verif"
offers "--offline" "check" "--o"
offers "--ignore-power" "station" "--i"
offers "" "check" "--i"
offers "" "devices" "--o"
offers "--json" "check" "--j"
offers "" "check" "--port"
offers "" "bogus"
# The bundle folder after download or --offline: folders only.
FOLDERS="$(mktemp -d)"
trap 'rm -rf "$FOLDERS"' EXIT
cd "$FOLDERS" && mkdir bundle-k1 && : >bundle-file
offers "download" "dow"
offers "bundle-k1" "download" "bun"
offers "bundle-k1" "update" "--offline" "b"
offers "--port" "update" "--offline" "--p"
offers "bundle-k1" "--data-dir" "b"
offers "update" "--offline" "u"
[ "$(complete -p kestrune-update)" == "complete -F _kestrune_update kestrune-update" ] ||
  { echo "  FAIL the function is not bound to kestrune-update"; FAILURES=$((FAILURES + 1)); }
echo "completion_test: $FAILURES failure(s)"
[ "$FAILURES" -eq 0 ]
