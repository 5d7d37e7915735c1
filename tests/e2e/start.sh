#!/usr/bin/env bash
# Starts the real program with switches that must end at once, and reads
# what the tool says start-up loaded. Run under Xvfb.
set -u
velmirano=$1
tool=$2
fail=0
check() { if [ "$1" != "$2" ]; then echo "FAIL: $3: expected [$2], got [$1]"; fail=1; else echo "ok: $3"; fi; }

export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
conf=$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf

for args in "/X" "/A 0" "/a 12345" "/Q something"; do
  start=$(date +%s%N)
  timeout 20 "$velmirano" $args
  rc=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  check "$rc" 0 "velmirano $args exits normally"
  [ "$ms" -lt 5000 ] || { echo "FAIL: velmirano $args took ${ms} ms"; fail=1; }
  [ -e "$conf" ] && { echo "FAIL: velmirano $args wrote $conf"; fail=1; }
done

# A fresh store: every default, the current directory, all effects.
out=$(cd /tmp && "$tool" settings)
check "$(grep -c '' <<<"$out")" 43 "settings prints 40 fields, folders, one folder, enabled"
check "$(grep '^misc\\blende = ' <<<"$out")" 'misc\blende = 1' "default blende"
check "$(grep '^textstempel\\schriftart = ' <<<"$out")" 'textstempel\schriftart = Arial' "default font"
check "$(grep '^folder = ' <<<"$out")" "folder = /tmp/" "current directory as the one folder"
check "$(grep '^enabled =' <<<"$out" | wc -w)" 78 "all 76 effects enabled"

# Hand-written store: blende 77, zblenden 3 and 99, a folder without slash.
mkdir -p "$XDG_CONFIG_HOME/Velmiworks" "$XDG_CONFIG_HOME/pics"
cat > "$conf" <<CONF
[misc]
blende=77
delay=abc
[path]
1=$XDG_CONFIG_HOME/pics
2=/nonexistent/folder
[zblenden]
1=3
2=99
CONF
out=$("$tool" settings)
check "$(grep '^misc\\blende = ' <<<"$out")" 'misc\blende = 1' "blende 77 reads as 1"
check "$(grep '^misc\\delay = ' <<<"$out")" 'misc\delay = 3' "non-numeric delay reads as default"
check "$(grep '^folder = ' <<<"$out")" "folder = $XDG_CONFIG_HOME/pics/" "folder gets its slash, missing one dropped"
check "$(grep '^enabled =' <<<"$out")" "enabled = 3" "only effect 3 enabled"

# The effect list names unbuilt routines honestly.
"$tool" effects | grep -q $'^1\tblende_000\tbuilt' || { echo "FAIL: effect 1 not built"; fail=1; }

exit $fail
