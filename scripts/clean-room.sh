#!/usr/bin/env bash
# Proves the README's commands on a machine that has never built the
# project: a minimal Debian 12 made by debootstrap, a clean clone of this
# repository copied into it, and `make test` run inside it as root, as a
# new user would. Not part of `make test` (it downloads and builds
# everything, which takes a while).
#
#   scripts/clean-room.sh [ROOT] [COMMAND]
#
# ROOT defaults to /var/tmp/velmirano-clean-room (made afresh each run);
# COMMAND defaults to "make test". Needs root, debootstrap and Debian's
# package servers.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-/var/tmp/velmirano-clean-room}
command=${2:-make test}
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
