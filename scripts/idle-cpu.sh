#!/usr/bin/env bash
# Measures what the monitor costs while it waits: the monitor with its modem open on the modem
# simulator and nothing arriving. Prints the CPU share of one core that the monitor process
# used over the measured span and its wake-ups a second (context switches of all its threads).
#
# Needs a build in build/ (orvex-monitor, orvex-modemsim, orvex-dispatcher-standin) and a
# session bus (run it under dbus-run-session). ORVEX_IDLE_SECONDS: the span (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${ORVEX_IDLE_SECONDS:-60}

work=$(mktemp -d /tmp/orvex-idle-XXXXXX)
cp build/app/orvex-monitor "$work/orvex-monitor"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$root/build/tools/modemsim/orvex-modemsim" --link "$work/ttyModem" --exec "register 0 SimNet" \
  >"$work/modemsim.out" 2>&1 </dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/ttyModem" ] && break; sleep 0.1; done

cat >"$work/OrvexMonitor.ini" <<INI
[COMMON]
PhonePort=$work/ttyModem
PinCode=
AutoConnect=0
CheckPin=0
WriteDebugLog=0

[VISUAL]
ShowNotify=0
INI

mkfifo "$work/dispatcher.in"
"$root/build/tools/dispatcher/orvex-dispatcher-standin" <"$work/dispatcher.in" >"$work/dispatcher.out" 2>&1 &
pids+=($!)
exec 3>"$work/dispatcher.in"

"$work/orvex-monitor" >"$work/monitor.out" 2>&1 &
monitor=$!
pids+=($monitor)
sleep 2
echo "command 0" >&3
for _ in $(seq 200); do grep -q '^notice 1 ' "$work/dispatcher.out" 2>/dev/null && break; sleep 0.1; done
grep -q '^notice 1 ' "$work/dispatcher.out" || { echo "the modem did not open" >&2; exit 1; }
# Let the store sweep of the first reader turn pass.
sleep 3

# CPU time in nanoseconds, summed over the monitor's threads (the scheduler's own count: the
# clock ticks of /proc/PID/stat are 10 ms each, too coarse for a share of a few hundredths of
# a percent).
cpu_ns() {
  cat /proc/"$monitor"/task/*/schedstat 2>/dev/null | awk '{sum += $1} END {printf "%d", sum}'
}
switches() {
  cat /proc/"$monitor"/task/*/status 2>/dev/null |
    awk '/^(non)?voluntary_ctxt_switches/ {sum += $2} END {print sum}'
}
t0=$(cpu_ns); s0=$(switches); start=$(date +%s.%N)
sleep "$seconds"
t1=$(cpu_ns); s1=$(switches); end=$(date +%s.%N)
awk -v t="$((t1 - t0))" -v s="$((s1 - s0))" -v a="$start" -v b="$end" 'BEGIN {
  span = b - a
  printf "idle span %.1f s: CPU %.3f %% of one core, %.1f wake-ups/s\n", span, 100 * t / 1e9 / span, s / span
}'
