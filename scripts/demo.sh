#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs the monitor's main job against a simulated GSM modem:
# the modem simulator on a pseudo-terminal, an ini that points the monitor at it, the monitor
# in its own program folder (build/demo/), and a stand-in dispatcher that asks it to open the
# modem. The simulated devices then send a position, an input alarm and a parameter answer:
# the tray turns green, then red with the unread balloon. With no display the run uses a
# virtual one (Xvfb) with the trayer tray host and saves screenshots of the tray.
#
# ORVEX_DEMO_SECONDS: how long the monitor runs after the messages (default: until Ctrl-C on a
# terminal, else 10).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# The window steps find windows by their Russian titles, which xdotool matches only under a
# UTF-8 locale; a machine without one (no LANG at all) gets the one that glibc always has.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then export LC_ALL=C.UTF-8; fi

if [ -z "${ORVEX_DEMO_BUS:-}" ] && [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  # The dispatcher link needs a session bus: give the demo one of its own.
  bash scripts/deps.sh
  exec env ORVEX_DEMO_BUS=1 dbus-run-session -- bash "$0" "$@"
fi

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target orvex-monitor orvex-modemsim orvex-dispatcher-standin

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp build/app/orvex-monitor "$demo/orvex-monitor"
export XDG_RUNTIME_DIR="$demo/runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
# The desktop's file types and the programs for them come from the demo's own folders.
export XDG_CONFIG_HOME="$demo/xdg/config" XDG_DATA_HOME="$demo/xdg/data"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

seconds=${ORVEX_DEMO_SECONDS:-}
if [ -z "$seconds" ]; then
  if [ -t 0 ]; then seconds=0; else seconds=10; fi
fi

pids=()
# Stops what the demo started in the reverse order, each before the next: the monitor ends
# while its display, tray, dispatcher and modem are still there.
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  pids=()
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  # A window manager, so that the windows get frames and titles as on a desktop.
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false \
    --tint 0x404040 >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  virtual=1
fi

shot() {
  if [ "${virtual:-0}" = 1 ]; then
    import -window root "$demo/$1.png" 2>/dev/null && echo "   screenshot: $demo/$1.png"
  fi
}

# Opens the monitor's tray menu and presses KEYS in it (on the demo's own display only). A
# click on the icon while a balloon shows counts as a click on the balloon, so an open balloon
# is closed first with its own close button. The monitor's icon is the only one in the tray.
tray_menu() {
  local window tray WIDTH HEIGHT X Y SCREEN
  for window in $(xdotool search --onlyvisible --classname orvex-monitor); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    if [ "$WIDTH" -gt 100 ] && [ "$HEIGHT" -lt 150 ]; then
      xdotool mousemove --window "$window" $((WIDTH - 15)) 34 click 1
      sleep 0.3
    fi
  done
  tray=$(xdotool search --onlyvisible --class trayer | head -1 || true)
  [ -n "$tray" ] || { echo "   no tray to click"; return 0; }
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
  sleep 0.5
  xdotool key "$@"
}

# The simulated modem: SIM ready, registered with an operator two seconds after start.
modem_link="$demo/ttyModem"
modem_control="$demo/modem.sock"
build/tools/modemsim/orvex-modemsim --link "$modem_link" --control "$modem_control" \
  --exec "register 2000 SimNet" >"$demo/modemsim.out" 2>&1 </dev/null &
pids+=($!)
for _ in $(seq 50); do [ -S "$modem_control" ] && break; sleep 0.1; done
modem() { printf '%s\n' "$1" | socat -t 2 - "UNIX-CONNECT:$modem_control" >/dev/null; }

cat >"$demo/OrvexMonitor.ini" <<INI
[COMMON]
PhonePort=$modem_link
PinCode=
AutoConnect=0
CheckPin=0
WriteDebugLog=1

[VISUAL]
ShowNotify=1
INI

# The stand-in dispatcher, driven through a pipe.
mkfifo "$demo/dispatcher.in"
build/tools/dispatcher/orvex-dispatcher-standin <"$demo/dispatcher.in" >"$demo/dispatcher.out" 2>&1 &
pids+=($!)
exec 3>"$demo/dispatcher.in"

echo "1. the monitor starts: $demo/orvex-monitor (ini, log and trace in $demo)"
"$demo/orvex-monitor" &
pids+=($!)
monitor=${pids[-1]}
sleep 3
shot 1-started

echo "2. the dispatcher asks the monitor to open the modem"
echo "command 0" >&3
for _ in $(seq 100); do grep -q '^notice 1 ' "$demo/dispatcher.out" 2>/dev/null && break; sleep 0.1; done
sleep 1
shot 2-modem-open

echo "3. the devices report: a position, an input alarm, a parameter answer"
modem "cmt +79001234567 12345 141530.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324"
modem "cmti +79001234568 12346 input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,0,0,050324"
modem "cmt +79001234569 12347 periodwr=60;"
sleep 3
shot 3-unread

echo "   the SMS log holds $(( $(stat -c %s "$demo/OrvexMonitor.log" 2>/dev/null || echo 0) / 200 )) records;" \
  "the dispatcher got $(grep -c '^notice' "$demo/dispatcher.out" 2>/dev/null || echo 0) notices"

# The windows' steps: each fragment in scripts/demo-steps/ (in name order) drives the running
# monitor (its pid in $monitor, its folder in $demo, the modem through `modem`, the dispatcher
# through fd 3) and saves its screenshots with `shot NAME`.
shopt -s nullglob
for step in scripts/demo-steps/*.sh; do
  # shellcheck source=/dev/null
  source "$step"
done
shopt -u nullglob

if [ "$seconds" = 0 ]; then
  echo "the monitor runs in the tray; Ctrl-C ends it"
  wait "$monitor"
else
  sleep "$seconds"
  echo "the demo ends after ${seconds}s"
fi
