# The message window: the history opened from the tray menu of the running monitor, the
# position report selected, its detail under the list; an operator's message among the rows.
echo "20. the history opens from the tray menu; the position report is selected"
# The operator's balance message comes under its name (an alphanumeric sender).
modem "cmt SimNet Balance 100.00"
sleep 1
if [ "${virtual:-0}" = 1 ]; then
  # The enabled items down to "История операций": close modem, send, balloons, history.
  tray_menu Down Down Down Down Return
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
