#!/bin/sh
# Velmora's JIT, fast and reference engines, simavr and QEMU side by side on CPU-bound AVR programs,
# and Velmora's own host paths (service call, WDR, start-up, a 1920x1080 fill). Builds velmora-run
# (optimised, as the project builds by default) and the programs with avr-gcc, then runs
# bench/peers/peers.py.
#   bench/peers.sh [BUILD_DIR] [--runs N] [--scale N] [--callgrind] [peers.py options]
# --scale multiplies the rounds of the bench/cpu workloads (default 4: 120 to 160 million
# instructions each). --callgrind adds host instructions per guest instruction (slow).
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build-bench
case "$1" in
  -* | "") ;;
  *) build=$1; shift ;;
esac
scale=4
runs=3
loops=5000000
fills=100
while [ $# -gt 0 ]; do
  case "$1" in
    --scale) scale=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) break ;;
  esac
done
for tool in avr-gcc avr-objcopy simavr qemu-system-avr python3; do
  command -v $tool >/dev/null || { echo "peers.sh: $tool is missing" >&2; exit 1; }
done
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TESTS=OFF \
  -DVELMORA_BENCH=OFF >/dev/null
ninja -C "$build" -j2 velmora-run >/dev/null

out=$build/peers
mkdir -p "$out"
cpu=$root/bench/cpu
sdk=$root/sdk
# NAME SOURCE FLAGS...: NAME.elf for simavr and QEMU, NAME.hex for Velmora.
program() {
  name=$1 source=$2
  shift 2
  avr-gcc -mmcu=atmega2560 -O2 -std=gnu11 -Wall -Wextra "$@" "$source" -o "$out/$name.elf"
  avr-objcopy -O ihex -R .eeprom -R .fuse -R .lock -R .signature "$out/$name.elf" "$out/$name.hex"
}
# The workloads' rounds in bench/cpu (about 30 to 40 million instructions each).
for entry in crc32:160 sieve:20 sort:120 matmul:200 interp:1; do
  w=${entry%%:*} rounds=${entry#*:}
  program "$w" "$cpu/$w.c" -DVELMORA_PEERS -DROUNDS=$((rounds * scale))
  # A tenth of the bench/cpu size for callgrind (interp at its single round).
  program "cg_$w" "$cpu/$w.c" -DVELMORA_PEERS -DROUNDS=$(( (rounds + 9) / 10 ))
done
program null "$here/peers/null.c" -DVELMORA_PEERS
# Velmora's own programs: its memory map and its service headers.
guest="-Os -I$sdk -Wl,--defsym=__stack=0xFFFF -Wl,--defsym=__heap_end=0xF000"
for op in nop break wdr; do
  program loop_$op "$here/peers/loop.c" $guest -DOP="\"$op\"" -DCOUNT=${loops}ul
done
program fill "$here/peers/fill.c" $guest -DFILLS=1 -DCOUNT=$fills
program fill_none "$here/peers/fill.c" $guest -DFILLS=0 -DCOUNT=$fills

exec python3 "$here/peers/peers.py" --velmora "$build/velmora-run" --dir "$out" --runs "$runs" \
  --loop-count "$loops" --fill-count "$fills" "$@"
