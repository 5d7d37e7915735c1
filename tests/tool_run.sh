#!/usr/bin/env bash
# velmirano-tool run: what it prints and writes, on a tiny target.
set -u
tool=$1
. "$(dirname "$0")/e2e/common.sh"
value() { grep "^$1=" <<<"$2" | tail -1 | cut -d= -f2-; }
export QT_QPA_PLATFORM=offscreen
out=$("$tool" run 10 --size 64x48 --seed 5 --out "$work/final.png" --new-out "$work/new.png")
check "$(value result "$out") $(value ran "$out")" "true 10" "run 10 completes"
cmp -s "$work/final.png" "$work/new.png"
check "$?" 0 "the final frame is the composed new picture"
"$tool" run 68 --size 800x600 --out "$work/album.png" >/dev/null # thumbnails on black
check "$($im "$work/album.png" -format '%[fx:p{66,66}.r+p{66,66}.g+p{66,66}.b>0]' info:)" 1 \
  "run 68 lays a picture in the first cell"
out=$("$tool" run 3 --size 32x24 --old "$work/none.png")
check "$?$(value result "$out")" 1false "a missing old picture fails, and says so"
"$tool" run 77 >/dev/null 2>&1
check "$?" 2 "effect 77 is refused"
# A signal mid-run: the run stops at its next step (the wait lets it
# through), removes its scratch folder, and ends by that signal.
scratch=$(mktemp -d -p "$work")
TMPDIR=$scratch "$tool" run 2 --size 64x48 --tdauer 60 --delay 2000000000 >/dev/null &
pid=$!
poll 60000 compgen -G "$scratch/velmirano-tool-*/new.png" >/dev/null
check "$(compgen -G "$scratch/velmirano-tool-*/new.png" | wc -l)" 1 "the run made its pictures"
sleep 0.5
kill -TERM $pid
poll 30000 gone $pid
kill -0 $pid 2>/dev/null && { kill -KILL $pid; bad "SIGTERM did not end the run"; }
wait $pid
check "$?" 143 "SIGTERM ends the run by that signal"
check "$(ls -A "$scratch" | grep -c velmirano-tool)" 0 "no temporary folder is left"
exit $fail
