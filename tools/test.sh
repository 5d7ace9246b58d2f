#!/usr/bin/env bash
# Builds Velmora twice (optimised, and with AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs every test in both builds, then runs every fuzz target for 30 seconds (clang, libFuzzer);
# last, cross-builds the Windows programs with mingw-w64 and runs their tests under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)

# One style: the code must match its own .clang-format.
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BENCH=OFF > /dev/null
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")
# Every guest program once more on the reference engine and on the fast one (the runs above used
# the JIT, the default): tests named area.case run velmora-run; the differential tests need no
# second run.
for engine in reference fast; do
  (cd build && VELMORA_ENGINE=$engine ctest --output-on-failure -j "$jobs" -R '^[a-z]+\.' -E '_diff$')
done

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON \
  -DVELMORA_BENCH=OFF > /dev/null
cmake --build build-sanitize -j "$jobs"
(cd build-sanitize && LSAN_OPTIONS="suppressions=$PWD/../tests/lsan.supp:print_suppressions=0" ctest --output-on-failure -j "$jobs")

# Any finding of a fuzz target, or a kept regression input that fails again, fails the run.
tools/fuzz.sh --ci 30

# Windows: velmora.exe and velmora-run.exe, tested under wine in a prefix of this run's own (its
# first start takes a while, so it is made once; a persistent wineserver keeps later starts quick).
# Wine's desktop process takes the display of the wine program that starts it, and every program
# then draws through it: all of them get one X server, so that the desktop never lacks a display
# (the desktop test still shows velmora.exe's windows on a server of its own).
cmake -S . -B build-windows -G Ninja --toolchain cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build-windows -j "$jobs"
wine_home=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine.XXXXXX")
# Xvfb writes the number of the display it found free to descriptor 3 once it serves.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$wine_home/display" > /dev/null 2>&1 &
xvfb_pid=$!
# The prefix is named before the trap, so that its wineserver -k never reaches another prefix's.
export WINEPREFIX="$wine_home/prefix" WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$wine_home"' EXIT
for _ in $(seq 300); do [ -s "$wine_home/display" ] && break; sleep 0.1; done
[ -s "$wine_home/display" ] || { echo "test.sh: Xvfb found no free display in 30 s"; exit 1; }
export DISPLAY=":$(cat "$wine_home/display")"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The server's own output (object dumps when a serial test's terminal hangs up) is not the tests'.
# Making the prefix has failed without a word once in CI: say what wine said, and try once more.
start_wine() {
  mkdir -p "$WINEPREFIX"
  wineserver -p > "$wine_home/wineserver.log" 2>&1 || return
  wineboot --init > "$wine_home/wineboot.log" 2>&1
}
for attempt in 1 2; do
  start_wine && break
  echo "test.sh: wine prefix setup failed (exit $?, attempt $attempt); wine said:"
  cat "$wine_home"/*.log
  [ "$attempt" = 2 ] && exit 1
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
done
# Wine closes its desktop a second after the last program on it ends and starts it again for the
# next one; a program that comes in between waits 10 s for a desktop or gets no window at all (the
# desktop test, last in the run, met that now and then). Notepad, idle on this server until the
# end, keeps one desktop up for the whole run.
wine notepad > /dev/null 2>&1 &
(cd build-windows && ctest --output-on-failure -j "$jobs")
