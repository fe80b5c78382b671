# The message window: the history opened from the tray menu of the running monitor, the
# position report selected, its detail under the list.
echo "20. the history opens from the tray menu; the position report is selected"
if [ "${virtual:-0}" = 1 ]; then
  # A click on the icon while the unread balloon shows counts as a click on the balloon: the
  # balloon is closed first with its own close button.
  for window in $(xdotool search --onlyvisible --classname orvex-monitor); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    if [ "$WIDTH" -gt 100 ] && [ "$HEIGHT" -lt 150 ]; then
      xdotool mousemove --window "$window" $((WIDTH - 15)) 34 click 1
      sleep 0.3
    fi
  done
  tray=$(xdotool search --onlyvisible --class trayer | head -1)
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  # The monitor's icon is the only one in the tray: its menu, then the enabled items down to
  # "История операций" (close modem, send, balloons, history).
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
  sleep 0.5
  xdotool key Down Down Down Down Return
  history=$(timeout 5 xdotool search --sync --onlyvisible --name "История операций" | head -1 || true)
  if [ -n "$history" ]; then
    # Newest first: the position report, the first to arrive, is the last row.
    sleep 0.5
    xdotool windowfocus --sync "$history" 2>/dev/null || true
    xdotool key --window "$history" End
    sleep 0.5
    shot 20-messages
  else
    echo "   the history window did not open"
  fi
fi
