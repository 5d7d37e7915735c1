#!/usr/bin/env python3
"""Writes one file of every kind that once crashed, froze or bloated the
show, between good pictures, into PICTURES; files the show must not list
go to EXTRA.

    make_hostile.py PICTURES EXTRA

Names sort in show order: a good picture (a plain colour) follows every
hostile file, and the last one, zz_ende.jpg, is magenta. The good pictures
come from ImageMagick; everything else is written byte by byte here.
"""
import os
import struct
import subprocess
import sys
import zlib

IM = "convert-im6.q16"


def im(args, out):
    subprocess.run([IM] + args + [out], check=True)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def segments(jpeg):
    """(marker, bytes of the whole segment) up to the first scan."""
    i, out = 2, []
    while i < len(jpeg):
        marker = jpeg[i + 1]
        length = struct.unpack(">H", jpeg[i + 2:i + 4])[0]
        out.append((marker, jpeg[i:i + 2 + length]))
        if marker == 0xDA:
            break
        i += 2 + length
    return out


def crw_nested(depth):
    # A Canon CRW heap whose directory holds a directory, 100,000 deep.
    # Each heap is the one inside it followed by its own directory.
    inner = struct.pack("<HI", 0, 0)  # innermost: an empty directory
    parts, size = [inner], len(inner)
    for _ in range(depth):
        parts.append(struct.pack("<HHIII", 1, 0x300A, size, 0, size))
        size += 16
    heap = b"".join(parts)
    header = b"II" + struct.pack("<I", 26) + b"HEAPCCDR" + struct.pack("<III", 0x00010002, 0, 0)
    return header + heap


def tiff(entries, extra):
    """Little-endian TIFF: one directory of (tag, type, count, value) and
    data placed after it; values given as bytes are stored there."""
    n = len(entries)
    data_at = 8 + 2 + 12 * n + 4
    body, blobs = b"", b""
    for tag, kind, count, value in sorted(entries):
        if isinstance(value, bytes):
            body += struct.pack("<HHII", tag, kind, count, data_at + len(blobs))
            blobs += value
        elif kind == 3 and count == 1:
            body += struct.pack("<HHIHH", tag, kind, count, value, 0)
        else:
            body += struct.pack("<HHII", tag, kind, count, value)
    return b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", n) + body + b"\0\0\0\0" + blobs + extra


