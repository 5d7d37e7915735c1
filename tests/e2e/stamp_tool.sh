#!/usr/bin/env bash
# The tool's stamp command: the placeholders of a real picture, the file time
# from the file system, the size asked for, the frame the show step composes.
set -u
tool=$1 data=$2
. "$(dirname "$0")/common.sh"
export QT_QPA_PLATFORM=offscreen
cp "$data/img01.jpg" "$work/img01.jpg"
touch -d "2004-03-05 14:07:09" "$work/img01.jpg"
out=$("$tool" stamp "$work/img01.jpg" "$work/a.png" --size 200x120 --text '%n (%t) %e36867 %i25' 2>/dev/null)
check "$?:$out" "0:img01 (05.03.2004) 2004:03:05 10:11:12 Köln, Rhein, Dom" "expanded text"
printf '[textstempel]\ntext=%%N.%%a\n' > "$conf" # the stored text when none is given
check "$("$tool" stamp "$work/img01.jpg" "$work/b.png" 2>/dev/null)" "img01.jpg" "stored text"
check "$(identify-im6.q16 -format '%wx%h' "$work/b.png")" 1024x768 "default size"
"$tool" stamp "$work/img01.jpg" "$work/c.png" --text '' >/dev/null 2>&1
diff=$(compare-im6.q16 -metric AE "$work/b.png" "$work/c.png" null: 2>&1)
[ "${diff%% *}" -gt 50 ] 2>/dev/null && pass "stamp drawn" || bad "stamp drawn ($diff)"
# The same pixels as "Ohne Effekt" in `run 1`, also for a picture far thinner
# than the target or a JPEG decoded reduced.
for row in 1x3000.png:50x40 1597x1201.jpg:200x199 2001x333.jpg:123x45; do
  pic=$work/${row%%:*} size=${row#*:}
  $im -size "${row%%.*}" gradient:red-blue "$pic"
  "$tool" stamp "$pic" "$work/s.png" --size "$size" --text '' >/dev/null 2>&1
  "$tool" run 1 --size "$size" --new "$pic" --out "$work/r.png" >/dev/null 2>&1
  check "$(compare-im6.q16 -metric AE "$work/s.png" "$work/r.png" null: 2>&1)" 0 "stamp composes $row as the show"
done
"$tool" stamp "$work/fehlt.jpg" "$work/d.png" >/dev/null 2>&1
check "$?" 1 "missing picture fails"
"$tool" stamp "$work/img01.jpg" "$work/e.png" --size 0x5 >/dev/null 2>&1
check "$?" 1 "bad size"
exit $fail
