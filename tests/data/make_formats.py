#!/usr/bin/env python3
"""Writes the PCX, TGA and WMF test pictures and the damaged files that no
ready-made tool writes: every depth and layout the readers handle, and
headers that claim 40000 x 40000 pixels.

The standard picture is 45 x 29 pixels in four quadrants (x < 22, y < 14):
red top left, green top right, blue bottom left, yellow bottom right.
Monochrome pictures are black left, white right; grey ones have the
levels 0, 85 (top) and 170, 255 (bottom).
"""
import os
import struct
import sys
import zlib

W, H = 45, 29
RED, GREEN, BLUE, YELLOW = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)
QUAD = [RED, GREEN, BLUE, YELLOW]


def quadrant(x, y):
    return (0 if x < 22 else 1) + (0 if y < 14 else 2)


def colour(x, y):
    return QUAD[quadrant(x, y)]


def grey(x, y):
    return [0, 85, 170, 255][quadrant(x, y)]


# ----------------------------------------------------------------- PCX

def pcx_rle(data):
    out = bytearray()
    i = 0
    while i < len(data):
        v = data[i]
        n = 1
        while i + n < len(data) and data[i + n] == v and n < 63:
            n += 1
        if n > 1 or v >= 0xC0:
            out += bytes([0xC0 | n, v])
        else:
            out.append(v)
        i += n
    return bytes(out)