def main():
    pics, extra = sys.argv[1], sys.argv[2]
    os.makedirs(pics, exist_ok=True)
    os.makedirs(extra, exist_ok=True)
    p = lambda name: os.path.join(pics, name)

    def write(name, data, folder=pics):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)

    colours = ["#ff0000", "#00ff00", "#0000ff", "#ffff00", "#00ffff", "#ff8000", "#8000ff", "#008000"]
    hostile = []

    def add(name, data):
        n = len(hostile) + 1
        hostile.append(name)
        write(f"{n:02d}_{name}", data)
        im(["-size", "320x240", f"xc:{colours[n % len(colours)]}"], p(f"{n:02d}z_gut.jpg"))

    base = p("00_gut.jpg")
    im(["-size", "64x48", "xc:#808080"], base)
    small = open(base, "rb").read()
    im(["-size", "64x48", "xc:#808080", "-interlace", "JPEG"], os.path.join(extra, "progressive.jpg"))
    progressive = open(os.path.join(extra, "progressive.jpg"), "rb").read()

    # exiv2 recursed until the stack ran out (with exifrotate = 1).
    add("crw_tief.jpg", crw_nested(100_000))

    # 200,000 empty comments: libjpeg's marker list grew quadratically.
    add("kommentare.jpg", small[:2] + b"\xff\xfe\x00\x02" * 200_000 + small[2:])

    # A progressive 12000 x 12000 frame and 3,000 scans without data.
    segs = segments(progressive)
    head = b"".join(s for m, s in segs if m != 0xDA)
    i = head.index(b"\xff\xc2")
    head = head[:i + 5] + struct.pack(">HH", 12000, 12000) + head[i + 9:]
    ac_table = b"\xff\xc4\x00\x14\x10" + bytes([1] + [0] * 15) + b"\x00"
    ac_scan = b"\xff\xda\x00\x08\x01\x01\x00\x01\x3f\x00"
    add("scans.jpg", b"\xff\xd8" + head[2:] + ac_table + ac_scan * 3000 + b"\xff\xd9")

    # 165 bytes: a progressive CMYK frame of 12000 x 12000.
    dqt = b"\xff\xdb" + struct.pack(">H", 67) + b"\x00" + bytes([1] * 64)
    sof = b"\xff\xc2" + struct.pack(">HBHHB", 20, 8, 12000, 12000, 4) + b"".join(
        bytes([c, 0x11, 0]) for c in (1, 2, 3, 4))
    dht = b"\xff\xc4" + struct.pack(">H", 20) + b"\x00" + bytes([0, 1] + [0] * 14) + b"\x00"
    sos = b"\xff\xda" + struct.pack(">HB", 14, 4) + b"".join(bytes([c, 0]) for c in (1, 2, 3, 4)) + b"\x00\x00\x00"
    cmyk = b"\xff\xd8" + dqt + sof + dht + sos + b"\x00" * 8 + b"\xff\xd9"
    add("cmyk_riesig.jpg", cmyk + b"\x00" * max(0, 165 - len(cmyk)))

    # 44 bytes: a text chunk that claims 2 GB.
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0))
    add("text_2gb.png", b"\x89PNG\r\n\x1a\n" + ihdr + struct.pack(">I", 0x7FFFFFFF) + b"tEXtabc")

    # 16-bit 11000 x 11000 in well under a megabyte: all zeros, deflated.
    packer = zlib.compressobj(9)
    row = bytes(1 + 11000 * 6)
    zeros = b"".join(packer.compress(row) for _ in range(11000)) + packer.flush()
    png16 = chunk(b"IHDR", struct.pack(">IIBBBBB", 11000, 11000, 16, 2, 0, 0, 0))
    add("png16_riesig.png", b"\x89PNG\r\n\x1a\n" + png16 + chunk(b"IDAT", zeros) + chunk(b"IEND", b""))
    header_len = 8 + 2 + 12 * 10 + 4 + 6
    add("tiff16_riesig.tif", tiff([
        (256, 4, 1, 11000), (257, 4, 1, 11000), (258, 3, 3, struct.pack("<HHH", 16, 16, 16)),
        (259, 3, 1, 8), (262, 3, 1, 2), (273, 4, 1, header_len), (277, 3, 1, 3),
        (278, 4, 1, 11000), (279, 4, 1, len(zeros)), (284, 3, 1, 1)], zeros))

    # 120 bytes: a run-length BMP of 12000 x 12000 that ends at once.
    info = struct.pack("<IiiHHIIiiII", 40, 12000, 12000, 1, 8, 1, 2, 0, 0, 16, 0)
    add("bmp_rle_riesig.bmp", b"BM" + struct.pack("<IHHI", 120, 0, 0, 14 + 40 + 64) + info + bytes(64) + b"\x00\x01")

    # 35 bytes: a GIF whose screen is 12000 x 12000.
    add("gif_riesig.gif", b"GIF89a" + struct.pack("<HHBBB", 12000, 12000, 0x80, 0, 0) + bytes(6)
        + b"," + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + b"\x02\x02\x44\x01\x00;")

    # A TIFF named .jpg whose orientation is 50 MB of text.
    add("tiff_orientierung.jpg", tiff([(256, 3, 1, 1), (257, 3, 1, 1), (274, 2, 50_000_000, b"6" * 50_000_000)], b""))

    # A small valid TIFF with a 5 MB description (the stamp shows %e270).
    pixel = b"\x80\x80\x80" * 64
    desc_entries = [(256, 3, 1, 8), (257, 3, 1, 8), (258, 3, 3, struct.pack("<HHH", 8, 8, 8)), (259, 3, 1, 1),
                    (262, 3, 1, 2), (270, 2, 5_000_000, b"B" * 4_999_999 + b"\0"), (277, 3, 1, 3),
                    (278, 3, 1, 8), (279, 4, 1, len(pixel))]
    offset = 8 + 2 + 12 * (len(desc_entries) + 1) + 4 + 6 + 5_000_000
    add("tiff_beschreibung.tif", tiff(desc_entries + [(273, 4, 1, offset)], pixel))

    # 118 bytes: sizes whose product overflowed the completeness check.
    info = struct.pack("<IiiHHIIiiII", 40, 0x7FFFFFFF, -0x80000000, 1, 64, 0, 0, 0, 0, 0, 0)
    add("bmp_ueberlauf.bmp", (b"BM" + struct.pack("<IHHI", 118, 0, 0, 54) + info).ljust(118, b"\0"))

    # A good picture whose name is not UTF-8 (Latin-1 "café").
    add("cafe.jpg", small)
    os.rename(os.fsencode(p(f"{len(hostile):02d}_cafe.jpg")),
              os.fsencode(pics) + f"/{len(hostile):02d}_caf".encode() + b"\xe9.jpg")
    hostile[-1] = "caf"

    # A large picture that the test rewrites while the show loads it.
    im(["-size", "2000x1500", "plasma:fractal", "-quality", "95"], os.path.join(extra, "wechsel-quelle.jpg"))
    add("wechselnd.jpg", open(os.path.join(extra, "wechsel-quelle.jpg"), "rb").read())

    # A picture on which the test's decoder hangs (VELMIRANO_DECODER_FAULT).
    add("haengt.jpg", small)

    im(["-size", "320x240", "xc:#ff00ff"], p("zz_ende.jpg"))

    # A metafile whose bitmap header is not 40 bytes: libwmf looped forever.
    dib = struct.pack("<IiiHHIIiiII", 0, 4, 4, 1, 24, 0, 0, 0, 0, 0, 0) + bytes(48)
    params = struct.pack("<IHhhhhhhhh", 0x00CC0020, 0, 4, 4, 0, 0, 4, 4, 0, 0)
    rec = params + dib
    record = struct.pack("<IH", 3 + len(rec) // 2, 0x0F43) + rec
    body = record + struct.pack("<IH", 3, 0)
    standard = struct.pack("<HHHIHIH", 1, 9, 0x0300, (18 + len(body)) // 2, 0, len(record) // 2, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 100, 100, 96, 0)
    check = 0
    for (w,) in struct.iter_unpack("<H", placeable):
        check ^= w
    write("schleife.wmf", (placeable + struct.pack("<H", check) + standard + body).ljust(250, b"\0"), extra)

    with open(os.path.join(extra, "hostile.txt"), "w") as f:
        f.write("\n".join(hostile) + "\n")


if __name__ == "__main__":
    main()
