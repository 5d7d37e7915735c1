#!/usr/bin/env bash
# The show on two monitors of different sizes (run under xdummy.sh: DUMMY0
# 1920x1080 at 0,0, DUMMY1 1280x1024 at 1920,0): each mode of `bildschirme`
# on screenshots of both regions, a key on either monitor ends the show,
# SIGTERM saves, the next show resumes after the last picture dealt, and a
# monitor switched off and on again mid-show harms nothing.
set -u
velmirano=$1
tool=$2
. "$(dirname "$0")/common.sh"
# Six pictures in name order, each its own colour.
colours=(ff0000 00ff00 0000ff ffff00 ff00ff 00ffff)
for i in 0 1 2 3 4 5; do picture "#${colours[$i]}" "$pics/$i.jpg"; done
write_conf() { store "$pics" "delay=2\ntdauer=1\nblende=1\nbildschirme=$1"; }
# The colour name at a point of the last shot: 0..5 for the pictures, k for black.
at() { local c; c=$(colour_at "$1" "$2"); case $c in \#[EF]?[01]?[01]?) echo 0 ;; \#[01]?[EF]?[01]?) echo 1 ;; \#[01]?[01]?[EF]?) echo 2 ;;
    \#[EF]?[EF]?[01]?) echo 3 ;; \#[EF]?[01]?[EF]?) echo 4 ;; \#[01]?[EF]?[EF]?) echo 5 ;;
    \#[01]?[01]?[01]?) echo k ;; *) echo "?$c" ;; esac; }
# Standard deviation of a region of the last shot (0 = one flat colour).
spread() { $im "$work/shot.png" -crop "$1" +repage -colorspace Gray -format '%[fx:standard_deviation]' info:; }
left=1920x1080+0+0
right=1280x1024+1920+0
regions() { shot; a=$(at 960 540); b=$(at 2560 512); }
both_pictures() { regions; [[ $a == [0-5] && $b == [0-5] ]]; }
differ() { both_pictures && [ "$a" != "$b" ]; }
same() { both_pictures && [ "$a" == "$b" ]; }
left_only() { regions; [[ $a == [0-5] && $b == k ]]; }
flat() { awk -v s="$1" 'BEGIN { exit !(s < 0.01) }'; }

monitors=$(xrandr --listmonitors | head -1)
check "$monitors" "Monitors: 2" "the X server has two monitors"

# --- Own pictures: both monitors show pictures, different ones, dealt in turn.
write_conf 0
"$velmirano" /S & pid=$!
poll 60000 differ && pass "own pictures: two different pictures ($a, $b)" || bad "own pictures: left $a right $b"
# Letterboxed on each monitor: a picture with black bars, not one flat colour.
flat "$(spread $left)" && bad "left region is one flat colour" || pass "left region holds a fitted picture"
flat "$(spread $right)" && bad "right region is one flat colour" || pass "right region holds a fitted picture"
first=$a
poll 30000 eval 'regions; [ "$a" != "$first" ] && [[ $a == [0-5] ]]' && pass "the left monitor changes on" ||
  bad "left monitor never changed ($a)"
# A key on the right monitor ends the show.
xdotool mousemove 2560 512 2>/dev/null
sleep 0.3
key_ends $pid 30000 && pass "a key ends the show on two monitors" || bad "key did not end the show"
wait $pid; check "$?" 0 "the show exits normally"
message=$(get misc message)
[[ $message == *KEYDOWN* || $message == *MOUSEMOVE* ]] && pass "end reason saved ($message)" || bad "end reason [$message]"
last=$(get misc letztes_bild | tr -d "[]")
[[ $last =~ ^[1-6]$ ]] && pass "letztes_bild saved ($last)" || bad "letztes_bild [$last]"

# --- The next show resumes after the last picture dealt: its first picture
# (on the primary monitor) is the one after it.
expected=$(( last % 6 ))
"$velmirano" /S & pid=$!
poll 60000 eval 'regions; [[ $a == [0-5] ]]' ; check "$a" "$expected" "the next show starts after the last picture dealt"
# --- SIGTERM saves as before.
kill -TERM $pid
poll 30000 gone $pid && pass "SIGTERM ends the show" || { bad "SIGTERM ignored"; kill -9 $pid; }
check "$(get misc message)" "[SIGTERM ]" "SIGTERM is the end reason"

# --- The same picture on every monitor.
write_conf 1
"$velmirano" /S & pid=$!
poll 60000 same && pass "same picture: both monitors show picture $a" || bad "same picture: left $a right $b"
sameFirst=$a
poll 60000 eval 'same && [ "$a" != "$sameFirst" ]' && pass "same picture: then another one on both ($a)" ||
  bad "same picture never moved on together: $a $b"
kill -TERM $pid; poll 30000 gone $pid || kill -9 $pid

# --- Only the primary monitor; the other one black.
write_conf 2
"$velmirano" /S & pid=$!
poll 60000 left_only && pass "primary only: picture left, black right" || bad "primary only: left $a right $b"
flat "$(spread $right)" && pass "right region is black all over" || bad "right region is not flat"
xdotool mousemove 2000 300 2>/dev/null; sleep 0.3; xdotool mousemove 2100 400 2>/dev/null
poll 30000 gone $pid && pass "a mouse move on the black monitor ends the show" || { bad "mouse move ignored"; kill $pid; }

# --- A monitor switched off mid-show and on again.
write_conf 0
"$velmirano" /S 2>"$work/stderr" & pid=$!
poll 60000 differ || bad "no pictures before the unplug"
xrandr --output DUMMY1 --off
sleep 3
kill -0 $pid 2>/dev/null && pass "the show survives a monitor going away" || bad "the show died when DUMMY1 went"
regions; [[ $a == [0-5] ]] && pass "the primary monitor goes on showing ($a)" || bad "primary shows $a after the unplug"
xrandr --output DUMMY1 --mode 1280x1024_60.00 --pos 1920x0
poll 30000 both_pictures && pass "the monitor plugged in again joins the show" || bad "rejoined monitor shows $b"
kill -0 $pid 2>/dev/null && pass "the show survives the monitor coming back" || bad "the show died when DUMMY1 came back"
kill -TERM $pid; poll 30000 gone $pid || { bad "show hangs after hotplug"; kill -9 $pid; }
wait $pid; check "$?" 0 "the show after hotplug exits normally"
exit $fail
