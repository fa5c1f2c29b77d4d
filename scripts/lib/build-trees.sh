# Sourced by the scripts: where the build trees live and how they are built.
# KESTRUNE_NATIVE_BUILD, KESTRUNE_WINDOWS_BUILD and KESTRUNE_PACKAGE_BUILD
# pick other folders.
KESTRUNE_ROOT="${KESTRUNE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
export KESTRUNE_NATIVE_BUILD="${KESTRUNE_NATIVE_BUILD:-$KESTRUNE_ROOT/build/native}"
export KESTRUNE_WINDOWS_BUILD="${KESTRUNE_WINDOWS_BUILD:-$KESTRUNE_ROOT/build/windows}"
export KESTRUNE_PACKAGE_BUILD="${KESTRUNE_PACKAGE_BUILD:-$KESTRUNE_ROOT/build/package}"
JOBS="${JOBS:-$(nproc)}"

# build_native [TARGET...]: configures and builds the native tree (all of it
# when no target is named).
build_native() {
  build_tree "$KESTRUNE_NATIVE_BUILD" "$@" -- -DKESTRUNE_PACKAGE_BUILD_DIR="$KESTRUNE_PACKAGE_BUILD"
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

# build_package: the Debian packages in a Release tree of its own, without
# sanitizers, with the hardening flags Debian builds its own packages with,
# building only the programs the package holds. KESTRUNE_UPDATE_HOST, when
# set, is the update service built in.
build_package() {
  # No -g: the package ships stripped programs, and the compile is quicker.
  local flags=(env DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g
               DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --get)
  local cppflags
  cppflags="$("${flags[@]}" CPPFLAGS)" || return 1
  # Installed under /usr, as the packages put it: a path built into a
  # program (where its translations are) is where the files will be.
  build_tree "$KESTRUNE_PACKAGE_BUILD" package-contents -- \
    -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_SANITIZE=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_C_FLAGS="$cppflags $("${flags[@]}" CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$cppflags $("${flags[@]}" CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$("${flags[@]}" LDFLAGS)" \
    ${KESTRUNE_UPDATE_HOST:+"-DKESTRUNE_UPDATE_HOST=$KESTRUNE_UPDATE_HOST"} &&
    (cd "$KESTRUNE_PACKAGE_BUILD" && cpack -G DEB >/dev/null)
}
