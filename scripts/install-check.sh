#!/usr/bin/env bash
# Runs the README's install steps into a temporary home and checks the installed program:
# `cmake --install <build> --prefix ~/.local`, the desktop entry copied to the autostart
# folder, then the program started from ~/.local/bin (offscreen) must keep its settings in
# ~/.local/lib/orvex-monitor/. Installed where the user cannot write (a system-wide prefix), it
# must keep them in ~/.local/share/OrvexMonitor/ instead. Usage: install-check.sh <build folder>
# (ctest runs it inside a session bus of its own).
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/orvex-install-XXXXXX)
monitor=
cleanup() {
  if [ -n "$monitor" ]; then kill -KILL "$monitor" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# Starts the program as given (a command line), waits until its settings file at $2 holds the
# keys the program writes at start, stops it. The start reads and writes nothing else first, so
# the wait is the program's start alone; it is generous for a loaded machine and the sanitizer
# build.
start_and_wait() {
  local ini=$1
  shift
  "$@" > "$work/monitor.out" 2>&1 &
  monitor=$!
  local i
  for i in $(seq 1 600); do
    grep -q '^WriteDebugLog=' "$ini" 2>/dev/null && break
    kill -0 "$monitor" 2>/dev/null || { cat "$work/monitor.out" >&2; fail "the program ended at start"; }
    sleep 0.1
  done
  grep -q '^WriteDebugLog=' "$ini" 2>/dev/null || { cat "$work/monitor.out" >&2; fail "no settings written to $ini"; }
  kill -TERM "$monitor" 2>/dev/null || true
  for i in $(seq 1 100); do kill -0 "$monitor" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$monitor" 2>/dev/null || true
  wait "$monitor" 2>/dev/null || true
  monitor=
}

export QT_QPA_PLATFORM=offscreen

# A user install, as the README gives it.
home="$work/home"
mkdir -p "$home/.config/autostart"
export HOME="$home" XDG_DATA_HOME= XDG_CONFIG_HOME=
runtime="$work/runtime"
mkdir -m 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
cmake --install "$build" --prefix ~/.local > "$work/install.out" || { cat "$work/install.out" >&2; fail "install"; }
folder=~/.local/lib/orvex-monitor
[ -x "$folder/orvex-monitor" ] || fail "no program in $folder"
[ -x ~/.local/bin/orvex-monitor ] || fail "no ~/.local/bin/orvex-monitor"
# The D2XX library is looked for in the program's folder first, wherever its files live.
readelf -d "$folder/orvex-monitor" | grep -q 'RUNPATH.*\[\$ORIGIN\]' || fail "the program does not search its own folder for libraries"
entry=~/.local/share/applications/orvex-monitor.desktop
[ -f "$entry" ] || fail "no desktop entry"
cp "$entry" ~/.config/autostart/
exec_line=$(sed -n 's/^Exec=//p' ~/.config/autostart/orvex-monitor.desktop)
[ "$exec_line" = "\"$folder/orvex-monitor\"" ] || fail "the desktop entry starts $exec_line"

# A settings file the user wrote before the first start: the program reads it there and adds
# the keys it misses, keeping the user's values.
printf '[COMMON]\nPhonePort=/dev/ttyUSB0\nPinCode=4321\n' > "$folder/OrvexMonitor.ini"
start_and_wait "$folder/OrvexMonitor.ini" ~/.local/bin/orvex-monitor
grep -qx 'PhonePort=/dev/ttyUSB0' "$folder/OrvexMonitor.ini" || fail "PhonePort was not kept"
grep -qx 'PinCode=4321' "$folder/OrvexMonitor.ini" || fail "PinCode was not kept"
grep -qx 'AutoConnect=0' "$folder/OrvexMonitor.ini" || fail "AutoConnect was not added"
grep -qx 'ShowNotify=1' "$folder/OrvexMonitor.ini" || fail "ShowNotify was not added"
[ ! -e ~/.local/share/OrvexMonitor/OrvexMonitor.ini ] || fail "settings written to the data folder too"
echo "user install: settings in $folder"

# A system-wide install that the user cannot write: the settings go to the data folder. As
# root the program runs as the user nobody, for whom the prefix is not writable.
system="$work/system"
cmake --install "$build" --prefix "$system" > "$work/install.out" || { cat "$work/install.out" >&2; fail "install"; }
user_home="$work/user"
mkdir -p "$user_home"
if [ "$(id -u)" = 0 ]; then
  chmod 755 "$work"
  chown 65534:65534 "$user_home"
  user_runtime="$work/user-runtime"
  mkdir -m 700 "$user_runtime"
  chown 65534:65534 "$user_runtime"
  run=(setpriv --reuid=65534 --regid=65534 --clear-groups
       env HOME="$user_home" XDG_RUNTIME_DIR="$user_runtime")
else
  chmod a-w "$system/lib/orvex-monitor"
  run=(env HOME="$user_home")
fi
start_and_wait "$user_home/.local/share/OrvexMonitor/OrvexMonitor.ini" \
  "${run[@]}" "$system/bin/orvex-monitor"
[ ! -e "$system/lib/orvex-monitor/OrvexMonitor.ini" ] || fail "settings written beside a system-wide program"
grep -qx 'PhonePort=direct' "$user_home/.local/share/OrvexMonitor/OrvexMonitor.ini" || fail "no defaults in the data folder's settings"
chmod -R u+w "$system"
echo "system-wide install: settings in ~/.local/share/OrvexMonitor"
