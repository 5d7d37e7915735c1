#!/usr/bin/env bash
# Every hostile file of tests/hostile.h and tests/phonedata.h in a real show under Xvfb (1024x768):
# the show stays up and small, the files that are no pictures land in the
# error log, the show reaches its last picture; a key ends it at once while
# the decoder hangs, and that decoder holds no descriptor of the show's;
# SIGTERM saves; without a decoder it says so at start.
set -u
velmirano=$1 tool=$2 generator=$3
. "$(dirname "$0")/common.sh"
extra=$work/extra
mkdir -p "$extra"
logged=$(QT_QPA_PLATFORM=offscreen "$generator" "$pics" "$extra") || { echo "FAIL: the generator"; exit 1; }
# The decoder hangs on files named so; the deadline is short for the test,
# but long enough that a sanitizer build's decoder refuses a hostile file
# before it on a busy machine (it is several times slower).
export VELMIRANO_DECODER_FAULT=hang:haengt VELMIRANO_DECODER_DEADLINE_MS=2000
# In a sanitizer build freed memory is held back for checking; a little of
# that keeps the resident size about the program's own.
grep -qa __asan_init "$velmirano" &&
  export ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=16" VELMIRANO_DECODER_DEADLINE_MS=10000
write_conf() { # $1 = folder
  store "$1" 'delay=1\ntdauer=1\nblende=1\nexifrotate=1\njpg=1\npng=1\ngif=1\nbmp=1\ntif=1' '[textstempel]\nausgeben=1\ntext=%e270\n'
}
centre() { shot; colour_at 512 384; }

inherited=$(ls /proc/self/fd | tr '\n' ' ')
# --- The whole folder once, while another program keeps rewriting one file.
write_conf "$pics"
victim=$(ls "$pics"/*_wechselnd.jpg)
( while :; do cp "$extra/wechsel-quelle.jpg" "$victim"; done ) &
rewriter=$!
"$velmirano" /S &
pid=$!
maxrss=0 reached=no end=$(( $(date +%s) + 480 )) # a sanitizer build on a busy machine is slow
while [ "$(date +%s)" -le "$end" ] && kill -0 $pid 2>/dev/null; do
  rss=$(ps -o rss= -p $pid | tr -d ' ')
  [ -n "$rss" ] && [ "$rss" -gt "$maxrss" ] && maxrss=$rss
  "$tool" enum error >> "$work/log" 2>/dev/null
  [[ "$(centre)" == \#[EF]?0?[EF]? ]] && { reached=yes; break; }
  sleep 0.3
done
kill $rewriter 2>/dev/null
"$tool" enum error >> "$work/log" 2>/dev/null # what was logged after the last poll
kill -0 $pid 2>/dev/null && pass "the show is alive after every file" || bad "the show died"
check "$reached" yes "the last picture appears after all the others"
[ "$maxrss" -gt 0 ] && [ "$maxrss" -lt 307200 ] && pass "resident size stayed at most ${maxrss} KB" \
  || bad "resident size reached ${maxrss} KB"
tr '\n' ' ' < "$work/log" | grep -q "IS_ReadXXX: Zeitlimit beim Lesen überschritten [^ ]*_haengt" \
  && pass "haengt logged as a timeout" || bad "haengt not logged as a timeout"
for name in $logged; do
  tr '\n' ' ' < "$work/log" | grep -q "IS_ReadXXX [^ ]*_$name" && pass "$name logged" || bad "$name not in the error log"
done
kill -TERM $pid
poll 10000 gone $pid && pass "SIGTERM ends the show" || { bad "SIGTERM ignored"; kill -9 $pid; }
check "$(get misc message)" "[SIGTERM ]" "SIGTERM saved the end reason"
check "$(timings delay)" 152 "SIGTERM saved the timings"

# --- A key while the decoder hangs on the second picture: the show ends at once.
one=$work/one
mkdir -p "$one"
cp "$pics/00_gut.jpg" "$one/a.jpg"
cp "$pics/00_gut.jpg" "$one/b_haengt.jpg"
write_conf "$one"
VELMIRANO_DECODER_DEADLINE_MS=600000 "$velmirano" /S &
pid=$!
for _ in $(seq 1 100); do [[ "$(centre)" == \#[78]?[78]?[78]? ]] && break; sleep 0.1; done
# The hanging file is decoded ahead, or by the next tick one interval later.
for _ in $(seq 1 100); do [ "$(pgrep -P $pid | wc -l)" -ge 1 ] && break; sleep 0.05; done
check "$(pgrep -P $pid | wc -l)" 1 "a decoder process is at work"
# Read from outside while it works: the decoder holds the null device, the
# picture and its answer memory, nothing of the show's.
decoder=$(pgrep -P $pid | head -1)
fds=
for _ in $(seq 1 100); do
  # Beyond 4 only what the decoder made itself (its event loop's eventfds).
  fds=$(for f in /proc/"$decoder"/fd/*; do [[ $(readlink "$f") == anon_inode:* && ${f##*/} -gt 4 ]] || echo "${f##*/}"; done 2>/dev/null | sort -n | tr '\n' ' ')
  [ "$fds" == "0 1 2 3 4 " ] && break
  sleep 0.05
