#!/usr/bin/env bash
# Runs a command under an Xorg server with the dummy driver and two RandR
# monitors of different sizes on one X screen: DUMMY0 1920x1080 at 0,0 and
# DUMMY1 1280x1024 at 1920,0 (Xvfb cannot do this: its heads overlap).
# Usage: xdummy.sh command args...   (DISPLAY is set for the command)
set -u
dir=$(mktemp -d)
cat > "$dir/xorg.conf" <<'CONF'
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
  Option "NumCrtcs" "2"
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 3200 1080
  EndSubSection
EndSection
CONF
# A free display number.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xorg ":$n" -config "$dir/xorg.conf" -configdir "$dir" -noreset -nolisten tcp -logfile "$dir/xorg.log" \
  >"$dir/xorg.out" 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; wait $xpid 2>/dev/null; rm -rf "$dir"' EXIT
export DISPLAY=":$n"
end=$(( $(date +%s) + 60 ))
until xrandr >/dev/null 2>&1; do
  if ! kill -0 $xpid 2>/dev/null || [ $(date +%s) -ge $end ]; then
    echo "FAIL: Xorg with the dummy driver did not start"; cat "$dir/xorg.out"; tail -30 "$dir/xorg.log"; exit 1
  fi
  sleep 0.2
done
xrandr --newmode "1280x1024_60.00" 109.00 1280 1368 1496 1712 1024 1027 1034 1063 -hsync +vsync 2>/dev/null
xrandr --addmode DUMMY1 1280x1024_60.00 &&
xrandr --output DUMMY0 --mode 1920x1080 --pos 0x0 --primary --output DUMMY1 --mode 1280x1024_60.00 --pos 1920x0 ||
  { echo "FAIL: xrandr could not set up two monitors"; xrandr; exit 1; }
"$@"
