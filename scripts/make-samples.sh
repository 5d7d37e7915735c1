#!/usr/bin/env bash
# Draws the bundled sample pictures with ImageMagick (and the Debian
# encoders of HEIC and WebP): our own pictures,
# one per file type the show collects in the demo.
set -euo pipefail
out=${1:-samples}
mkdir -p "$out"
im=convert-im6.q16
seed=7
$im -size 1600x1000 gradient:'#1d2b64'-'#f8cdda' \
    -fill '#ffd35c' -draw 'circle 1100,620 1100,520' \
    -fill '#1b1b2f' -draw 'polygon 0,1000 0,780 300,640 560,760 820,600 1180,780 1600,660 1600,1000' \
    -quality 85 "$out/abendhimmel.jpg"
$im -size 900x1200 -seed $seed plasma:'#2e8b57'-'#f0e68c' -blur 0x3 \
    -fill none -stroke white -strokewidth 12 -draw 'rectangle 60,60 840,1140' \
    -quality 85 "$out/hochformat_wiese.jpg"
$im -size 800x600 -seed $((seed + 1)) plasma:'#ff6f61'-'#6b5b95' -blur 0x2 -depth 8 "$out/plasma.png"
$im -size 800x600 xc:'#003049' \
    -fill '#d62828' -draw 'circle 250,300 250,120' \
    -fill '#f77f00' -draw 'circle 450,300 450,150' \
    -fill '#fcbf49' -draw 'circle 620,300 620,200' \
    -colors 64 "$out/kreise.gif"
$im -size 640x480 xc:white \
    -fill '#264653' -draw 'rectangle 0,0 128,480' \
    -fill '#2a9d8f' -draw 'rectangle 128,0 256,480' \
    -fill '#e9c46a' -draw 'rectangle 256,0 384,480' \
    -fill '#f4a261' -draw 'rectangle 384,0 512,480' \
    -fill '#e76f51' -draw 'rectangle 512,0 640,480' \
    -type TrueColor BMP3:"$out/streifen.bmp"
# The formats phones and the web write: a HEIC (as an iPhone stores its
# pictures) and a WebP, from pictures drawn like those above.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
$im -size 1200x900 gradient:'#0b3d91'-'#9bd4e4' \
    -fill '#f2f2f2' -draw 'ellipse 300,220 160,60 0,360' -draw 'ellipse 820,160 200,70 0,360' \
    -fill '#2d6a4f' -draw 'polygon 0,900 0,640 380,520 760,660 1200,560 1200,900' \
    -depth 8 "$tmp/see.png"
heif-enc -q 60 -o "$out/bergsee.heic" "$tmp/see.png" >/dev/null
$im -size 900x900 -seed $((seed + 2)) plasma:'#ffb703'-'#8338ec' -blur 0x4 \
    -fill none -stroke '#ffffff' -strokewidth 10 -draw 'circle 450,450 450,150' \
    -depth 8 "$tmp/kreis.png"
cwebp -quiet -q 75 "$tmp/kreis.png" -o "$out/kreis.webp"
