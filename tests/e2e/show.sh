#!/usr/bin/env bash
# The show as a person meets it, on a real X server (run under xvfb-run with
# a 1024x768 screen): pictures one after the other, a key ends the show and
# what it saved is read back, the next run resumes, the mouse, SIGTERM,
# the preview and the XScreenSaver hack live in their host window. Every wait
# polls with a generous limit: the sanitizer build on a loaded machine is slow.
set -u
velmirano=$1
tool=$2
. "$(dirname "$0")/common.sh"
mkdir -p "$work/yellow" "$work/other/Velmiworks"
# Three pictures in show order, then a broken one.
picture '#ff0000' "$pics/a_rot.jpg"
picture '#00ff00' "$pics/b_gruen.jpg"
picture '#0000ff' "$pics/c_blau.jpg"
picture '#ffff00' "$work/yellow/y.jpg"
head -c 300 "$pics/a_rot.jpg" > "$pics/d_kaputt.jpg"
write_conf() { # $1 blende, $2 folder, $3 more sections, $4 file
  store "${2:-$pics}" "delay=3\ntdauer=1\nblende=$1" "${3:-}" "${4:-}"
}
# The colour at the centre of the screen is $1 (rot, gruen, blau).
centre() { shot; seen=$(colour_at 512 384)
  case $seen in \#F?0?0?|\#E?0?0?) seen=rot ;; \#0?F?0?|\#0?E?0?) seen=gruen ;; \#0?0?F?|\#0?0?E?) seen=blau ;; esac
  [ "$seen" == "$1" ]; }
any_picture() { centre rot || [ "$seen" == gruen ] || [ "$seen" == blau ]; }
# Between $2 and $3 pixels of the screen have about colour $1.
pixels() { shot; n=$($im "$work/shot.png" -fuzz 10% -fill black +opaque "$1" -fill white -opaque "$1" \
  -format '%[fx:int(mean*w*h+0.5)]' info:); [ "$n" -ge "$2" ] && [ "$n" -le "$3" ]; }
# The tool's 320x240 host window: its id in $id, its process in $host.
open_host() { rm -f "$work/host"; "$tool" host-window > "$work/host" & host=$!
  poll 60000 test -s "$work/host" || bad "no host window"; id=$(head -1 "$work/host"); }

# --- Switches that end at once and write nothing.
for args in "/X" "/A 0" "/Q something"; do
  timeout 60 "$velmirano" $args; check "$?" 0 "velmirano $args exits normally"
  [ -e "$conf" ] && { bad "velmirano $args wrote the store"; rm -f "$conf"; }
done

# --- The show: red, green, blue in turn (effect 1 cuts, 3 s each).
write_conf 1
"$velmirano" /S & pid=$!
poll 60000 any_picture; check "$seen" rot "first picture is the first file"
poll 30000 centre gruen && pass "second picture follows" || bad "second picture never came ($seen)"
# A second show of the same user ends at once and changes nothing.
timeout 60 "$velmirano" /S; check "$?" 0 "second /S exits normally"
poll 30000 centre blau && pass "third picture follows" || bad "third picture never came ($seen)"
# The broken file comes next: logged, a plain colour, then red again.
poll 30000 centre rot && pass "after the broken file the list wraps to the first" || bad "no wrap ($seen)"
key_ends $pid 30000 && pass "a key ends the show" || bad "show did not end on a key"
msg=$(get misc message)
[ "$msg" == "[PICTURE_KEYDOWN ]" ] || [ "$msg" == "[FORM_KEYDOWN ]" ] && pass "end reason $msg" || bad "end reason $msg"
check "$(get misc caller)$(get misc dimensions)" "[Saver][1024 x 768]" "caller and dimensions"
check "$(timings delay)" 152 "all 152 timing values in delay"
check "$(get misc letztes_bild)$(get error numbers)" "[1][1]" "last picture index saved, one failure logged"
entry=$("$tool" enum error | tr '\n' ' ')
[[ $entry =~ number0\ =\ [0-9.]{10}\ [0-9:]{8}\ Fehler\ [0-9]+\ in\ IS_ReadXXX.*d_kaputt.jpg ]] \
  && pass "log entry: $entry" || bad "log entry: [$entry]"

# --- The next run resumes after the last picture shown; a 1+1 pixel move
# keeps it, a larger one ends it. A long interval keeps the picture on
# screen however slowly the machine answers meanwhile.
sed -i 's/^delay=3$/delay=60/' "$conf" # the longest the settings accept
xdotool mousemove 100 100
"$velmirano" /S & pid=$!
poll 60000 any_picture; check "$seen" gruen "next run starts with the picture after the last one"
xdotool mousemove 101 101
poll 2000 gone $pid && bad "show ended on a tiny move"
xdotool mousemove 130 140
poll 30000 gone $pid && pass "a larger move ends the show" || { bad "show ignored the mouse"; kill $pid; }
check "$(get misc message)$(get misc letztes_bild)" "[PICTURE_MOUSEMOVE ][2]" "end reason and picture of a mouse move"

# --- Preview with no host: ends at its first tick and saves "OK" to pdelay only.
rm -f "$conf"; write_conf 1
timeout 60 "$velmirano" /P 0; check "$?" 0 "/P 0 exits normally"
check "$(get misc message)$(get misc caller)" "[OK][Preferences]" "/P saves OK as Preferences"
check "$(timings pdelay)" 152 "/P saves its timings to pdelay"

# --- The host destroyed in the middle of a slow transition: the preview and
# the hack end within a second, not when the transition would have.
write_conf 2 "" '[pdelay]\nD2=20000000\nS2=1\n[delay]\nD2=20000000\nS2=1\n'
for how in "/P" "-window-id"; do
  open_host
  "$velmirano" $how "$id" & pid=$!
  poll 60000 pixels red 500 70000 || bad "$how: no transition seen in the host"
  kill $host; wait $host 2>/dev/null
  poll 1000 gone $pid && pass "$how: gone within 1 s of its host, mid-transition" \
    || { bad "$how outlived its host by more than 1 s"; kill $pid; }
done

# --- As an XScreenSaver hack: draws into the given window; no single-show
# check, so a second one (here with its own store and a yellow picture) runs too.
rm -f "$conf"; write_conf 1
write_conf 1 "$work/yellow" "" "$work/other/Velmiworks/Velmirano.conf"
open_host
"$velmirano" -window-id "$id" & pid=$!
poll 60000 pixels red 500 76800 && pass "hack draws in the given window" || bad "hack drew nothing"
XDG_CONFIG_HOME=$work/other XSCREENSAVER_WINDOW=$id "$velmirano" & pid2=$!
poll 60000 pixels yellow 500 76800 && pass "a second hack runs beside the first" || bad "second hack drew nothing"
kill -TERM $pid $pid2
poll 30000 gone $pid && poll 30000 gone $pid2 && pass "hacks end on SIGTERM" || { bad "hack ignored SIGTERM"; kill -9 $pid $pid2; }
check "$(get misc caller)$(get misc message)" "[Saver][SIGTERM ]" "hack saved as a show"
check "$(XDG_CONFIG_HOME=$work/other get misc message)" "[SIGTERM ]" "second hack saved too"
kill $host
exit $fail
