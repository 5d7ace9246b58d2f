#!/usr/bin/env bash
# Builds Velmora and runs the bundled demo guest program headless, showing what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BENCH=OFF > /dev/null
cmake --build build --target velmora-run demo
echo
echo "== velmora-run build/examples/demo/demo.hex"
build/velmora-run --seed 1 --screenshot build/demo.png --dump-memory 0x1F0:4 build/examples/demo/demo.hex || true
echo "Screenshot of the demo's screen: build/demo.png"
