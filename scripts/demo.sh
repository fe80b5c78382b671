#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs the monitor's main job: the tray program in its own
# program folder (build/demo/), showing its icon in the tray. With no display it runs on a
# virtual one (Xvfb) with the trayer tray host and saves a screenshot of the tray.
#
# ORVEX_DEMO_SECONDS: how long the monitor runs (default: until Ctrl-C on a terminal, else 20).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target orvex-monitor orvex-modemsim

demo="$root/build/demo"
mkdir -p "$demo"
cp build/app/orvex-monitor "$demo/orvex-monitor"

seconds=${ORVEX_DEMO_SECONDS:-}
if [ -z "$seconds" ]; then
  if [ -t 0 ]; then seconds=0; else seconds=20; fi
fi

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 800x200x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false \
    --tint 0x404040 >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  virtual=1
fi

echo "monitor: $demo/orvex-monitor (its ini, log and trace live in $demo)"
"$demo/orvex-monitor" &
pids+=($!)
monitor=${pids[-1]}
sleep 3

if [ "${virtual:-0}" = 1 ]; then
  shot="$demo/tray.png"
  import -window root "$shot" 2>/dev/null && echo "screenshot of the tray: $shot"
fi

if [ "$seconds" = 0 ]; then
  echo "the monitor runs in the tray; Ctrl-C ends it"
  wait "$monitor"
else
  sleep "$seconds"
  echo "the demo ends after ${seconds}s"
fi
