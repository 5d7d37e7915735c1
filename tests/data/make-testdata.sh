#!/usr/bin/env bash
# Makes the test pictures in this folder: ImageMagick draws the common
# formats, exiv2 writes the metadata, make_formats.py the PCX, TGA and WMF
# variants and the damaged files. The results are committed.
# The standard picture is 45 x 29 pixels in four quadrants (x < 22, y < 14):
# red top left, green top right, blue bottom left, yellow bottom right.
set -euo pipefail
cd "$(dirname "$0")"
im=convert-im6.q16 # plain "convert" on the PATH may be a stand-in
quadrants() { # output file, extra options before the output
  local out=$1
  shift
  $im -size 45x29 xc:yellow -fill red -draw 'rectangle 0,0 21,13' -fill lime -draw 'rectangle 22,0 44,13' \
      -fill blue -draw 'rectangle 0,14 21,28' "$@" "$out"
}
rm -f ./*.jpg ./*.Jpg ./*.png ./*.bmp ./*.gif ./*.tif ./*.pcx ./*.tga ./*.wmf
quadrants PNG24:quadrants.png -depth 8 -define png:exclude-chunks=date,time
quadrants quadrants.jpg -quality 95 -sampling-factor 1x1 -strip
quadrants quadrants.bmp -type TrueColor -define bmp:format=bmp3
quadrants quadrants.gif
quadrants quadrants.tif -depth 8 -type TrueColor -compress None
# One grey channel: the JPEG decoder gives 8-bit grey instead of RGB.
$im -size 45x29 xc:white -fill black -draw 'rectangle 0,0 21,13' -fill 'rgb(85,85,85)' -draw 'rectangle 22,0 44,13' \
    -fill 'rgb(170,170,170)' -draw 'rectangle 0,14 21,28' -colorspace Gray -quality 95 -strip grey.jpg
# A second opinion for our readers; this ImageMagick marks TGA rows
# bottom-up unless told the orientation.
quadrants im-pal8.pcx -type Palette
quadrants im-rgb24.pcx -type TrueColor
quadrants im-true24.tga -orient TopLeft -type TrueColor
quadrants im-true24-rle.tga -orient TopLeft -type TrueColor -compress RLE
quadrants im-mapped.tga -orient TopLeft -type Palette
# EXIF orientations (a TIFF is never turned), an extension in mixed case.
for o in 1 3 6 8; do
  cp quadrants.jpg orient$o.jpg
  exiv2 -q -M"set Exif.Image.Orientation $o" orient$o.jpg
done
cp quadrants.tif orient6.tif
exiv2 -q -M"set Exif.Image.Orientation 6" orient6.tif
cp orient6.jpg mixed-case.Jpg
# An orientation in the thumbnail's directory only: the picture stays.
cp quadrants.jpg thumb-orient6.jpg
exiv2 -q -M"set Exif.Thumbnail.Orientation 6" thumb-orient6.jpg
cp quadrants.jpg meta.jpg
exiv2 -q -M"set Exif.Image.Orientation 3" -M"set Exif.Photo.DateTimeOriginal 2021:07:04 13:14:15" \
         -M"set Exif.Image.Artist Velmiworks" -M"set Exif.Image.XPTitle Byte 72 0 97 0 108 0 108 0 111 0 0 0" \
         -M"set Exif.Image.XResolution 72/1" -M"add Iptc.Application2.Keywords Köln" \
         -M"add Iptc.Application2.Keywords Dom" -M"set Iptc.Application2.City Köln" meta.jpg
# Damaged and misleading files.
cut() { head -c $(( $(stat -c %s "$1") $2 )) "$1" > "$3"; }
cut quadrants.jpg /2 truncated.jpg
cut quadrants.png -20 truncated.png
cut quadrants.bmp /2 truncated.bmp
cut quadrants.gif -10 truncated.gif
cp quadrants.bmp corrupt.bmp # an info header size that is nonsense
printf '\xff\xff\xff\x7f' | dd of=corrupt.bmp bs=1 seek=14 conv=notrunc status=none
cp quadrants.png png-content.jpg
cp quadrants.jpg jpeg-content.png
cp quadrants.png png-content.tga
cp quadrants.jpg jpeg-content.pcx
: > empty.jpg
: > empty.pcx
printf 'not a picture at all\n' > text.gif
python3 make_formats.py .
