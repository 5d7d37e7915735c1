#!/bin/sh
# Makes the fuzzers' seed corpora (committed; run again only on purpose):
# our own test pictures and small variants of every type made with
# ImageMagick. Seeds named good-* must load; the replay test checks that.
set -e
here=$(cd "$(dirname "$0")" && pwd)
data="$here/../data"
# seed <target> <file in tests/data> <name>
seed() { mkdir -p "$here/corpus/$1"; cp "$data/$2" "$here/corpus/$1/$3"; }
# make <target> <name> <output prefix> <options...>: a 16x12 gradient
make() {
    dir=$1 name=$2 prefix=$3
    shift 3
    mkdir -p "$here/corpus/$dir"
    convert-im6.q16 -size 16x12 gradient:red-blue "$@" "$prefix$here/corpus/$dir/$name"
}

for f in jpg:quadrants.jpg jpg:orient6.jpg jpg:meta.jpg jpg:grey.jpg bmp:quadrants.bmp tif:orient6.tif \
         png:quadrants.png gif:quadrants.gif pcx:pal8.pcx pcx:ega4planes.pcx pcx:rgb24-crossing.pcx \
         tga:true32-rle.tga tga:mapped8-rle-map16.tga tga:grey8-rle.tga wmf:halves.wmf; do
    seed "load_${f%%:*}" "${f#*:}" "good-${f#*:}"
done
seed load_png stamp/plain.png good-plain.png
seed load_gif truncated.gif truncated.gif
make load_jpg good-progressive.jpg "" -interlace JPEG
make load_jpg good-cmyk.jpg "" -colorspace CMYK
make load_jpg good-444.jpg "" -sampling-factor 1x1
make load_bmp good-rle8.bmp "" -colors 16 -type Palette -compress RLE
make load_bmp good-bits16.bmp "" -define bmp:subtype=RGB565
make load_bmp good-v3.bmp BMP3:
make load_bmp good-gray.bmp "" -colorspace Gray -type Grayscale
make load_tif good-lzw.tif "" -compress LZW
make load_tif good-bits16.tif "" -depth 16
make load_tif good-tiles.tif "" -define tiff:tile-geometry=8x8
make load_tif good-gray.tif "" -colorspace Gray
make load_png good-bits16.png "" -depth 16
make load_png good-interlaced.png "" -interlace PNG
make load_png good-palette.png PNG8:
make load_png good-gray-alpha.png "" -colorspace Gray -alpha on
make load_gif good-interlaced.gif "" -interlace GIF
for f in meta.jpg orient6.jpg orient6.tif quadrants.png stamp/img01.jpg stamp/latin1.jpg stamp/percent.jpg; do
    seed metadata "$f" "$(echo "$f" | tr / -)"
done
printf '%%e270 %%i25 %%e40091x%%E%%i\n' > "$here/corpus/metadata/stamp-text.jpg"
cat "$data/meta.jpg" >> "$here/corpus/metadata/stamp-text.jpg"
mkdir -p "$here/corpus/names"
printf 'Bild2.jpg\0Bild10.jpg\0bild010.JPG\0*.jpg\0a*b*c\0caf\351.jpg\0/f/Urlaub 2/x.jpg\0' > "$here/corpus/names/mixed"
printf '0001\0001\00x\0X0\0*\0**.JPG\0\303\266\0' > "$here/corpus/names/digits"
# The phone and web formats: small pictures from the Debian encoders, one
# with EXIF and orientation, and an animation.
phone() { # <target> <name> <command...> (the command writes $tmp/out)
    mkdir -p "$here/corpus/$1"
    dir=$1 name=$2
    shift 2
    "$@" >/dev/null 2>&1
    mv "$tmp/out" "$here/corpus/$dir/$name"
}
tmp=$(mktemp -d)
convert-im6.q16 -size 16x12 gradient:red-blue "$tmp/g.png"
convert-im6.q16 -size 16x12 gradient:red-blue -quality 90 "$tmp/g.jpg"
exiv2 -M"set Exif.Image.Orientation 6" -M"set Exif.Photo.DateTimeOriginal 2023:07:14 09:30:00" "$tmp/g.jpg"
phone load_heic good-exif6.heic heif-enc -q 50 -o "$tmp/out" "$tmp/g.jpg"
phone load_heic good-lossless.heic heif-enc -L -p chroma=444 -o "$tmp/out" "$tmp/g.png"
phone load_avif good.avif avifenc -s 10 "$tmp/g.png" "$tmp/out"
phone load_avif good-irot1.avif avifenc -s 10 --irot 1 "$tmp/g.png" "$tmp/out"
phone load_webp good-lossy.webp cwebp -q 50 "$tmp/g.png" -o "$tmp/out"
phone load_webp good-lossless.webp cwebp -lossless "$tmp/g.png" -o "$tmp/out"
phone load_webp good-animated.webp img2webp -loop 0 "$tmp/g.png" "$tmp/g.png" -o "$tmp/out"
phone load_jxl good-lossy.jxl cjxl -q 80 "$tmp/g.png" "$tmp/out"
phone load_jxl good-lossless.jxl cjxl -d 0 "$tmp/g.png" "$tmp/out"
rm -rf "$tmp"
