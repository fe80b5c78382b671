# The settings window and the About window, each opened from the tray menu as a user opens
# them: a right click on the tray icon, then the menu item from the bottom of the menu
# ("Настройки" third from the bottom, "О программе" second).

# The monitor's visible windows titled "Orvex Monitor": the tray icon (small, in the tray) and
# its balloon while one shows. `$1` is "icon" or "balloon".
tray_window() {
  local window WIDTH HEIGHT
  for window in $(xdotool search --onlyvisible --pid "$monitor" --name '^Orvex Monitor$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    if { [ "$1" = icon ] && [ "$WIDTH" -le 40 ] && [ "$HEIGHT" -le 40 ]; } ||
       { [ "$1" = balloon ] && [ "$WIDTH" -gt 40 ]; }; then
      echo "$window"
      return 0
    fi
  done
  return 1
}

# Picks the menu item `$1` places from the bottom of the tray menu. A balloon that shows is put
# away first with a right click, which does not count as a click on its message (a click on
# the icon while it shows would).
tray_menu_from_bottom() {
  local icon balloon keys=()
  if balloon=$(tray_window balloon); then
    xdotool mousemove --window "$balloon" 20 40 click 3
    sleep 0.3
  fi
  icon=$(tray_window icon) || return 1
  xdotool mousemove --window "$icon" 11 15 click 3
  sleep 0.5
  for ((i = 0; i < $1; i++)); do keys+=(Up); done
  xdotool key "${keys[@]}" Return
}

# The monitor's visible window whose title begins with `$1`; waits up to 5 s. Titles are
# compared here, not by xdotool's pattern, which does not take Cyrillic text.
monitor_window() {
  local window
  for _ in $(seq 50); do
    for window in $(xdotool search --onlyvisible --pid "$monitor" --name '' 2>/dev/null); do
      [[ "$(xdotool getwindowname "$window" 2>/dev/null)" == "$1"* ]] && { echo "$window"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

if [ "${virtual:-0}" = 1 ]; then
  echo "40. the settings window opens from the tray menu"
  if tray_menu_from_bottom 3 && settings=$(monitor_window "Параметры"); then
    sleep 0.5
    shot 40-settings
    xdotool mousemove --window "$settings" 241 286 click 1  # "Отмена": nothing is written
  else
    echo "   the settings window did not open"
  fi
  sleep 0.5

  echo "40. the About window opens from the tray menu"
  if tray_menu_from_bottom 2 && about=$(monitor_window "О программе"); then
    sleep 0.5
    shot 40-about
    xdotool mousemove --window "$about" 302 196 click 1  # "OK"
  else
    echo "   the About window did not open"
  fi
  sleep 0.5
else
  echo "40. the settings and About windows open from the tray menu (\"Настройки\", \"О программе\")"
fi
