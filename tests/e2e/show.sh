#!/usr/bin/env bash
# The show as a person meets it, on a real X server (run under xvfb-run with
# a 1024x768 screen): pictures appear one after the other, a key ends the
# show, what it saved is read back, the next run resumes, a second show
# stays away, SIGTERM saves like a key, and the preview lives in its host.
set -u
velmirano=$1
tool=$2
fail=0
pass() { echo "ok: $1"; }
bad() { echo "FAIL: $1"; fail=1; }
check() { if [ "$1" == "$2" ]; then pass "$3"; else bad "$3: expected [$2], got [$1]"; fi; }
im=convert-im6.q16

export XDG_CONFIG_HOME=$(mktemp -d)
# The single-show mark lives here: a show of the user's own elsewhere on
# the machine must not meet ours.
export XDG_RUNTIME_DIR=$(mktemp -d)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work"' EXIT
pics=$work/pics
mkdir -p "$pics" "$XDG_CONFIG_HOME/Velmiworks"
# Three pictures of clearly different colours, named in show order, and
# one that is broken.
$im -size 800x600 xc:'#ff0000' "$pics/a_rot.jpg"
$im -size 800x600 xc:'#00ff00' "$pics/b_gruen.jpg"
$im -size 800x600 xc:'#0000ff' "$pics/c_blau.jpg"
head -c 300 "$pics/a_rot.jpg" > "$pics/d_kaputt.jpg"

write_conf() { # $1 = blende, $2 = letztes_bild
  cat > "$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf" <<CONF
[misc]
delay=3
tdauer=1
reihenfolge=1
effekt_nutzung=1
blende=$1
letztes_bild=$2
expand=1
hgfarbe=0
[path]
1=$pics
CONF
}
get() { "$tool" get "$1" "$2" 2>/dev/null; }
# Colour at the centre of the screen as a name: rot, gruen, blau or other.
centre() {
  import-im6.q16 -window root "$work/shot.png" 2>/dev/null
  local px
  px=$($im "$work/shot.png" -crop 1x1+512+384 -depth 8 txt:- | tail -1 | grep -o '#[0-9A-F]\{6\}')
  case $px in
    \#F?0?0?|\#E?0?0?) echo rot ;;
    \#0?F?0?|\#0?E?0?) echo gruen ;;
    \#0?0?F?|\#0?0?E?) echo blau ;;
    *) echo "other($px)" ;;
  esac
}
wait_gone() { for _ in $(seq 1 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; return 1; }
# Gone within `limit` tenths of a second?
gone_within() { # $1 pid, $2 limit
  local end=$(( $(date +%s%N) + $2 * 100000000 ))
  while [ "$(date +%s%N)" -le "$end" ]; do kill -0 "$1" 2>/dev/null || return 0; sleep 0.05; done
  return 1
}
# Starts the tool's host window; its id in $id, its process in $host.
open_host() {
  "$tool" host-window > "$work/host" &
  host=$!
  for _ in $(seq 1 50); do [ -s "$work/host" ] && break; sleep 0.1; done
  id=$(head -1 "$work/host")
}
# Polls until the screen shows some red, but less than the 320x240 host
# holds: a transition to the red picture is under way.
wait_red_partly() {
  local n
  for _ in $(seq 1 100); do
    import-im6.q16 -window root "$work/shot.png" 2>/dev/null
    n=$($im "$work/shot.png" -fuzz 10% -fill black +opaque red -fill white -opaque red -format '%[fx:int(mean*w*h+0.5)]' info:)
    [ "$n" -ge 500 ] && [ "$n" -le 70000 ] && return 0
    sleep 0.1
  done
  return 1
}

# The first picture the show brings (the screen starts as the black
# desktop): its colour name, or what was seen after 20 seconds.
first_picture() {
  local seen
  for _ in $(seq 1 100); do
    seen=$(centre)
    case $seen in rot|gruen|blau) echo "$seen"; return 0 ;; esac
    sleep 0.2
  done
  echo "$seen"
}

# Waits until the centre shows that colour; fails after `limit` seconds.
wait_for() { # $1 colour, $2 limit in seconds
  local end=$(( $(date +%s) + $2 )) seen
  while [ "$(date +%s)" -le "$end" ]; do
    seen=$(centre)
    [ "$seen" == "$1" ] && return 0
    sleep 0.2
  done
  echo "$seen"; return 1
}

# --- The show: red, green, blue in turn (effect 1 cuts, 3 s each).
write_conf 1 0
"$velmirano" /S &
pid=$!
check "$(first_picture)" rot "first picture is the first file"
wait_for gruen 6 >/dev/null && pass "second picture follows" || bad "second picture never came"
# A second show of the same user ends at once and changes nothing.
start=$(date +%s%N)
timeout 20 "$velmirano" /S; rc=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "$rc" 0 "second /S exits normally"
[ "$ms" -lt 5000 ] && pass "second /S ends at once (${ms} ms)" || bad "second /S took ${ms} ms"
wait_for blau 6 >/dev/null && pass "third picture follows" || bad "third picture never came"
# The broken file comes next: logged, a plain colour, then red again.
wait_for rot 12 >/dev/null && pass "after the broken file the list wraps to the first" || bad "no wrap to the first"
xdotool key space
wait_gone $pid && pass "a key ends the show" || { bad "show did not end on a key"; kill $pid; }
msg=$(get misc message)
[ "$msg" == "[PICTURE_KEYDOWN ]" ] || [ "$msg" == "[FORM_KEYDOWN ]" ] && pass "end reason $msg" || bad "end reason $msg"
check "$(get misc caller)" "[Saver]" "caller"
check "$(get misc dimensions)" "[1024 x 768]" "dimensions"
check "$("$tool" enum delay | grep -c '^[DS][0-9]* = ')" 152 "all 152 timing values in delay"
check "$("$tool" enum pdelay | wc -l)" 0 "nothing in pdelay after a show"
check "$(get misc letztes_bild)" "[1]" "last picture index saved"
check "$(get error numbers)" "[1]" "one failure logged"
entry=$("$tool" enum error | grep '^number0 = ')
[[ $entry =~ ^number0\ =\ [0-9]{4}\.[0-9]{2}\.[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}\ Fehler\ [0-9]+\ in\ IS_ReadXXX ]] \
  && pass "log entry: $entry" || bad "log entry: [$entry]"
