# The send window: the stand-in dispatcher lends a fleet, the tray menu opens the window with
# its targets, and its command menu opens the template window in base-settings mode for a
# series-5 vehicle. Both windows are driven by keyboard from the tray menu on.

echo "50. the dispatcher lends its fleet; the send window offers it as targets"
cat >"$demo/fleet.txt" <<'FLEET'
[Автобусы]
22001|Автобус 12|ЛиАЗ|+79001110001|pass1234
32500|Автобус 7||+79001110002|77777777
[Грузовики]
40001||ГАЗель|+79001110003|secret12
[Резерв]
FLEET
echo "fleet $demo/fleet.txt" >&3
echo "event 201" >&3
sleep 1

if [ "${virtual:-0}" = 1 ]; then
  # The tray menu's enabled items start with "Закрыть модем", then "Отправить СМС".
  tray_menu Down Down Return
  send=$(timeout 5 xdotool search --sync --onlyvisible --name "Отправить СМС" | head -1 || true)
  if [ -n "$send" ]; then
    sleep 0.5
    xdotool windowfocus --sync "$send" 2>/dev/null || true
    # The target list has the focus: seven entries down is the series-5 bus.
    xdotool key Down Down Down Down Down Down Down
    sleep 0.5
    shot 50-send-fleet
    # Number, text, then ">>": its menu, the settings submenu, its first entry.
    xdotool key Tab Tab Tab space
    sleep 0.5
    xdotool key Down Down Right
    sleep 0.3
    xdotool key Return
    sleep 1
    shot 50-template-base-series5
    # Cancelled: the send window stays open in free-text mode.
    xdotool key Escape
    sleep 0.3
  else
    echo "   the send window did not open"
  fi
fi
