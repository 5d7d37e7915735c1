#!/usr/bin/env bash
# The settings dialog on a real X server (run under xvfb-run with a
# 1024x768 screen): it fits the screen, a change in the middle of a
# transition lets the preview go on at once, and SIGTERM with the Info box
# open over a running transition ends the program, which saves as usual.
set -u
velmirano=$1
tool=$2
fail=0
pass() { echo "ok: $1"; }
bad() { echo "FAIL: $1"; fail=1; }
check() { if [ "$1" == "$2" ]; then pass "$3"; else bad "$3: expected [$2], got [$1]"; fi; }
im=convert-im6.q16

export XDG_CONFIG_HOME=$(mktemp -d)
export XDG_RUNTIME_DIR=$(mktemp -d)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work"' EXIT
pics=$work/pics
mkdir -p "$pics" "$XDG_CONFIG_HOME/Velmiworks"
# Plain PNG pictures keep their colours exactly in the 288x216 preview.
$im -size 400x300 xc:'#ff0000' "$pics/a.png"
$im -size 400x300 xc:'#00ff00' "$pics/b.png"
$im -size 400x300 xc:'#0000ff' "$pics/c.png"
preview=$((288 * 216))

write_conf() { # $1 = the [pdelay] section, if any
  cat > "$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf" <<CONF
[misc]
delay=1
tdauer=2
reihenfolge=1
jpg=0
png=1
expand=1
blende=2
[path]
1=$pics
$1
CONF
}
get() { "$tool" get "$1" "$2" 2>/dev/null; }
# How many pixels of the screen have exactly this colour.
pixels() {
  import-im6.q16 -window root "$work/shot.png" 2>/dev/null
  $im "$work/shot.png" -fill black +opaque "$1" -fill white -opaque "$1" -format '%[fx:int(mean*w*h+0.5)]' info:
}
# Polls until `pixels colour` lies in [low, high]; fails after `limit` seconds.
wait_pixels() { # $1 colour, $2 low, $3 high, $4 limit
  local end=$(( $(date +%s%N) + $4 * 1000000000 )) n
  while [ "$(date +%s%N)" -le "$end" ]; do
    n=$(pixels "$1")
    [ "$n" -ge "$2" ] && [ "$n" -le "$3" ] && return 0
    sleep 0.1
  done
  echo "last count $n"; return 1
}
# Gone within `limit` tenths of a second?
gone_within() { # $1 pid, $2 limit
  local end=$(( $(date +%s%N) + $2 * 100000000 ))
  while [ "$(date +%s%N)" -le "$end" ]; do kill -0 "$1" 2>/dev/null || return 0; sleep 0.05; done
  return 1
}
open_dialog() {
  "$velmirano" /C &
  pid=$!
  wid=$(timeout 20 xdotool search --sync --name '^Velmirano - Optionen$' | head -1)
  [ -n "$wid" ] || { bad "the dialog did not open"; exit 1; }
  # Without a window manager the dialog takes the keyboard only when told;
  # the folder list is first in its focus chain.
  xdotool windowfocus --sync "$wid"
}

# --- The dialog fits a 1024x768 screen: OK and Abbrechen are on it.
write_conf ""
open_dialog
eval "$(xdotool getwindowgeometry --shell "$wid")"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1024 ] && [ $((Y + HEIGHT)) -le 768 ] \
  && pass "dialog ${WIDTH}x${HEIGHT}+${X}+${Y} lies on the screen" \
  || bad "dialog ${WIDTH}x${HEIGHT}+${X}+${Y} sticks out of 1024x768"

# --- A change during a transition: the preview goes on at once. Removing
# folders (none selected) rebuilds the picture list like any change does.
wait_pixels '#ff0000' $((preview - 200)) $preview 30 >/dev/null \
  && pass "first picture shown" || bad "first picture never shown whole"
if wait_pixels '#00ff00' 500 $((preview / 2)) 20 >/dev/null; then
  xdotool key Delete
  # delay + tdauer + 1 s when the machine is idle; stalled, it never comes.
  start=$(date +%s%N)
  wait_pixels '#0000ff' $((preview - 200)) $preview 15 \
    && pass "after a change mid-transition the next picture came ($(( ($(date +%s%N) - start) / 1000000 )) ms)" \
    || bad "preview stalled after a change during a transition"
else
  bad "never caught the second transition half done"
fi
kill -TERM $pid
gone_within $pid 50 && pass "dialog ends on SIGTERM" || { bad "dialog ignored SIGTERM"; kill -9 $pid; }

# --- SIGTERM with Info open over a transition that would take minutes.
write_conf $'[pdelay]\nD2=900000000\nS2=1'
open_dialog
wait_pixels '#ff0000' 1 $((preview - 1000)) 20 >/dev/null && pass "slow transition under way" \
  || bad "slow transition not seen"
# From the folder list backwards: Abbrechen, OK, Info.
xdotool key shift+Tab shift+Tab shift+Tab space
timeout 10 xdotool search --sync --name '^Info zu Velmirano$' >/dev/null && pass "Info opened" || bad "Info did not open"
kill -TERM $pid
gone_within $pid 10 && pass "SIGTERM with Info open ends within 1 s" || { bad "SIGTERM waited for the Info box"; kill -9 $pid; }
check "$(get misc message)" "[OK]" "saved its end"
check "$("$tool" enum pdelay | grep -c '^[DS][0-9]* = ')" 152 "timings saved to pdelay"

exit $fail
