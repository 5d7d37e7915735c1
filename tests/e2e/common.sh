# What the end-to-end scripts share: the verdicts, and a settings store, a
# runtime folder (the single-show mark lives there) and a work folder of
# their own, so that nothing else on the machine meets them.
fail=0
pass() { echo "ok: $1"; }
bad() { echo "FAIL: $1"; fail=1; }
check() { if [ "$1" == "$2" ]; then pass "$3"; else bad "$3: expected [$2], got [$1]"; fi; }
export XDG_CONFIG_HOME=$(mktemp -d) XDG_RUNTIME_DIR=$(mktemp -d)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work"' EXIT
mkdir -p "$XDG_CONFIG_HOME/Velmiworks"
