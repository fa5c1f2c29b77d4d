# Sourced by the end-to-end scripts: their checks and their sample firmware.
# A check prints an "ok" or "FAIL" line, under the scenario named in
# $CURRENT when there is one, and counts failures in $FAILURES.
CHECKS_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    echo "  ok   ${CURRENT:+$CURRENT: }$1"
  else
    echo "  FAIL ${CURRENT:+$CURRENT: }$1: expected [$2], got [$3]"
    FAILURES=$((FAILURES + 1))
  fi
}

contains() {  # contains DESCRIPTION FILE TEXT
  if grep -qF -- "$3" "$2"; then
    echo "  ok   ${CURRENT:+$CURRENT: }$1"
  else
    echo "  FAIL ${CURRENT:+$CURRENT: }$1: [$3] not in $2:"; sed 's/^/         /' "$2"
    FAILURES=$((FAILURES + 1))
  fi
}

# The manifest the reference update service on port 8443 serves now.
served_manifest() {
  curl -sS --cacert "$CHECKS_ROOT/.cache/test-pki/ca.crt" \
    "https://localhost:8443/api/v1/devices/firmwareUpdate?model=K1"
}

# Two random images as the service lists them, <sequence>-<hex address>.bin:
# 8 KiB at 0x8000 and 5000 bytes (a block and a tail) at 0x20000.
make_sample_images() {  # make_sample_images DIR
  mkdir -p "$1"
  head -c 8192 /dev/urandom >"$1/1-00008000.bin"
  head -c 5000 /dev/urandom >"$1/2-00020000.bin"
}

# Each image is in the simulated watch's memory dump at its address.
memory_matches_images() {  # memory_matches_images IMAGES DUMP_DIR
  local image name
  for image in "$1"/*.bin; do
    name="$(basename "$image" .bin)"
    cmp -s -n "$(stat -c %s "$image")" "$image" "$2/${name#*-}.bin"
    check "watch memory at 0x${name#*-} equals image ${name%%-*}" 0 $?
  done
}

# Each image was downloaded whole into the data folder as data<sequence>.bin.
downloads_match_images() {  # downloads_match_images IMAGES DATA_DIR
  local image seq
  for image in "$1"/*.bin; do
    seq="$(basename "$image" .bin)"; seq="${seq%%-*}"
    cmp -s "$image" "$2/data$seq.bin"
    check "data$seq.bin on disk equals the served image" 0 $?
  done
}
