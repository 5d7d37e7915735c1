#!/usr/bin/env bash
# The settings dialog on a real X server (run under xvfb-run with a 1024x768
# screen): it fits the screen, and SIGTERM with the Info box open over a
# running transition ends the program within a second, which saves as usual.
set -u
velmirano=$1
tool=$2
. "$(dirname "$0")/common.sh"
$im -size 400x300 xc:'#ff0000' "$pics/a.png"
$im -size 400x300 xc:'#00ff00' "$pics/b.png"
# A line-by-line transition that would take minutes.
store "$pics" 'delay=1\ntdauer=2\njpg=0\npng=1\nblende=2' '[pdelay]\nD2=900000000\nS2=1\n'
# Some red in the 288x216 preview, but not all of it: the transition runs.
red_partly() { shot; n=$($im "$work/shot.png" -fill black +opaque red -fill white -opaque red -format '%[fx:int(mean*w*h+0.5)]' info:)
  [ "$n" -ge 1 ] && [ "$n" -le $((288 * 216 - 1000)) ]; }

"$velmirano" /C & pid=$!
wid=$(timeout 60 xdotool search --sync --name '^Velmirano - Optionen$' | head -1)
[ -n "$wid" ] || { bad "the dialog did not open"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$wid")"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1024 ] && [ $((Y + HEIGHT)) -le 768 ] \
  && pass "dialog ${WIDTH}x${HEIGHT}+${X}+${Y} lies on the screen" \
  || bad "dialog ${WIDTH}x${HEIGHT}+${X}+${Y} sticks out of 1024x768"
poll 60000 red_partly && pass "slow transition under way" || bad "slow transition not seen"
# Without a window manager the dialog takes the keyboard only when told. From
# the folder list, first in the focus chain, backwards: Abbrechen, OK, Info.
xdotool windowfocus --sync "$wid"
xdotool key shift+Tab shift+Tab shift+Tab space
timeout 60 xdotool search --sync --name '^Info zu Velmirano$' >/dev/null && pass "Info opened" || bad "Info did not open"
kill -TERM $pid
poll 1000 gone $pid && pass "SIGTERM with Info open ends within 1 s" || { bad "SIGTERM waited for the Info box"; kill -9 $pid; }
check "$(get misc message)" "[OK]" "saved its end"
check "$(timings pdelay)" 152 "timings saved to pdelay"
exit $fail