done
check "$fds" "0 1 2 3 4 " "the decoder's descriptors are 0 to 4 only"
check "$(readlink /proc/"$decoder"/fd/3)" "$one/b_haengt.jpg" "descriptor 3 is the picture"
[[ "$(readlink /proc/"$decoder"/fd/4)" == /memfd:velmirano-answer* ]] && pass "descriptor 4 is the answer memory" \
  || bad "descriptor 4 is $(readlink /proc/"$decoder"/fd/4)"
check "$(readlink /proc/"$decoder"/fd/0)" /dev/null "stdin is the null device"
[ "$(ps -o sid= -p "$decoder" | tr -d ' ')" == "$decoder" ] && pass "the decoder has a session of its own" \
  || bad "the decoder shares the show's session"
# Every descriptor of the show itself closes on exec (the flags are octal).
leaky=
for info in /proc/$pid/fdinfo/*; do
  fd=${info##*/}
  [ "$fd" -le 2 ] && continue
  # What the test runner itself passed down is not the show's own.
  [[ " $inherited " == *" $fd "* ]] && continue
  flags=$(awk '/^flags:/ {print $2}' "$info" 2>/dev/null) || continue
  [ -n "$flags" ] && (( (8#$flags & 8#2000000) == 0 )) && leaky="$leaky $fd:$(readlink /proc/$pid/fd/$fd)"
done
check "$leaky" "" "every descriptor of the show closes on exec"
# xdotool is started beforehand, so its own start is not counted.
mkfifo "$work/keys"
xdotool - < "$work/keys" &
exec 7>"$work/keys"
sleep 0.5
start=$(date +%s%N)
echo "key space" >&7
for _ in $(seq 1 400); do grep -q '^message=' "$conf" && break; sleep 0.005; done
ms=$(( ($(date +%s%N) - start) / 1000000 ))
# Waiting for the hanging decoder would take its whole deadline (2 s or
# more); a second leaves room for a busy machine.
[ "$ms" -lt 1000 ] && pass "a key saved and ended the show in ${ms} ms" || bad "a key took ${ms} ms"
exec 7>&-
poll 10000 gone $pid && pass "the show is gone" || { bad "the show stayed"; kill -9 $pid; }
msg=$(get misc message)
[[ $msg == "[PICTURE_KEYDOWN ]" || $msg == "[FORM_KEYDOWN ]" ]] && pass "end reason $msg" || bad "end reason $msg"
check "$(pgrep -f "$(dirname "$velmirano")/velmirano-decoder" | wc -l)" 0 "no decoder left behind"
check "$(get error numbers)" "" "a stop is no error"

# --- Without its decoder the program shows no picture: it says so at start.
VELMIRANO_DECODER=$work/nowhere timeout 3 "$velmirano" /S 2>"$work/err" >/dev/null
grep -q "VelmiranoIS.DLL fehlt im Windows-Systemverzeichnis!!!" "$work/err" \
  && pass "no decoder: the missing-library message" || bad "no decoder: [$(cat "$work/err")]"
exit $fail
