#!/usr/bin/env bash
# What a photo, a folder name or a stored number may hold, in a real show
# under Xvfb (1024x768): stamps whose values or names are full of
# placeholders, a busy-wait count at the top of its range, a stored folder
# that is missing, a single-show mark planted by another user, and a key
# during a slow start-up scan. The show stays up and small, and a key or
# SIGTERM ends it within seconds. Waits poll with generous limits.
set -u
velmirano=$1
tool=$2
. "$(dirname "$0")/common.sh"
# The show has put something other than the desktop's black up.
colours() { shot; $im "$work/shot.png" -format '%k' info:; }
painted() { shot; [ "$($im "$work/shot.png" -format '%[fx:maxima.r+maxima.g+maxima.b>0]' info:)" == 1 ]; }
write_conf() { # $1 folder, $2 stamp text
  store "$1" 'delay=1\ntdauer=1\nblende=1\nrecursive=1' "[textstempel]\nausgeben=1\nhoehe=30\ntext=$2\n"
}
# Starts a show, lets it run $1 seconds while its resident size is
# watched, then ends it with a key; $2 names the case.
run_and_key() {
  "$velmirano" /S & pid=$!
  poll 60000 painted || bad "$2: nothing shown"
  local maxrss=0 end=$(( $(date +%s) + $1 ))
  while [ "$(date +%s)" -lt "$end" ] && kill -0 $pid 2>/dev/null; do
    rss=$(ps -o rss= -p $pid | tr -d ' ')
    [ -n "$rss" ] && [ "$rss" -gt "$maxrss" ] && maxrss=$rss
    sleep 0.3
  done
  kill -0 $pid 2>/dev/null && pass "$2: the show is alive after $1 s" || bad "$2: the show died"
  [ "$maxrss" -gt 0 ] && [ "$maxrss" -lt 307200 ] && pass "$2: resident size at most ${maxrss} KB" \
    || bad "$2: resident size reached ${maxrss} KB"
  key_ends $pid 3000 && pass "$2: a key ends it within 3 s" || bad "$2: the key was not served"
}

# --- Stamp placeholders in every place a person's files hold them, one
# show over all: a Windows title of 8000 times "%i25" with keywords that
# name it again, file names of %e270 and %a, folders named with %p and %n.
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tu1 -v | tr -s ' \n' '  ' | sed 's/^ *//; s/ *$//'; }
deep=$work/stempel
for _ in 1 2 3 4 5 6; do deep="$deep/%p%n%p%n%p%n%p%n"; done
mkdir -p "$deep"
picture '#336699' "$work/stempel/a.jpg"
printf 'set Exif.Image.XPTitle Byte %s 0 0\nadd Iptc.Application2.Keywords %%i25\nadd Iptc.Application2.Keywords %%e40091\n' \
  "$(utf16 "$(printf '%%i25%.0s' $(seq 1 8000))")" > "$work/exiv2.cmd"
exiv2 -m "$work/exiv2.cmd" "$work/stempel/a.jpg" || bad "exiv2 could not write the title"
check "$(exiv2 -pv -g XPTitle "$work/stempel/a.jpg" 2>/dev/null | awk '{print $5}')" 64002 "the title holds 8000 x %i25"
picture '#993366' "$work/stempel/%e270%e270%e270%e270%e270.jpg"
picture '#669933' "$deep/$(printf '%%a%.0s' $(seq 1 60)).jpg"
cp "$work/stempel/a.jpg" "$deep/b.jpg"
write_conf "$work/stempel" 'Titel: %e40091 %n %k'
run_and_key 10 "stamps of placeholders"
"$velmirano" /S & pid=$!
poll 60000 painted || bad "SIGTERM case: nothing shown"
kill -TERM $pid
poll 3000 gone $pid && pass "stamps of placeholders: SIGTERM ends it within 3 s" || { bad "SIGTERM was not served"; kill -9 $pid; }

