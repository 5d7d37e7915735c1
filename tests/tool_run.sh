#!/usr/bin/env bash
# velmirano-tool run: what it prints and writes, on a tiny target.
set -u
tool=$1
fail=0
check() { if [ "$1" != "$2" ]; then echo "FAIL: $3: expected [$2], got [$1]"; fail=1; else echo "ok: $3"; fi; }
value() { grep "^$1=" <<<"$2" | tail -1 | cut -d= -f2-; }
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$("$tool" run 10 --size 64x48 --seed 5 --out "$work/final.png" --new-out "$work/new.png")
check "$(value result "$out") $(value ran "$out")" "true 10" "run 10 completes"
cmp -s "$work/final.png" "$work/new.png"
check "$?" 0 "the final frame is the composed new picture"
"$tool" run 68 --size 800x600 --out "$work/album.png" >/dev/null # thumbnails on black
check "$(convert-im6.q16 "$work/album.png" -format '%[fx:p{66,66}.r+p{66,66}.g+p{66,66}.b>0]' info:)" 1 \
  "run 68 lays a picture in the first cell"
out=$("$tool" run 3 --size 32x24 --old "$work/none.png")
check "$?$(value result "$out")" 1false "a missing old picture fails, and says so"
"$tool" run 77 >/dev/null 2>&1
check "$?" 2 "effect 77 is refused"
exit $fail
