# A composed command: the send window, still on the series-5 bus, opens the template window in
# base-settings mode again; the device name is ticked and typed, OK composes the line, the send
# puts it out, and the simulated modem's list of sent messages shows what it received.

echo "60. a base-settings command for the series-5 bus, composed and sent"
composed=0
if [ "${virtual:-0}" = 1 ]; then
  send=$(xdotool search --name '^Отправить СМС$' 2>/dev/null | head -1 || true)
  if [ -n "$send" ]; then
    xdotool windowfocus --sync "$send" 2>/dev/null || true
    # The focus is back on ">>": its menu, the settings submenu, its first entry.
    xdotool key space
    sleep 0.5
    xdotool key Down Down Right
    sleep 0.3
    xdotool key Return
    sleep 1
    template=$(xdotool search --name '^Настройки устройства$' 2>/dev/null | head -1 || true)
    if [ -n "$template" ]; then
      # The device-name selector and its edit, where the base-settings box shows them.
      xdotool mousemove --window "$template" 20 145 click 1
      sleep 0.3
      xdotool mousemove --window "$template" 300 145 click 1
      xdotool type --delay 50 'Bus7'
      sleep 0.3
      shot 60-template-device-name
      # Enter is OK: the line is composed and the send window shows it.
      xdotool key Return
      sleep 1.5  # the count follows the text after a second of quiet
      shot 60-send-composed
      # "Отправить" fills the bottom right corner of the send window.
      size=$(xdotool getwindowgeometry "$send" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
      if [ -n "$size" ]; then
        read -r width height <<<"$size"
        xdotool mousemove --window "$send" $((width - 100)) $((height - 22)) click 1
        composed=1
      fi
    else
      echo "   the template window did not open"
    fi
  else
    echo "   no send window open: nothing composed"
  fi
fi
if [ "$composed" = 1 ]; then
  sent_list() { { printf 'sent\n' | socat -t 2 - "UNIX-CONNECT:$modem_control" || true; } | { grep -v '^ok$' || true; }; }
  # The send thread spaces its messages by ten seconds, the first one included.
  for _ in $(seq 30); do [ -n "$(sent_list)" ] && break; sleep 1; done
  echo "   the simulated modem sent (recipient, text):"
  sent_list | sed 's/^/     /'
  echo "   the journal $demo/smsList.txt ends in:"
  tail -n 7 "$demo/smsList.txt" | tr -d '\r' | sed 's/^/     /'
fi
