#!/usr/bin/env bash
# The show on a Wayland desktop: weston (headless, pixman) with XWayland.
# The show must take the X11 way through XWayland (Qt would pick its
# Wayland plugin, which leaves the screen white), show its pictures, and
# end on a key; without an X display it says why on standard error.
set -u
velmirano=$1
tool=$2
. "$(dirname "$0")/common.sh"
picture '#ff0000' "$pics/a.jpg"
picture '#0000ff' "$pics/b.jpg"
store "$pics" "delay=2\ntdauer=1\nblende=1"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
weston --backend=headless-backend.so --use-pixman --xwayland --debug --socket=velmirano-test --width=1024 --height=768 \
  --idle-time=0 >"$work/weston.log" 2>&1 & weston=$!
poll 60000 test -S "$XDG_RUNTIME_DIR/velmirano-test" || { bad "weston did not start"; cat "$work/weston.log"; exit 1; }
# XWayland starts on the first X client; its display is the first free one weston took.
poll 60000 grep -q 'xserver listening on display' "$work/weston.log"
xdisplay=$(grep -o 'xserver listening on display :[0-9]*' "$work/weston.log" | grep -o ':[0-9]*' | head -1)
[ -n "$xdisplay" ] || { bad "weston offers no XWayland display"; cat "$work/weston.log"; exit 1; }
export WAYLAND_DISPLAY=velmirano-test XDG_SESSION_TYPE=wayland

# Without an X display nothing can be shown: a clear word, no show.
DISPLAY= timeout 60 "$velmirano" /S 2>"$work/err"; status=$?
[ $status -ne 0 ] && grep -q "X11" "$work/err" && pass "no X display: said so ($(head -c 60 "$work/err")...)" ||
  bad "no X display: status $status, stderr [$(cat "$work/err")]"

# Through XWayland: pictures on the screen.
export DISPLAY=$xdisplay
"$velmirano" /S 2>"$work/show.err" & pid=$!
# XWayland has no root picture of its own: take the show's window.
red() { local w; w=$(xdotool search --name VelmiranoMainScreen 2>/dev/null | head -1) && [ -n "$w" ] &&
  import-im6.q16 -display "$DISPLAY" -window "$w" "$work/shot.png" 2>/dev/null &&
  c=$(colour_at 512 384) &&
  [[ $c == \#[EF]?[01]?[01]? ]]; }
poll 60000 red && pass "the first picture shows through XWayland" || bad "no picture through XWayland (seen ${c:-nothing})"
# The screen as weston composes it: not white.
if (cd "$work" && WAYLAND_DISPLAY=velmirano-test timeout 30 weston-screenshooter >/dev/null 2>&1); then
  shotfile=$(ls "$work"/wayland-screenshot-*.png 2>/dev/null | head -1)
  [ -n "$shotfile" ] || bad "weston-screenshooter wrote nothing"
  c=$($im "$shotfile" -gravity center -crop 1x1+0+0 -depth 8 txt:- 2>/dev/null | tail -1 | grep -o '#[0-9A-F]\{6\}')
  [[ $c == \#[EF]?[01]?[01]? || $c == \#[01]?[01]?[EF]? ]] && pass "weston's own screenshot shows a picture ($c)" ||
    bad "weston's screenshot shows $c, not a picture"
else
  bad "weston-screenshooter failed"
fi
key_ends $pid 30000 && pass "a key ends the show under Wayland" || bad "key did not end the show"
wait $pid; check "$?" 0 "the show exits normally"
kill $weston; wait $weston 2>/dev/null
exit $fail
