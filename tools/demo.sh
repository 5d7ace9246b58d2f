#!/usr/bin/env bash
# Builds Velmora and shows the Snake example: in a window when there is a display, else played
# headless with scripted keys. Either way it says which, and what happened.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BENCH=OFF > /dev/null
cmake --build build --target velmora-run velmora snake
snake=build/examples/snake/snake.hex
echo

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/velmora ]; then
  echo "A display is available: Snake opens in a window (build/velmora $snake)."
  echo "Arrow keys steer, Shift races, Space pauses, Esc gives up, Enter or a click plays again."
  echo "Close the window to end."
  status=0
  build/velmora "$snake" || status=$?
  echo "The window was closed; velmora ended with exit status $status."
  exit 0
fi

echo "No display: Snake plays headless (build/velmora-run), steered by scripted keys."
echo "== build/velmora-run --seed 162 --key down@400 --key right@700 --key up@1100 \\"
echo "     --key right@1500 --close 2500 --screenshot build/snake.png $snake"
status=0
dump=$(build/velmora-run --quiet --seed 162 --key down@400 --key right@700 --key up@1100 \
  --key right@1500 --close 2500 --screenshot build/snake.png --dump-memory 0x1F0:6 "$snake") ||
  status=$?
# Snake keeps its head at 0x1F0 and 0x1F1, its length at 0x1F2 and its score at 0x1F3.
read -r _ _ x y length s0 s1 _ <<< "$dump"
echo
echo "The snake went down, right, up and right again, ate $((16#$s1$s0 / 10)) apple(s) (score" \
  "$((16#$s1$s0)), length $((16#$length))) and ended at cell $((16#$x)),$((16#$y)) when the" \
  "scripted close request came; exit status $status. The last picture is build/snake.png."