# --- A busy-wait count at the top of its range: the transition ends, and a
# key or SIGTERM ends the show at once, mid-transition too.
mkdir -p "$work/zwei"
picture '#ff0000' "$work/zwei/a.jpg"
picture '#0000ff' "$work/zwei/b.jpg"
for how in key term; do
  store "$work/zwei" 'delay=1\ntdauer=1\nblende=2' '[delay]\nD2=2147483647\nS2=1\n'
  "$velmirano" /S & pid=$!
  poll 60000 painted || bad "D2 at its top ($how): nothing shown"
  sleep 2
  if [ $how == key ]; then xdotool key space; else kill -TERM $pid; fi
  poll 2000 gone $pid && pass "D2 at its top: the $how ends the show within 2 s" \
    || { bad "D2 at its top: the $how was not served"; kill -9 $pid; }
  check "$(get misc caller)" "[Saver]" "D2 at its top ($how): the show saved its end"
done

# --- A stored folder that is missing: nothing of the folder the show was
# started from is shown, and the error log names the folder.
mkdir -p "$work/privat/tief"
$im -size 800x600 pattern:checkerboard "$work/privat/ausweis.jpg"
cp "$work/privat/ausweis.jpg" "$work/privat/tief/scan.jpg"
for folder in /media/usb-stick/Fotos "Fotos" "~/Bilder" "$work/privat/ausweis.jpg"; do
  rm -f "$conf"; write_conf "$folder" ''
  (cd "$work/privat" && exec "$velmirano" /S) & pid=$!
  poll 60000 painted || bad "$folder: the show drew nothing"
  sleep 3
  [ "$(colours)" -le 2 ] && pass "$folder: only a plain colour is shown" || bad "$folder: a picture was shown"
  key_ends $pid 5000 || bad "$folder: the key was not served"
  "$tool" enum error | grep -q "Bildordner .*: $folder" && pass "$folder: named in the error log" \
    || bad "$folder: no error entry ($("$tool" enum error | tr '\n' ' '))"
done

# --- A runtime folder and a mark that another user planted: the show
# starts all the same; a second show of ours still ends at once.
if [ "$(id -u)" == 0 ]; then
  planted=$(mktemp -d)
  touch "$planted/VelmiranoMainScreen-0.lock"
  chown -R 65534:65534 "$planted"
  chmod 700 "$planted"
  rm -f "$conf"; write_conf "$work/zwei" ''
  XDG_RUNTIME_DIR=$planted XDG_CACHE_HOME=$work/cache "$velmirano" /S & pid=$!
  poll 60000 painted && pass "a planted mark does not block the show" || bad "the planted mark blocked the show"
  XDG_RUNTIME_DIR=$planted XDG_CACHE_HOME=$work/cache timeout 60 "$velmirano" /S; check "$?" 0 "a second show ends at once"
  kill -0 $pid 2>/dev/null && pass "the first show runs on" || bad "the first show ended"
  check "$(stat -c %a "$work/cache/velmirano")" 700 "the mark's folder is the user's alone"
  key_ends $pid 5000 || bad "planted mark: the key was not served"
  rm -rf "$planted"
else
  bad "the planted mark needs root to act as another user"
fi

# --- A key during a slow start-up scan (a link to / and subfolders on):
# the start ends and no show opens after it.
mkdir -p "$work/langsam"
ln -s / "$work/langsam/wurzel"
rm -f "$conf"; write_conf "$work/langsam" ''
for how in key mouse; do
  xdotool mousemove 500 500
  "$velmirano" /S & pid=$!
  sleep 1.5
  if [ $how == key ]; then xdotool keydown space; sleep 0.3; xdotool keyup space; else xdotool mousemove 540 560; fi
  poll 5000 gone $pid && pass "a $how during the scan ends the start" || { bad "the $how during the scan was lost"; kill -9 $pid; }
  check "$(get misc message)" "[SCAN_INPUT ]" "the start ended by input during the scan ($how)"
done
exit $fail
