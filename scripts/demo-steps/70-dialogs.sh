# Qt's own dialogs, in Russian like the rest: the settings window's question before it reopens
# a modem in use (a PIN typed with the PIN check switched back on; answered "Нет", so the modem
# stays as it is), and the template window's chooser of the globe program's places file (from
# a control point's "Взять из Google Earth"; cancelled).

if [ "${virtual:-0}" = 1 ]; then
  echo "70. the settings window asks before it reopens the modem"
  if tray_menu_from_bottom 3 && settings=$(monitor_window "Параметры"); then
    sleep 0.5
    xdotool mousemove --window "$settings" 25 225 click 1  # "Отключить проверку PIN кода" off
    xdotool mousemove --window "$settings" 122 249 click 1  # "PIN код:"
    xdotool type --delay 50 '1234'
    xdotool mousemove --window "$settings" 161 286 click 1  # "ОК"
    if question=$(monitor_window "Orvex монитор"); then
      sleep 0.5
      shot 70-reopen-question
      xdotool windowfocus --sync "$question" 2>/dev/null || true
      xdotool key Escape  # "Нет"
    else
      echo "   no question came"
    fi
  else
    echo "   the settings window did not open"
  fi
  sleep 0.5

  echo "70. the template window's control points ask for the places file"
  tray_menu Down Down Return
  if send=$(monitor_window "Отправить СМС"); then
    sleep 0.5
    xdotool windowfocus --sync "$send" 2>/dev/null || true
    # The remembered target is the series-5 bus; ">>", the settings submenu, "Контрольные точки".
    xdotool key Tab Tab Tab space
    sleep 0.5
    xdotool key Down Down Right
    sleep 0.3
    xdotool key Down Down Down Return
    if template=$(monitor_window "Контрольные точки"); then
      sleep 0.5
      # Point 1's coordinate selector, then its button (the first point box, top left).
      xdotool mousemove --window "$template" 29 204 click 1
      sleep 0.3
      shot 70-template-control-points
      xdotool mousemove --window "$template" 344 204 click 1
      if chooser=$(monitor_window "Файл меток Google Earth"); then
        sleep 0.5
        shot 70-places-chooser
        xdotool windowfocus --sync "$chooser" 2>/dev/null || true
        xdotool key Escape
      else
        echo "   no file chooser came"
      fi
      sleep 0.3
      xdotool windowfocus --sync "$template" 2>/dev/null || true
      xdotool key Escape
    else
      echo "   the template window did not open"
    fi
    sleep 0.3
    xdotool windowclose "$send" 2>/dev/null || xdotool windowfocus --sync "$send" key alt+F4
  else
    echo "   the send window did not open"
  fi
fi
