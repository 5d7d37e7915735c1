#!/usr/bin/env bash
# Proves the README's commands on a machine that has never built the
# project: a minimal Debian 12 made by debootstrap, a clean clone of this
# repository copied into it, and `make test` run inside it as root, as a
# new user would. Not part of `make test` (it downloads and builds
# everything, which takes a while).
#
#   scripts/clean-room.sh [ROOT] [COMMAND]
#   scripts/clean-room.sh --package [DEB] [ROOT]
#
# ROOT defaults to /var/tmp/velmirano-clean-room (made afresh each run);
# COMMAND defaults to "make test". Needs root, debootstrap and Debian's
# package servers.
#
# The package mode installs the built package (DEB, by default the one
# `make deb` left in build/deb/) into a fresh minimal Debian 12 with apt,
# which has to bring every dependency by itself; then the installed tool
# lists the 76 effects and loads a sample JPEG through the installed
# decoder, and a purge has to leave none of the package's files behind.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
package=0
if [ "${1:-}" = --package ]; then
  package=1
  shift
  version=$(sed -n 's/^project(Velmirano VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
  deb=${1:-$repo/build/deb/velmirano_${version}_$(dpkg --print-architecture).deb}
  root=${2:-/var/tmp/velmirano-clean-room-package}
  [ -f "$deb" ] || { echo "clean-room.sh: no package $deb (make deb builds it)" >&2; exit 1; }
else
  root=${1:-/var/tmp/velmirano-clean-room}
  command=${2:-make test}
fi
mirror=${MIRROR:-http://deb.debian.org/debian}

[ "$(id -u)" -eq 0 ] || { echo "clean-room.sh: must run as root (debootstrap and chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "clean-room.sh: needs debootstrap (apt-get install debootstrap)" >&2; exit 1; }

mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
bind() { mount --bind "$1" "$2"; mounted+=("$2"); }

start=$(date +%s)
rm -rf "$root"
echo "== debootstrap --variant=minbase bookworm $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >/dev/null

mount -t proc proc "$root/proc"; mounted+=("$root/proc")
bind /dev "$root/dev"
mkdir -p "$root/dev/shm"
mount -t tmpfs tmpfs "$root/dev/shm"; mounted+=("$root/dev/shm")
cp /etc/resolv.conf "$root/etc/resolv.conf"

if [ $package -eq 1 ]; then
  # A Debian 12 as installed: the release with its updates and security
  # fixes, which the libraries the package was built against may come from.
  security=${SECURITY_MIRROR:-http://deb.debian.org/debian-security}
  printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb %s bookworm-security main\n' \
    "$mirror" "$mirror" "$security" >"$root/etc/apt/sources.list"
  # No package may start a service inside the chroot.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod +x "$root/usr/sbin/policy-rc.d"
  in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
      DEBIAN_FRONTEND=noninteractive sh -c "$1"
  }
  fail=0
  check() { if [ "$1" = "$2" ]; then echo "ok: $3"; else echo "FAIL: $3: expected [$2], got [$1]"; fail=1; fi; }
  name=$(basename "$deb")
  cp "$deb" "$root/tmp/$name"
  cp "$repo/samples/abendhimmel.jpg" "$root/tmp/sample.jpg"
  in_root 'apt-get update -qq'
  before=$(in_root 'dpkg-query -W -f="\${Package}\n" | sort')
  echo "== apt-get install ./$name"
  in_root "cd /tmp && apt-get install -y -qq ./$name" >"$root/install.log" 2>&1 || { tail -30 "$root/install.log"; exit 1; }
  check "$(in_root 'dpkg-query -W -f="\${Status}" velmirano')" "install ok installed" "apt installs the package and its dependencies"
  echo "   $(( $(in_root 'dpkg-query -W -f="\${Package}\n"' | wc -l) - $(wc -l <<<"$before") )) packages installed"
  check "$(in_root 'velmirano-tool effects 2>/dev/null' | grep -cE '^[0-9]+'$'\t')" 76 "velmirano-tool effects lists 76 effects"
  check "$(in_root 'cd /tmp && velmirano-tool load sample.jpg 2>/dev/null')" "1600 1000" \
    "velmirano-tool load finds the installed decoder and prints the picture's size"
  check "$(in_root 'command -v velmirano; readlink -f /usr/libexec/xscreensaver/velmirano' | tr '\n' ' ')" \
    "/usr/bin/velmirano /usr/bin/velmirano " "the program and its XScreenSaver link are in place"
  files=$(in_root 'dpkg -L velmirano')
  echo "== apt-get purge velmirano"
  in_root 'apt-get purge -y -qq velmirano' >>"$root/install.log" 2>&1 || { tail -30 "$root/install.log"; exit 1; }
  left=()
  while read -r f; do
    [ -n "$f" ] && [ "$f" != /. ] && [ -e "$root$f" -o -L "$root$f" ] || continue
    # Folders such as /usr/bin stay for the other packages that use them.
    [ -d "$root$f" ] && [ ! -L "$root$f" ] && in_root "dpkg -S '$f'" >/dev/null 2>&1 && continue
    left+=("$f")
  done <<<"$files"
  check "${left[*]:-}" "" "apt-get purge leaves none of the package's $(wc -l <<<"$files") paths"
  echo "== result: the package mode $([ $fail -eq 0 ] && echo passed || echo FAILED) after $(( $(date +%s) - start )) s"
  exit $fail
fi

# What the README says a minimal Debian needs before its two commands.
echo "== apt-get install make git"
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends make git ca-certificates >/dev/null'

# The committed state only: a clone, never the working tree.
echo "== clone into $root/root/velmirano"
git clone -q "$repo" "$root/root/velmirano"

echo "== $command (inside the chroot, as root)"
set +e
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
  sh -c "cd /root/velmirano && $command" 2>&1 | tee "$root/clean-room.log"
rc=${PIPESTATUS[0]}
set -e
echo "== result: $command exited with $rc after $(( $(date +%s) - start )) s (log: $root/clean-room.log)"
exit "$rc"