"$tool" enum error | grep -q "d_kaputt.jpg" && pass "log names the file" || bad "log does not name the file"

# --- The next run resumes after the last picture shown.
"$velmirano" /S &
pid=$!
check "$(first_picture)" gruen "next run starts with the picture after the last one"
# --- SIGTERM ends it through the same unload.
kill -TERM $pid
wait_gone $pid && pass "SIGTERM ends the show" || { bad "show ignored SIGTERM"; kill -9 $pid; }
check "$(get misc message)" "[SIGTERM ]" "SIGTERM recorded as the end reason"
check "$(get misc letztes_bild)" "[2]" "SIGTERM saved the last picture"

# --- SIGTERM in the middle of a slow transition saves like a key press.
write_conf 2 0
"$tool" get misc blende >/dev/null
printf '[delay]\nD2=900000000\nS2=1\n' >> "$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf"
"$velmirano" /S &
pid=$!
sleep 1.5
kill -TERM $pid
wait_gone $pid && pass "SIGTERM stops a running transition" || { bad "transition ignored SIGTERM"; kill -9 $pid; }
check "$(get misc message)" "[SIGTERM ]" "end reason after SIGTERM mid-transition"
check "$("$tool" enum delay | grep -c '^[DS][0-9]* = ')" 152 "timings saved after SIGTERM"

# --- The mouse: a small move does not end the show, a larger one does.
write_conf 1 0
xdotool mousemove 100 100
"$velmirano" /S &
pid=$!
first_picture >/dev/null
xdotool mousemove 101 101; sleep 0.3; xdotool mousemove 101 101
kill -0 $pid 2>/dev/null && pass "a 1+1 pixel move keeps the show" || bad "show ended on a tiny move"
xdotool mousemove 130 140
wait_gone $pid && pass "a larger move ends the show" || { bad "show ignored the mouse"; kill $pid; }
check "$(get misc message)" "[PICTURE_MOUSEMOVE ]" "end reason of a mouse move"

# --- Preview with no host: ends at its first tick and saves "OK" to pdelay.
rm -f "$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf"; write_conf 1 0
timeout 20 "$velmirano" /P 0; rc=$?
check "$rc" 0 "/P 0 exits normally"
check "$(get misc message)" "[OK]" "/P 0 saves OK"
check "$(get misc caller)" "[Preferences]" "/P caller"
check "$("$tool" enum pdelay | grep -c '^[DS][0-9]* = ')" 152 "/P saves to pdelay"
check "$("$tool" enum delay | wc -l)" 0 "/P never writes delay"

# --- Preview inside a real host window: runs until the host is gone.
open_host
"$velmirano" /P "$id" &
pid=$!
sleep 2
kill -0 $pid 2>/dev/null && pass "preview runs inside its host" || bad "preview ended early"
kill $host
wait_gone $pid && pass "preview ends when the host is gone" || { bad "preview outlived its host"; kill $pid; }
check "$(get misc message)" "[OK]" "preview saved OK"

# --- The host destroyed in the middle of a slow transition: the preview
# and the hack end within a second, not when the transition would have.
write_conf 2 0
printf '[pdelay]\nD2=20000000\nS2=1\n[delay]\nD2=20000000\nS2=1\n' >> "$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf"
for how in "/P" "-window-id"; do
  open_host
  "$velmirano" $how "$id" &
  pid=$!
  wait_red_partly || bad "$how: no transition seen in the host"
  kill $host; wait $host 2>/dev/null
  gone_within $pid 10 && pass "$how: gone within 1 s of its host, mid-transition" \
    || { bad "$how outlived its host by more than 1 s"; kill $pid; }
done

# --- As an XScreenSaver hack: draws into the given window, ends on SIGTERM.
rm -f "$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf"; write_conf 1 0
open_host
"$velmirano" -window-id "$id" &
pid=$!
sleep 1.5
kill -0 $pid 2>/dev/null && pass "hack runs in the given window" || bad "hack ended early"
# No single-show check in this mode: a second one in another window runs too.
XSCREENSAVER_WINDOW=$id "$velmirano" &
pid2=$!
sleep 1.5
kill -0 $pid2 2>/dev/null && pass "a second hack runs beside the first" || bad "second hack ended"
kill -TERM $pid $pid2
wait_gone $pid && wait_gone $pid2 && pass "hacks end on SIGTERM" || { bad "hack ignored SIGTERM"; kill -9 $pid $pid2; }
check "$(get misc caller)" "[Saver]" "hack saved as a show"
check "$(get misc message)" "[SIGTERM ]" "hack's end reason"
kill $host

exit $fail
