#!/usr/bin/env python3
"""Writes the PCX, TGA and WMF test pictures and the damaged files that no
ready-made tool writes: every depth and layout the readers handle, and
PCX and TGA headers that claim 40000 x 40000 pixels (the other formats'
kinds are made by tests/hostile.h). The standard picture is 45 x 29
pixels in four quadrants (x < 22, y < 14): red, green / blue, yellow.
Monochrome ones are black left, white right; grey ones have the levels
0, 85 (top) and 170, 255 (bottom)."""
import os
import struct
import sys

W, H = 45, 29
QUAD = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)]


def quadrant(x, y):
    return (0 if x < 22 else 1) + (0 if y < 14 else 2)


def grey(x, y):
    return [0, 85, 170, 255][quadrant(x, y)]


def save(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return data


def pcx_rle(data):
    out, i = bytearray(), 0
    while i < len(data):
        v, n = data[i], 1
        while i + n < len(data) and data[i + n] == v and n < 63:
            n += 1
        out += bytes([0xC0 | n, v]) if n > 1 or v >= 0xC0 else bytes([v])
        i += n
    return bytes(out)


def pcx(path, bpp, planes, indexes=None, rgb=False, palette16=None, palette256=None, encoding=1, version=5,
        whole_stream_rle=False):
    bpl = (W * bpp + 7) // 8
    bpl += bpl % 2
    lines = []
    for y in range(H):
        line = bytearray()
        if rgb:
            for c in range(3):
                line += bytearray(QUAD[quadrant(x, y)][c] for x in range(W)) + bytes(bpl - W)
        elif planes == 1:
            row = bytearray(bpl)
            for x in range(W):
                row[x * bpp // 8] |= indexes(x, y) << (8 - bpp - x * bpp % 8)
            line += row
        else:
            for p in range(planes):
                row = bytearray(bpl)
                for x in range(W):
                    if (indexes(x, y) >> p) & 1:
                        row[x // 8] |= 0x80 >> (x % 8)
                line += row
        lines.append(bytes(line))
    if encoding != 1:
        body = b"".join(lines)
    else:  # runs cross line ends in a whole-stream file
        body = pcx_rle(b"".join(lines)) if whole_stream_rle else b"".join(pcx_rle(l) for l in lines)
    header = bytearray(128)
    header[0:4] = bytes([0x0A, version, encoding, bpp])
    struct.pack_into("<HHHHHH", header, 4, 0, 0, W - 1, H - 1, 72, 72)
    for i, c in enumerate(palette16 or []):
        header[16 + 3 * i:19 + 3 * i] = bytes(c)
    header[65] = 3 if rgb else planes
    struct.pack_into("<HH", header, 66, bpl, 1)
    tail = b"\x0C" + b"".join(bytes(c) for c in palette256) if palette256 is not None else b""
    return save(path, bytes(header) + body + tail)


def make_pcx(out):
    pal16 = QUAD + [(0, 0, 0)] * 12
    pcx(f"{out}/mono1.pcx", 1, 1, indexes=lambda x, y: 0 if x < 22 else 1, palette16=[(0, 0, 0), (255, 255, 255)])
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
    save(f"{out}/truncated.pcx", data[: len(data) // 2])
    huge = bytearray(data[:200])  # claims 40000 x 40000 over a few bytes
    struct.pack_into("<HHHH", huge, 4, 0, 0, 39999, 39999)
    struct.pack_into("<H", huge, 66, 40000)
    save(f"{out}/huge.pcx", huge)


def tga_rle(pixels):
    """Run-length packets over the whole pixel stream (packets cross rows)."""
    out, i, n = bytearray(), 0, len(pixels)
    while i < n:
        run = 1
        while i + run < n and pixels[i + run] == pixels[i] and run < 128:
            run += 1
        if run > 1:
            out += bytes([0x80 | (run - 1)]) + pixels[i]
            i += run
            continue
        while i + run < n and run < 128 and (i + run + 1 >= n or pixels[i + run] != pixels[i + run + 1]):
            run += 1
        out += bytes([run - 1]) + b"".join(pixels[i:i + run])
        i += run
    return bytes(out)


def rgb16(r, g, b):
    return struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))


def tga(path, kind, depth, rle=False, top_down=False, footer=False, cmap=None, map_bits=24, map_first=0,
        right_to_left=False, image_id=b""):
    pixels = []
    for y in range(H) if top_down else range(H - 1, -1, -1):
        for x in range(W - 1, -1, -1) if right_to_left else range(W):
            r, g, b = QUAD[quadrant(x, y)]
            if kind == "mapped":
                pixels.append(struct.pack("<B" if depth == 8 else "<H", quadrant(x, y) + map_first))
            elif kind == "grey":
                pixels.append(bytes([grey(x, y)]))
            else:
                pixels.append({24: bytes([b, g, r]), 32: bytes([b, g, r, 255]), 16: rgb16(r, g, b)}[depth])
    colours = b"".join({24: bytes([b, g, r]), 32: bytes([b, g, r, 255]), 16: rgb16(r, g, b)}[map_bits]
                       for (r, g, b) in cmap or [])
    descriptor = (0x20 if top_down else 0) | (0x10 if right_to_left else 0) | (8 if depth == 32 else 0)
    header = struct.pack("<BBBHHBHHHHBB", len(image_id), 1 if cmap else 0,
                         {"mapped": 1, "true": 2, "grey": 3}[kind] + (8 if rle else 0), map_first if cmap else 0,
                         len(cmap or []), map_bits if cmap else 0, 0, 0, W, H, depth, descriptor)
    data = header + image_id + colours + (tga_rle(pixels) if rle else b"".join(pixels))
    return save(path, data + (struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\x00" if footer else b""))


def make_tga(out):
    tga(f"{out}/true24.tga", "true", 24)
    tga(f"{out}/true24-topdown-footer.tga", "true", 24, top_down=True, footer=True)
    tga(f"{out}/true32-rle.tga", "true", 32, rle=True, footer=True)
    tga(f"{out}/true16-rle-topdown.tga", "true", 16, rle=True, top_down=True)
    tga(f"{out}/true24-righttoleft.tga", "true", 24, right_to_left=True, image_id=b"Velmirano")
    tga(f"{out}/grey8.tga", "grey", 8)
    tga(f"{out}/grey8-rle.tga", "grey", 8, rle=True, top_down=True, footer=True)
    tga(f"{out}/mapped8.tga", "mapped", 8, cmap=QUAD)
    tga(f"{out}/mapped8-rle-map16.tga", "mapped", 8, rle=True, cmap=QUAD, map_bits=16)
    data = tga(f"{out}/mapped16-first.tga", "mapped", 16, cmap=QUAD, map_first=3, map_bits=32)
    save(f"{out}/truncated.tga", data[: len(data) // 2])
    huge = bytearray(tga(f"{out}/huge.tga", "true", 24, rle=True)[:64])
    struct.pack_into("<HH", huge, 12, 40000, 40000)
    save(f"{out}/huge.tga", huge)


def wmf_record(function, *words):
    return struct.pack("<IH", 3 + len(words), function) + struct.pack(f"<{len(words)}h", *words)


def make_wmf(out):
    # 450 x 290 units at 960 units per inch: 45 x 29 pixels at 96 dpi; red
    # left, blue right.
    records = b"".join([
        wmf_record(0x020B, 0, 0), wmf_record(0x020C, 290, 450),  # window origin and extent
        wmf_record(0x02FA, 5, 0, 0, 0, 0), wmf_record(0x012D, 0),  # no pen
        wmf_record(0x02FC, 0, 0xFF, 0, 0), wmf_record(0x012D, 1),  # red brush
        wmf_record(0x041B, 290, 220, 0, 0), wmf_record(0x01F0, 1),  # rectangle, delete the brush
        wmf_record(0x02FC, 0, 0, 0xFF, 0), wmf_record(0x012D, 1),  # blue brush
        wmf_record(0x041B, 290, 450, 0, 230), wmf_record(0x0000)])
    standard = struct.pack("<HHHIHIH", 1, 9, 0x0300, (18 + len(records)) // 2, 2, 12, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 450, 290, 960, 0)
    checksum = 0
    for (w,) in struct.iter_unpack("<H", placeable):
        checksum ^= w
    save(f"{out}/halves.wmf", placeable + struct.pack("<H", checksum) + standard + records)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    make_pcx(out)
    make_tga(out)
    make_wmf(out)
