#!/usr/bin/env bash
# Installs the Debian packages the build, the show and the tests need, only
# those that are missing. The list is the Build-Depends of debian/control,
# the same one the Debian package is built with, including the packages
# only the tests use (marked <!nocheck>).
#
#   scripts/install-deps.sh            what `make show` and `make test` need
#   scripts/install-deps.sh --package  that, and what `make deb` needs
#   scripts/install-deps.sh --list     print the list, install nothing
#
# Runs on a minimal Debian 12 as root (or with sudo): it needs only awk.
set -euo pipefail
cd "$(dirname "$0")/.."

# Build-Depends of the source stanza: continuation lines joined, comments
# dropped, then one package a line without its version, architecture
# qualifier or build profile. Of alternatives ("a | b") the first is taken.
build_depends() {
  awk '
    /^#/ { next }
    /^$/ { if (field) exit; next }
    /^[^ \t]/ { field = ($0 ~ /^Build-Depends:/) }
    field { sub(/^Build-Depends:/, ""); text = text " " $0 }
    END { print text }
  ' debian/control | tr ',' '\n' | sed -E 's/\|.*//; s/\([^)]*\)//g; s/\[[^]]*\]//g; s/<[^>]*>//g; s/:[a-z0-9]+//; s/[[:space:]]+//g' |
    grep -v '^$'
}

package=0 list=0
for arg in "$@"; do
  case "$arg" in
    --package) package=1 ;;
    --list) list=1 ;;
    *) echo "usage: install-deps.sh [--package] [--list]" >&2; exit 2 ;;
  esac
done
packages=()
while read -r p; do
  if [ "$p" != debhelper-compat ]; then
    packages+=("$p")
  elif [ $package -eq 1 ]; then
    # debhelper provides it; only the package build needs debhelper.
    packages+=(debhelper)
  fi
done < <(build_depends)
if [ $package -eq 1 ]; then packages+=(dpkg-dev lintian); fi
[ ${#packages[@]} -gt 3 ] || { echo "install-deps.sh: no Build-Depends found in debian/control" >&2; exit 1; }

if [ $list -eq 1 ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
