#!/usr/bin/env bash
# What the Debian package ships, checked from the tree and the build:
#
#   package_check.sh version SOURCE CMAKE_VERSION
#     debian/changelog carries CMake's project version.
#   package_check.sh manpages SOURCE TOOL
#     both man pages render without warnings; velmirano(1) names every
#     switch the README names, velmirano-tool(1) every command the tool
#     knows (from its usage) and every one the README names.
#   package_check.sh install BUILD
#     `cmake --install` into a scratch DESTDIR gives exactly the package's
#     files, none of them writable by others (the package build fixes
#     folders itself), the XScreenSaver link points
#     at the program, the program looks for its decoder where it is
#     installed, and the desktop entry is valid.
set -u
fail=0
pass() { echo "ok: $1"; }
flunk() { echo "FAIL: $1"; fail=1; }
check() { if [ "$1" = "$2" ]; then pass "$3"; else flunk "$3: expected [$2], got [$1]"; fi; }

# The page as a reader sees it: wide enough that no switch is broken.
render() { LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l "$1" 2>"$work/warnings"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case "${1:-}" in
version)
  src=$2 want=$3
  got=$(sed -n '1s/^velmirano (\([^)]*\)).*/\1/p' "$src/debian/changelog")
  check "$got" "$want" "debian/changelog's version is the project's"
  ;;

manpages)
  src=$2 tool=$3
  page=$(render "$src/man/velmirano.1")
  check "$(cat "$work/warnings")" "" "velmirano(1) renders without warnings"
  check "$(grep -c '^VELMIRANO(1)' <<<"$page")" 1 "velmirano(1) has its title"
  # Every switch in backticks in the README, up to its argument: /S, /c:,
  # /P, -window-id, and the spelled-out examples (/sx, /p123, /p:123).
  switches=$(grep -o '`[/-][A-Za-z][^`]*`' "$src/README.md" | tr -d '`' | grep -v '^/.*/' | sed 's/[ <].*//' | sort -u)
  [ "$(wc -l <<<"$switches")" -ge 8 ] && pass "the README names switches" || flunk "the README names switches: [$switches]"
  for s in $switches; do
    grep -qF -- "$s" <<<"$page" && pass "velmirano(1) names $s" || flunk "velmirano(1) names $s"
  done
  for text in "Velmiworks/Velmirano.conf" '"Velmirano"  velmirano -root \n\' "number0" \
              /usr/libexec/velmirano/velmirano-decoder XSCREENSAVER_WINDOW; do
    grep -qF -- "$text" <<<"$page" && pass "velmirano(1) says $text" || flunk "velmirano(1) says $text"
  done

  page=$(render "$src/man/velmirano-tool.1")
  check "$(cat "$work/warnings")" "" "velmirano-tool(1) renders without warnings"
  # The commands the tool itself knows: its usage lists them.
  commands=$(QT_QPA_PLATFORM=offscreen "$tool" 2>&1 >/dev/null | sed -n 's/^ *\(Aufruf: \)\{0,1\}velmirano-tool \([a-z-]*\).*/\2/p')
  readme=$(grep -o '`velmirano-tool [a-z-]*' "$src/README.md" | sed 's/.* //')
  [ "$(wc -l <<<"$commands")" -ge 10 ] && pass "the tool's usage lists commands" || flunk "the tool's usage lists commands: [$commands]"
  for c in $(printf '%s\n%s\n' "$commands" "$readme" | sort -u); do
    # A command is an entry of its own: it starts a line of the COMMANDS list.
    grep -qE -- "^       $c( |$)" <<<"$page" && pass "velmirano-tool(1) has $c" || flunk "velmirano-tool(1) has $c"
  done
  ;;

install)
  build=$2
  prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
  dest=$work/dest
  DESTDIR=$dest cmake --install "$build" >"$work/install.log" 2>&1 || { cat "$work/install.log"; flunk "cmake --install"; }
  root=$dest$prefix
  got=$(cd "$dest" && find . ! -type d | sed 's#^\.##' | sort)
  want=$(printf '%s\n' bin/velmirano bin/velmirano-tool libexec/velmirano/velmirano-decoder \
           libexec/xscreensaver/velmirano share/applications/velmirano.desktop \
           share/man/man1/velmirano-tool.1 share/man/man1/velmirano.1 \
           share/xscreensaver/config/velmirano.xml | sed "s#^#$prefix/#" | sort)
  check "$got" "$want" "exactly the package's files"
  check "$(cd "$dest" && find . -perm /022 -type f | sort)" "" "no file writable by group or others"
  for f in bin/velmirano bin/velmirano-tool libexec/velmirano/velmirano-decoder; do
    [ -x "$root/$f" ] && pass "$f is a program" || flunk "$f is a program"
  done
  for f in share/applications/velmirano.desktop share/xscreensaver/config/velmirano.xml \
           share/man/man1/velmirano.1 share/man/man1/velmirano-tool.1; do
    [ -x "$root/$f" ] && flunk "$f is no program" || pass "$f is no program"
  done
  check "$(readlink "$root/libexec/xscreensaver/velmirano")" ../../bin/velmirano "the hack is a relative link"
  check "$(readlink -f "$root/libexec/xscreensaver/velmirano")" "$(readlink -f "$root/bin/velmirano")" \
    "the hack link reaches the program"
  # The program falls back to the installed decoder: the place it names
  # must be the place the decoder is installed to.
  # (a QStringLiteral is stored as UTF-16, so both encodings are looked for)
  python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); s = sys.argv[2]
sys.exit(0 if s.encode() in d or s.encode("utf-16-le") in d else 1)' "$root/bin/velmirano" "$prefix/libexec/velmirano" && pass "the program looks for the decoder where it is installed" ||
    flunk "the program looks for the decoder where it is installed ($prefix/libexec/velmirano)"
  check "$(desktop-file-validate "$root/share/applications/velmirano.desktop" 2>&1)" "" "desktop-file-validate finds nothing"
  grep -q '<command arg="-root"/>' "$root/share/xscreensaver/config/velmirano.xml" &&
    pass "XScreenSaver starts the hack with -root" || flunk "XScreenSaver starts the hack with -root"
  ;;

*)
  echo "usage: package_check.sh version|manpages|install ..." >&2
  exit 2
  ;;
esac
exit $fail
