#!/usr/bin/env bash
# Makes the pictures with EXIF and IPTC data that the text stamp tests read
# (ImageMagick and the exiv2 tool). The results are committed.
set -euo pipefail
cd "$(dirname "$0")"
IM=convert-im6.q16
# The Windows text tags hold UTF-16LE bytes with a closing zero character.
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tu1 -v | xargs; }
rm -f img01.jpg noiptc.jpg plain.png percent.jpg latin1.jpg
# Date taken, orientation, a Windows title with umlauts, a Windows comment
# padded with blanks, a Windows subject (the last of those tags), three
# keywords, a caption, and a city (2:90) next to the envelope's character
# set, which has the same number (1:90).
$IM -size 48x32 gradient:'#3060c0'-'#e0a040' -quality 90 img01.jpg
exiv2 -M"set Exif.Image.Orientation 6" -M"set Exif.Photo.DateTimeOriginal 2004:03:05 10:11:12" \
      -M"set Exif.Image.ImageDescription Abendlicht" -M"set Exif.Image.XPTitle Byte $(utf16 'Grüße aus Köln') 0 0" \
      -M"set Exif.Image.XPComment Byte $(utf16 '  am Rhein  ') 0 0" -M"set Exif.Image.XPSubject Byte $(utf16 'Kölner Dom') 0 0" \
      -M"add Iptc.Application2.Keywords Köln" -M"add Iptc.Application2.Keywords Rhein" -M"add Iptc.Application2.Keywords Dom" \
      -M"set Iptc.Application2.Caption Dom am Abend" -M"set Iptc.Envelope.CharacterSet $(printf '\033%%G')" \
      -M"set Iptc.Application2.City Köln" img01.jpg
$IM -size 32x24 xc:'#208040' -quality 90 noiptc.jpg # EXIF only
# The date taken twice: in the picture's own directory and in the Exif one.
exiv2 -M"set Exif.Photo.DateTimeOriginal 2011:12:24 18:00:00" -M"set Exif.Image.DateTimeOriginal 2011:12:25 09:00:00" noiptc.jpg
$IM -size 16x16 xc:'#808080' -define png:exclude-chunks=date,time plain.png # no metadata
# Values that contain the placeholders that produce them.
$IM -size 16x16 xc:'#c02020' -quality 90 percent.jpg
exiv2 -M"set Exif.Image.ImageDescription %e270 und %E270" -M"add Iptc.Application2.Keywords %i25" \
      -M"add Iptc.Application2.Keywords 100%" -M"set Iptc.Application2.Caption siehe %e36867" percent.jpg
# An IPTC keyword in Latin-1 bytes, as older programs wrote them.
$IM -size 16x16 xc:'#2020c0' -quality 90 latin1.jpg
exiv2 -M"add Iptc.Application2.Keywords $(printf 'K\366ln')" latin1.jpg
printf 'kein JPEG\n' > broken.jpg # not a picture, though named like one
