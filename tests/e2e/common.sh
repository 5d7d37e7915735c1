# What the end-to-end scripts share: the verdicts, a settings store, a
# runtime folder (the single-show mark lives there) and a work folder of
# their own, so that nothing else on the machine meets them; polls with a
# limit instead of fixed waits, screenshots, and the store read back.
# Expects $tool (velmirano-tool) to be set by the script that sources it.
fail=0
pass() { echo "ok: $1"; }
bad() { echo "FAIL: $1"; fail=1; }
check() { if [ "$1" == "$2" ]; then pass "$3"; else bad "$3: expected [$2], got [$1]"; fi; }
export XDG_CONFIG_HOME=$(mktemp -d) XDG_RUNTIME_DIR=$(mktemp -d)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work"' EXIT
mkdir -p "$XDG_CONFIG_HOME/Velmiworks" "$work/pics"
conf=$XDG_CONFIG_HOME/Velmiworks/Velmirano.conf
pics=$work/pics
im=convert-im6.q16 # plain "convert" on the PATH may be a stand-in
# Writes the store: folder $1, [misc] lines $2, further sections $3 (all
# printf %b), into $4 (the store by default).
store() {
  printf '[misc]\nreihenfolge=1\nexpand=1\n%b\n[path]\n1=%s\n%b' "$2" "$1" "${3:-}" > "${4:-$conf}"
}
# An 800x600 picture of colour $1 at $2.
picture() { $im -size 800x600 "xc:$1" "$2"; }
get() { "$tool" get "$1" "$2" 2>/dev/null; }
timings() { "$tool" enum "$1" | grep -c '^[DS][0-9]* = '; }
# Polls a command until it succeeds; fails after $1 milliseconds.
poll() {
  local end=$(( $(date +%s%N) / 1000000 + $1 )); shift
  until "$@"; do [ $(( $(date +%s%N) / 1000000 )) -ge $end ] && return 1; sleep 0.1; done
}
gone() { ! kill -0 "$1" 2>/dev/null; }
shot() { import-im6.q16 -window root "$work/shot.png" 2>/dev/null; }
# The colour (#RRGGBB) at $1,$2 of the last shot.
colour_at() { $im "$work/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -1 | grep -o '#[0-9A-F]\{6\}'; }
# Ends the show $1 with a key; fails, and kills it, after $2 milliseconds.
key_ends() {
  xdotool key space
  poll "$2" gone "$1" || { kill -9 "$1" 2>/dev/null; return 1; }
}
