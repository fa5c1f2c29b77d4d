# Sourced by the scripts: where the two build trees live and how they are
# built. KESTRUNE_NATIVE_BUILD and KESTRUNE_WINDOWS_BUILD pick other folders.
KESTRUNE_ROOT="${KESTRUNE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
export KESTRUNE_NATIVE_BUILD="${KESTRUNE_NATIVE_BUILD:-$KESTRUNE_ROOT/build/native}"
export KESTRUNE_WINDOWS_BUILD="${KESTRUNE_WINDOWS_BUILD:-$KESTRUNE_ROOT/build/windows}"
JOBS="${JOBS:-$(nproc)}"

# build_native [TARGET...]: configures and builds the native tree (all of it
# when no target is named).
build_native() {
  build_tree "$KESTRUNE_NATIVE_BUILD" "$@"
}

# build_windows [TARGET...]: the same for the Windows tree, whose tests run
# the native tree's simulated watch and update service.
build_windows() {
  build_tree "$KESTRUNE_WINDOWS_BUILD" "$@" -- \
    -DCMAKE_TOOLCHAIN_FILE="$KESTRUNE_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DKESTRUNE_NATIVE_BUILD_DIR="$KESTRUNE_NATIVE_BUILD"
}

# build_tree DIR [TARGET...] [-- CMAKE-OPTION...]
build_tree() {
  local dir="$1"; shift
  local targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do targets+=(--target "$1"); shift; done
  [ $# -gt 0 ] && shift
  cmake -S "$KESTRUNE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null &&
    cmake --build "$dir" -j "$JOBS" "${targets[@]}"
}
