#!/bin/sh
# The show decodes no picture: its executable names no image library among
# the libraries it needs, the decoder needs no widgets, and no source file
# outside src/imaging/ reaches into the decoders except through the protocol.
# Usage: layout.sh <velmirano> <velmirano-decoder> <source tree>
# Only the executable's own NEEDED entries count: Qt's Gui library pulls
# libpng in for itself, and the image format plugins are loaded at run time
# by the decoder alone.
show=$1
decoder=$2
tree=$3
failed=0

needed() {
    readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
}

show_needs=$(needed "$show") || { echo "readelf failed on $show"; exit 1; }
[ -n "$show_needs" ] || { echo "no NEEDED entries in $show"; exit 1; }
for lib in exiv2 wmf jpeg png tiff heif webp jxl de265 dav1d avif gif Qt6Svg; do
    if echo "$show_needs" | grep -qi "$lib"; then
        echo "FAIL: velmirano needs $(echo "$show_needs" | grep -i "$lib" | tr '\n' ' ')"
        failed=1
    fi
done

decoder_needs=$(needed "$decoder") || { echo "readelf failed on $decoder"; exit 1; }
if echo "$decoder_needs" | grep -q Qt6Widgets; then
    echo "FAIL: velmirano-decoder needs Qt6Widgets"
    failed=1
fi
# The decoder must still need what it decodes with, or this test proves
# nothing; the phone formats' libraries only through the module it loads for
# them, so that every other picture's decoder starts without them.
echo "$decoder_needs" | grep -q exiv2 || { echo "FAIL: velmirano-decoder does not need exiv2"; failed=1; }
module_needs=$(needed "$(dirname "$decoder")/velmirano-phone.so") || { echo "readelf failed on the module"; exit 1; }
for lib in heif webp jxl; do
    if echo "$decoder_needs" | grep -q "$lib"; then echo "FAIL: velmirano-decoder itself needs $lib"; failed=1; fi
    echo "$module_needs" | grep -q "$lib" || { echo "FAIL: velmirano-phone.so does not need $lib"; failed=1; }
done

# Outside the room only the protocol may be included.
leaks=$(grep -rnE '#[[:space:]]*include[[:space:]]*[<"]imaging/' "$tree/src" --include='*.cpp' --include='*.h' |
        grep -v "^$tree/src/imaging/" | grep -v "^$tree/src/decoder_main.cpp:" |
        grep -vE '[<"]imaging/protocol\.h[>"]')
if [ -n "$leaks" ]; then
    echo "FAIL: imaging headers included outside src/imaging/:"
    echo "$leaks"
    failed=1
fi
[ $failed -eq 0 ] && echo "layout ok"
exit $failed
