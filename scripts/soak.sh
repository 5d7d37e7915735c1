#!/usr/bin/env bash
# A long show under Xvfb over good pictures and every kind of hostile file
# (tests/make_hostile.cpp, built as tests/make_hostile), with effects chosen at random, one
# second per picture, while another program keeps rewriting one picture.
# Samples the show's resident size every 10 seconds; it must stay within
# 20% of its first minute, the show must not die, and SIGTERM at the end
# must save as always. Not part of make test.
#
#   scripts/soak.sh [BUILD_DIR [MINUTES]]      (default build/release, 30)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
minutes=${2:-30}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$build" "$minutes"
fi
velmirano=$build/velmirano
tool=$build/velmirano-tool
export VELMIRANO_DECODER=$build/velmirano-decoder
export VELMIRANO_DECODER_FAULT=hang:haengt
export XDG_CONFIG_HOME=$(mktemp -d)
export XDG_RUNTIME_DIR=$(mktemp -d)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work"' EXIT
pics=$work/pics
"$build/tests/make_hostile" "$pics" "$work/extra" >/dev/null || exit 1
# Photographs of the usual size besides the plain colours.
for i in 1 2 3 4 5 6; do
  convert-im6.q16 -size 4000x3000 "gradient:#$((i * 11))4080-#f0$((i * 13))20" -quality 90 "$pics/foto$i.jpg"
done
mkdir -p "$XDG_CONFIG_HOME/Velmiworks"
cat > "$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf" <<CONF
[misc]
delay=1
tdauer=1
reihenfolge=5
effekt_nutzung=3
exifrotate=1
expand=1
jpg=1
png=1
gif=1
bmp=1
tif=1
[textstempel]
ausgeben=1
text=%n %e36867 %e270
[path]
1=$pics
CONF

victim=$(ls "$pics"/*_wechselnd.jpg)
( while :; do cp "$work/extra/wechsel-quelle.jpg" "$victim"; sleep 0.2; done ) &
"$velmirano" /S &
pid=$!
echo "command: $0 $build $minutes (pid $pid)"
fail=0
series=()
level=0
begin=$(date +%s)
end=$(( begin + minutes * 60 ))
while [ "$(date +%s)" -lt "$end" ]; do
  sleep 10
  t=$(( $(date +%s) - begin ))
  rss=$(ps -o rss= -p $pid | tr -d ' ')
  if [ -z "$rss" ]; then echo "FAIL: the show died after ${t} s"; fail=1; break; fi
  series+=("$rss")
  # The first minute's level: the largest of its samples.
  [ "$t" -le 60 ] && [ "$rss" -gt "$level" ] && level=$rss
  echo "t=${t}s rss=${rss} KB"
done
if [ $fail -eq 0 ]; then
  limit=$(( level * 12 / 10 ))
  over=0
  for r in "${series[@]}"; do [ "$r" -gt "$limit" ] && over=$((over + 1)); done
  echo "first minute ${level} KB, limit ${limit} KB, samples over it: ${over}"
  [ $over -eq 0 ] || fail=1
  kill -TERM $pid
  for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && { echo "FAIL: SIGTERM ignored"; kill -9 $pid; fail=1; }
  msg=$("$tool" get misc message)
  timings=$("$tool" enum delay | grep -c '^[DS][0-9]* = ')
  echo "saved: message $msg, $timings timing values"
  [ "$msg" == "[SIGTERM ]" ] && [ "$timings" == 152 ] || fail=1
  echo "last error log entries:"
  "$tool" enum error | grep '^number[0-9] = ' | cut -c1-160
fi
echo "rss series (KB): ${series[*]}"
[ $fail -eq 0 ] && echo "soak: ok" || echo "soak: FAILED"
exit $fail
