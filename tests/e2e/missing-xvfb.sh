#!/bin/sh
echo "xvfb-run fehlt: die End-to-End-Tests brauchen die Debian-Pakete xvfb und xauth (scripts/install-deps.sh installiert sie)" >&2
exit 1