def pcx(path, bpp, planes, indexes=None, rgb=False, palette16=None, palette256=None,
        encoding=1, version=5, width=W, height=H, whole_stream_rle=False):
    bpl = (width * bpp + 7) // 8
    bpl += bpl % 2
    lines = []
    for y in range(height):
        line = bytearray()
        if rgb:
            for c in range(3):
                row = bytearray(colour(x, y)[c] for x in range(width))
                line += row + bytes(bpl - width)
        elif planes == 1:
            row = bytearray(bpl)
            for x in range(width):
                v = indexes(x, y)
                bit = x * bpp
                row[bit // 8] |= v << (8 - bpp - bit % 8)
            line += row
        else:
            for p in range(planes):
                row = bytearray(bpl)
                for x in range(width):
                    if (indexes(x, y) >> p) & 1:
                        row[x // 8] |= 0x80 >> (x % 8)
                line += row
        lines.append(bytes(line))
    if encoding == 1:
        if whole_stream_rle:
            body = pcx_rle(b"".join(lines))  # runs cross line ends
        else:
            body = b"".join(pcx_rle(l) for l in lines)
    else:
        body = b"".join(lines)
    header = bytearray(128)
    header[0:4] = bytes([0x0A, version, encoding, bpp])
    struct.pack_into("<HHHHHH", header, 4, 0, 0, width - 1, height - 1, 72, 72)
    if palette16:
        for i, c in enumerate(palette16):
            header[16 + 3 * i:19 + 3 * i] = bytes(c)
    header[65] = 3 if rgb else planes
    struct.pack_into("<HH", header, 66, bpl, 1)
    data = bytes(header) + body
    if palette256 is not None:
        data += b"\x0C" + b"".join(bytes(c) for c in palette256)
    with open(path, "wb") as f:
        f.write(data)
    return data


def make_pcx(out):
    pal16 = QUAD + [(0, 0, 0)] * 12
    pcx(f"{out}/mono1.pcx", 1, 1, indexes=lambda x, y: 0 if x < 22 else 1,
        palette16=[(0, 0, 0), (255, 255, 255)])
    pcx(f"{out}/ega4planes.pcx", 1, 4, indexes=quadrant, palette16=pal16)
    pcx(f"{out}/packed4.pcx", 4, 1, indexes=quadrant, palette16=pal16)
    pcx(f"{out}/cga2.pcx", 2, 1, indexes=quadrant, palette16=pal16)
    # Version 3 files carry no palette: the standard 16 colours apply.
    pcx(f"{out}/packed4-v3.pcx", 4, 1, indexes=lambda x, y: [12, 10, 9, 14][quadrant(x, y)], version=3)
    pal256 = QUAD + [(i, i, i) for i in range(4, 256)]
    pcx(f"{out}/pal8.pcx", 8, 1, indexes=quadrant, palette256=pal256)
    pcx(f"{out}/pal8-raw.pcx", 8, 1, indexes=quadrant, palette256=pal256, encoding=0)
    pcx(f"{out}/grey8-nopal.pcx", 8, 1, indexes=grey)
    pcx(f"{out}/rgb24.pcx", 8, 3, rgb=True)
    data = pcx(f"{out}/rgb24-crossing.pcx", 8, 3, rgb=True, whole_stream_rle=True)
    with open(f"{out}/truncated.pcx", "wb") as f:
        f.write(data[: len(data) // 2])
    # A header that claims 40000 x 40000 pixels over a few bytes of data.
    huge = bytearray(data[:200])
    struct.pack_into("<HHHH", huge, 4, 0, 0, 39999, 39999)
    struct.pack_into("<H", huge, 66, 40000)
    with open(f"{out}/huge.pcx", "wb") as f:
        f.write(huge)


# ----------------------------------------------------------------- TGA

def tga_rle(pixels, bytes_per_pixel):
    """Run-length packets over the whole pixel stream (packets cross rows)."""
    out = bytearray()
    i = 0
    n = len(pixels)
    while i < n:
        run = 1
        while i + run < n and pixels[i + run] == pixels[i] and run < 128:
            run += 1
        if run > 1:
            out.append(0x80 | (run - 1))
            out += pixels[i]
            i += run
        else:
            raw = 1
            while i + raw < n and raw < 128 and (i + raw + 1 >= n or pixels[i + raw] != pixels[i + raw + 1]):
                raw += 1
            out.append(raw - 1)
            for p in pixels[i:i + raw]:
                out += p
            i += raw
    return bytes(out)


def tga(path, kind, depth, rle=False, top_down=False, footer=False, colour_map=None, map_bits=24,
        map_first=0, right_to_left=False, image_id=b""):
    pixels = []
    rows = range(H) if top_down else range(H - 1, -1, -1)
    for y in rows:
        cols = range(W - 1, -1, -1) if right_to_left else range(W)
        for x in cols:
            if kind == "mapped":
                idx = quadrant(x, y) + map_first
                pixels.append(struct.pack("<B" if depth == 8 else "<H", idx))
            elif kind == "grey":
                g = grey(x, y)
                pixels.append(bytes([g]) if depth == 8 else bytes([g, 255]))
            else:
                r, g, b = colour(x, y)
                if depth == 24:
                    pixels.append(bytes([b, g, r]))
                elif depth == 32:
                    pixels.append(bytes([b, g, r, 255]))
                else:
                    v = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)
                    pixels.append(struct.pack("<H", v))
    base = {"mapped": 1, "true": 2, "grey": 3}[kind]
    image_type = base + (8 if rle else 0)
    cmap = b""
    if colour_map:
        for (r, g, b) in colour_map:
            if map_bits == 24:
                cmap += bytes([b, g, r])
            elif map_bits == 32:
                cmap += bytes([b, g, r, 255])
            else:
                cmap += struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))
    descriptor = (0x20 if top_down else 0) | (0x10 if right_to_left else 0)
    if depth == 32 or (kind == "grey" and depth == 16):
        descriptor |= 8
    header = struct.pack("<BBBHHBHHHHBB", len(image_id), 1 if colour_map else 0, image_type,
                         map_first if colour_map else 0, len(colour_map) if colour_map else 0,
                         map_bits if colour_map else 0, 0, 0, W, H, depth, descriptor)
    body = tga_rle(pixels, len(pixels[0])) if rle else b"".join(pixels)
    data = header + image_id + cmap + body
    if footer:
        data += struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\x00"
    with open(path, "wb") as f:
        f.write(data)
    return data


def make_tga(out):
    tga(f"{out}/true24.tga", "true", 24)
    tga(f"{out}/true24-topdown-footer.tga", "true", 24, top_down=True, footer=True)
    tga(f"{out}/true32-rle.tga", "true", 32, rle=True, footer=True)
    tga(f"{out}/true16-rle-topdown.tga", "true", 16, rle=True, top_down=True)
    tga(f"{out}/true24-righttoleft.tga", "true", 24, right_to_left=True, image_id=b"Velmirano")
    tga(f"{out}/grey8.tga", "grey", 8)
    tga(f"{out}/grey8-rle.tga", "grey", 8, rle=True, top_down=True, footer=True)
    tga(f"{out}/mapped8.tga", "mapped", 8, colour_map=QUAD)
    tga(f"{out}/mapped8-rle-map16.tga", "mapped", 8, rle=True, colour_map=QUAD, map_bits=16)
    data = tga(f"{out}/mapped16-first.tga", "mapped", 16, colour_map=QUAD, map_first=3, map_bits=32)
    with open(f"{out}/truncated.tga", "wb") as f:
        f.write(data[: len(data) // 2])
    huge = bytearray(tga(f"{out}/huge.tga", "true", 24, rle=True)[:64])
    struct.pack_into("<HH", huge, 12, 40000, 40000)
    with open(f"{out}/huge.tga", "wb") as f:
        f.write(huge)


# ----------------------------------------------------------------- WMF

def wmf_record(function, *params):
    words = list(params)
    return struct.pack("<IH", 3 + len(words), function) + struct.pack(f"<{len(words)}h", *words)


def colorref(r, g, b):
    v = r | g << 8 | b << 16
    return [v & 0xFFFF, v >> 16]


def make_wmf(out):
    # 450 x 290 units at 960 units per inch: 45 x 29 pixels at 96 dpi.
    records = b"".join([
        wmf_record(0x020B, 0, 0),            # SetWindowOrg y, x
        wmf_record(0x020C, 290, 450),        # SetWindowExt height, width
        wmf_record(0x02FA, 5, 0, 0, 0, 0),   # CreatePenIndirect: no pen
        wmf_record(0x012D, 0),               # SelectObject 0
        wmf_record(0x02FC, 0, *colorref(255, 0, 0), 0),  # CreateBrushIndirect red
        wmf_record(0x012D, 1),
        wmf_record(0x041B, 290, 220, 0, 0),  # Rectangle bottom, right, top, left
        wmf_record(0x01F0, 1),               # DeleteObject
        wmf_record(0x02FC, 0, *colorref(0, 0, 255), 0),  # blue
        wmf_record(0x012D, 1),
        wmf_record(0x041B, 290, 450, 0, 230),
        wmf_record(0x0000),                  # end of file
    ])
    size_words = (18 + len(records)) // 2
    max_record = max(12, 7)
    standard = struct.pack("<HHHIHIH", 1, 9, 0x0300, size_words, 2, max_record, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 450, 290, 960, 0)
    checksum = 0
    for (w,) in struct.iter_unpack("<H", placeable[:20]):
        checksum ^= w
    placeable += struct.pack("<H", checksum)
    with open(f"{out}/halves.wmf", "wb") as f:
        f.write(placeable + standard + records)


# ----------------------------------------------------------------- huge headers

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def make_huge(out):
    # PNG: a valid signature and header chunk claiming 40000 x 40000, then
    # a little image data and the end chunk.
    ihdr = struct.pack(">IIBBBBB", 40000, 40000, 8, 2, 0, 0, 0)
    idat = zlib.compress(bytes(1000))
    with open(f"{out}/huge.png", "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat)
                + png_chunk(b"IEND", b""))
    # BMP: 24-bit, 40000 x 40000, 100 bytes of pixels.
    info = struct.pack("<IiiHHIIiiII", 40, 40000, 40000, 1, 24, 0, 0, 2835, 2835, 0, 0)
    pixels = bytes(100)
    with open(f"{out}/huge.bmp", "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 54) + info + pixels)
    # GIF: screen and image of 40000 x 40000, a tiny LZW stream.
    gif = (b"GIF89a" + struct.pack("<HHBBB", 40000, 40000, 0x80, 0, 0) + bytes(6)
           + b"\x2C" + struct.pack("<HHHHB", 0, 0, 40000, 40000, 0)
           + b"\x02\x02\x44\x01\x00\x3B")
    with open(f"{out}/huge.gif", "wb") as f:
        f.write(gif)


def make_huge_jpeg(out):
    # The JPEG made by ImageMagick, its frame header changed to 40000 x 40000.
    src = f"{out}/quadrants.jpg"
    if not os.path.exists(src):
        return
    data = bytearray(open(src, "rb").read())
    i = 2
    while i + 4 < len(data):
        marker, length = data[i + 1], struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            struct.pack_into(">HH", data, i + 5, 40000, 40000)
            break
        i += 2 + length
    with open(f"{out}/huge.jpg", "wb") as f:
        f.write(data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    make_pcx(out)
    make_tga(out)
    make_wmf(out)
    make_huge(out)
    make_huge_jpeg(out)


if __name__ == "__main__":
    main()
