#!/usr/bin/env bash
# Builds Velmora and runs the bundled demo guest program headless, showing what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BENCH=OFF > /dev/null
cmake --build build --target velmora-run demo
echo
echo "== build/velmora-run --screenshot build/demo.png --dump-memory 0x1F0:4 build/examples/demo/demo.hex"
status=0
dump=$(build/velmora-run --seed 1 --screenshot build/demo.png --dump-memory 0x1F0:4 \
  build/examples/demo/demo.hex) || status=$?
echo "$dump"
# The demo leaves the count of primes below 1000 at 0x1F0 and the last prime at 0x1F2.
read -r _ _ c0 c1 l0 l1 <<< "$dump"
echo
echo "The demo drew a test card (see build/demo.png), counted $((16#$c1$c0)) primes below 1000"
echo "through the host's arithmetic service (the last one: $((16#$l1$l0))) and ended with exit status $status."
