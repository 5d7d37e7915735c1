#!/usr/bin/env bash
# The phone-sized picture (4032x3024, as phones write it) as a lossless PNG
# and in each phone and web format, made by the Debian encoders from our own
# drawing. The tests compare each with the PNG.
set -euo pipefail
cd "$(dirname "$0")"
convert-im6.q16 -size 4032x3024 gradient:'#1d2b64'-'#f8cdda' \
  -fill '#d62828' -draw 'rectangle 0,0 2015,1511' -fill '#2a9d8f' -draw 'rectangle 2016,1512 4031,3023' \
  -fill '#ffd35c' -draw 'circle 3000,700 3000,400' -depth 8 -define png:exclude-chunks=date,time photo.png
heif-enc -q 80 -p preset=ultrafast -o photo.heic photo.png
avifenc -s 10 --min 10 --max 20 photo.png photo.avif >/dev/null
cwebp -quiet -q 90 -m 0 photo.png -o photo.webp
cjxl -e 1 -q 90 photo.png photo.jxl 2>/dev/null
