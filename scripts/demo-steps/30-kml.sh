# The position export: the history's position report (selected by the message window's step)
# goes into the position file beside the monitor, and the file to the program the desktop has
# for it. The desktop here is the demo's own XDG folders with a stand-in globe program, a
# desktop entry that writes the file it is given to a file of its own.
echo "30. the position report goes to the KML file and the globe program"
globe_out="$demo/globe-standin.out"
mkdir -p "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME"
cat >"$demo/globe-standin" <<SH
#!/bin/sh
printf '%s\n' "\$@" >"$globe_out"
SH
chmod +x "$demo/globe-standin"
cat >"$XDG_DATA_HOME/applications/orvex-globe-standin.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Globe stand-in
Exec=$demo/globe-standin %f
MimeType=application/vnd.google-earth.kml+xml;text/xml;application/xml;
DESKTOP
# The type xdg-mime gives a KML file here (text/xml on a desktop without its own database).
printf '<?xml version="1.0" encoding="UTF-8"?>\n<kml/>\n' >"$demo/sample.kml"
kml_type=$(xdg-mime query filetype "$demo/sample.kml" 2>/dev/null || true)
rm -f "$demo/sample.kml"
printf '[Default Applications]\n%s=orvex-globe-standin.desktop\n' "${kml_type:-text/xml}" >"$XDG_CONFIG_HOME/mimeapps.list"
echo "   a KML file is of type ${kml_type:-?}; its program: $(xdg-mime query default "${kml_type:-text/xml}" 2>/dev/null)"

if [ "${virtual:-0}" = 1 ]; then
  history=$(xdotool search --onlyvisible --name "История операций" | head -1 || true)
  if [ -n "$history" ]; then
    # The globe button is the bottom-left one of the window (28 x 28, 4 from the left edge,
    # 6 from the bottom).
    eval "$(xdotool getwindowgeometry --shell "$history")"
    xdotool mousemove --window "$history" 18 $((HEIGHT - 20)) click 1
    for _ in $(seq 50); do [ -s "$globe_out" ] && break; sleep 0.1; done
    sleep 0.5
    shot 30-kml
    kml="$demo/OrvexMonitor.kml"
    if [ -f "$kml" ]; then
      echo "   the KML file: $kml"
      grep -o '<coordinates>[^<]*</coordinates>' "$kml" | sed 's/^/   /'
    else
      echo "   no KML file was written"
    fi
    if [ -s "$globe_out" ]; then
      echo "   the globe program got: $(cat "$globe_out")"
    else
      echo "   the globe program got nothing"
    fi
  else
    echo "   the history window is not open"
  fi
fi
