# Sourced by scripts/test and scripts/release.
#
# package_build ROOT BUILD-DIR JOBS: builds the Debian package in a Release
# tree of its own, without sanitizers, with the hardening flags Debian
# builds its own packages with, and only the programs the package holds.
# KESTRUNE_UPDATE_HOST, when set, is the update service built in.
package_build() {
  local root="$1" dir="$2" jobs="$3"
  # No -g: the package ships stripped programs, and the compile is quicker.
  local flags=(env DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g
               DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --get)
  local cppflags
  cppflags="$("${flags[@]}" CPPFLAGS)" || return 1
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_SANITIZE=OFF \
    -DCMAKE_C_FLAGS="$cppflags $("${flags[@]}" CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$cppflags $("${flags[@]}" CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$("${flags[@]}" LDFLAGS)" \
    ${KESTRUNE_UPDATE_HOST:+"-DKESTRUNE_UPDATE_HOST=$KESTRUNE_UPDATE_HOST"} >/dev/null &&
    cmake --build "$dir" -j "$jobs" --target package-contents &&
    (cd "$dir" && cpack -G DEB >/dev/null)
}
