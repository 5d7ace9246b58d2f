#!/bin/sh
# Builds the processor benchmark (optimised, as the project builds by default) and runs it: guest
# instructions per second of Velmora's fast and reference engines and of simavr (in process) on
# each workload, and the ratio of the fast engine to simavr. bench/peers.sh compares with QEMU.
#   bench/cpu/run.sh [BUILD_DIR] [--repeat N]
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build-bench
case "$1" in
  -* | "") ;;
  *) build=$1; shift ;;
esac
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BENCH=ON \
  -DVELMORA_TESTS=OFF >/dev/null
ninja -C "$build" -j2 velmora_cpu_bench cpu_bench_workloads >/dev/null
dir="$build/bench/cpu"
exe="$build/velmora_cpu_bench"
[ -x "$exe" ] || exe="$dir/velmora_cpu_bench"
exec "$exe" "$@" "$dir/crc32.hex" "$dir/sieve.hex" "$dir/sort.hex" \
  "$dir/matmul.hex" "$dir/interp.hex"
