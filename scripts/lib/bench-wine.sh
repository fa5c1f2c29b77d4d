# Sourced by scripts/bench: the Windows program's block writes under Wine
# over COM7 against the native build's over the pty itself, one program
# built twice (bench/port_protocol_bench), each through with-sim-com to the
# same simulator, unpaced.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# bench_wine_protocol NATIVE_BENCH_BUILD: uses scripts/bench's `run` and
# `figure`; sets figure[wine.wine_over_native].
bench_wine_protocol() {
  local native="$1"
  local windows="$KESTRUNE_ROOT/build/bench-windows"
  build_tree "$windows" port_protocol_bench -- \
    -DCMAKE_TOOLCHAIN_FILE="$KESTRUNE_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_NATIVE_BUILD_DIR="$native" >/dev/null || return 1
  local with="$KESTRUNE_ROOT/tools/dive_watch_sim/with-sim-com"
  local sim="$native/tools/dive_watch_sim/dive-watch-sim"
  run native_port "$with" --sim "$sim" --no-wine -- \
    sh -c 'exec "$0" "$KESTRUNE_SIM_PATH" 5' "$native/bench/port_protocol_bench"
  wine_server_start
  run wine_port "$with" --sim "$sim" -- \
    sh -c 'exec "$0" "$1" "$KESTRUNE_SIM_PORT" 5' "$WINE64" "$windows/bench/port_protocol_bench.exe"
  wine_server_stop
  figure[wine.wine_over_native]="$(awk -v w="${figure[wine_port.blocks_per_s]}" \
    -v n="${figure[native_port.blocks_per_s]}" 'BEGIN { printf "%.3f", w / n }')"
}
