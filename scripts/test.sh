#!/usr/bin/env bash
# Builds the station and runs its whole test suite, then the same suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and short fuzz runs.
# Installs what a fresh Debian 12 lacks. Any failure or sanitizer report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

jobs=$(nproc)
# Objects compiled by an earlier run are taken from ccache's cache, whichever folder the tree
# was cloned to (paths are made relative to the tree), so a second run builds little.
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true
fi
mkdir -p "$root/build"
export QT_QPA_PLATFORM=offscreen

# configure DIR [cmake options...]
configure() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DTAVRO_WERROR=ON "$@"
}

# Each lane says how long it took, so that a slow lane is seen in the CI's log.
lane_name=""
lane_started=$SECONDS
lane_done() { [ -z "$lane_name" ] || echo "--- $lane_name: $((SECONDS - lane_started)) s"; }
lane() { lane_done; lane_name=$*; lane_started=$SECONDS; echo; echo "=== $* ==="; }

lane "format (clang-format with the repository's .clang-format)"
"$root/scripts/format.sh" --check

lane "build and test"
configure "$root/build/ci" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build/ci" -j "$jobs"
ctest --test-dir "$root/build/ci" --output-on-failure -j "$jobs"

lane "AddressSanitizer and UndefinedBehaviorSanitizer"
configure "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DTAVRO_SANITIZE=address,undefined
cmake --build "$root/build/asan" -j "$jobs"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
  LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  ctest --test-dir "$root/build/asan" --output-on-failure -j "$jobs"

lane "ThreadSanitizer (threaded tests)"
configure "$root/build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_SANITIZE=thread
mapfile -t threaded < <(ctest --test-dir "$root/build/tsan" -N -L threads | sed -n 's/^ *Test *#[0-9]*: //p')
cmake --build "$root/build/tsan" -j "$jobs" --target "${threaded[@]}"
TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=1" \
  ctest --test-dir "$root/build/tsan" --output-on-failure -j "$jobs" -L threads

lane "Windows: the station and its tests built with mingw-w64 and the Qt kit, run under Wine; the installer"
"$root/scripts/windows-lane.sh" "$root/build/windows"

lane "Debian package: build, contents, install and a start from the menu entry"
"$root/scripts/package-check.sh"

lane "fuzzing (bounded runs)"
FUZZ_SECONDS=${FUZZ_SECONDS:-15} "$root/scripts/fuzz.sh"

lane_done
echo
echo "All lanes passed in $((SECONDS / 60)) min $((SECONDS % 60)) s."
