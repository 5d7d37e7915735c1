// Byte builders for hostile picture files: each makes the smallest file of
// one kind that once crashed, hung or bloated a reader.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QList>

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace hostile {

inline QByteArray bytes(std::initializer_list<int> b)
{
    QByteArray out;
    for (int v : b) out += char(v);
    return out;
}
inline QByteArray le16(unsigned v) { return bytes({int(v & 0xFF), int((v >> 8) & 0xFF)}); }
inline QByteArray le32(std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
inline QByteArray be16(unsigned v) { return bytes({int((v >> 8) & 0xFF), int(v & 0xFF)}); }
inline QByteArray be32(std::uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

// A small real JPEG, baseline or progressive.
inline QByteArray jpeg(bool progressive = false)
{
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(0xFF3080C0);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(img);
    return out;
}

// `n` empty comment segments right after the start marker.
inline QByteArray jpegWithComments(int n)
{
    const QByteArray j = jpeg();
    return j.left(2) + QByteArray("\xFF\xFE\x00\x02", 4).repeated(n) + j.mid(2);
}

// A progressive JPEG with `n` more (empty) refinement scans before its end.
inline QByteArray jpegWithScans(int n)
{
    const QByteArray j = jpeg(true);
    return j.chopped(2) + QByteArray("\xFF\xDA\x00\x08\x01\x01\x00\x00\x00\x10", 10).repeated(n) + j.right(2);
}

// A progressive JPEG frame of `components` full-resolution components and
// nothing to decode: what the decoder would allocate comes from this alone.
inline QByteArray jpegFrame(int w, int h, int components, bool progressive)
{
    QByteArray f = QByteArray("\xFF\xD8\xFF", 3) + char(progressive ? 0xC2 : 0xC0) + be16(8 + 3 * components) + char(8) +
                   be16(unsigned(h)) + be16(unsigned(w)) + char(components);
    for (int c = 1; c <= components; ++c) f += bytes({c, 0x11, 0});
    return f + QByteArray("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x00\xFF\xD9", 13);
}

inline QByteArray pngChunk(const char* type, const QByteArray& data, std::uint32_t claimed = 0xFFFFFFFF)
{
    return be32(claimed == 0xFFFFFFFF ? std::uint32_t(data.size()) : claimed) + type + data + be32(0);
}

// Signature and header; `rest` follows (chunks).
inline QByteArray png(unsigned w, unsigned h, int depth, int colour, const QByteArray& rest)
{
    const QByteArray ihdr = be32(w) + be32(h) + char(depth) + char(colour) + QByteArray(3, '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + rest;
}

struct TiffEntry {
    unsigned tag, type;
    std::uint32_t count;
    QByteArray data; // inline when up to 4 bytes
};

// A little-endian TIFF of one directory; data beyond 4 bytes follow it.
inline QByteArray tiff(const QList<TiffEntry>& entries)
{
    const std::uint32_t ifdEnd = 8 + 2 + 12 * std::uint32_t(entries.size()) + 4;
    QByteArray ifd = le16(unsigned(entries.size())), tail;
    for (const TiffEntry& e : entries) {
        ifd += le16(e.tag) + le16(e.type) + le32(e.count);
        if (e.data.size() <= 4) {
            ifd += e.data + QByteArray(4 - e.data.size(), '\0');
        } else {
            ifd += le32(ifdEnd + std::uint32_t(tail.size()));
            tail += e.data;
        }
    }
    return QByteArray("II*\0", 4) + le32(8) + ifd + le32(0) + tail;
}

// A w x h TIFF of `bits` per sample and three samples, with one strip.
inline QByteArray tiffRgb(unsigned w, unsigned h, unsigned bits, const QList<TiffEntry>& more = {})
{
    QList<TiffEntry> e{{256, 4, 1, le32(w)},
                       {257, 4, 1, le32(h)},
                       {258, 3, 3, le16(bits) + le16(bits) + le16(bits)},
                       {262, 3, 1, le16(2)},
                       {273, 4, 1, le32(8)},
                       {277, 3, 1, le16(3)},
                       {278, 4, 1, le32(h)},
                       {279, 4, 1, le32(1)}};
    e += more;
    std::sort(e.begin(), e.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
    return tiff(e);
}

// A text entry of `n` bytes.
inline TiffEntry tiffText(unsigned tag, int n) { return {tag, 2, std::uint32_t(n), QByteArray(n - 1, '6') + '\0'}; }

inline QByteArray bmp(std::int32_t w, std::int32_t h, int bits, int compression, const QByteArray& rest)
{
    const QByteArray info = le32(40) + le32(std::uint32_t(w)) + le32(std::uint32_t(h)) + le16(1) + le16(unsigned(bits)) +
                            le32(unsigned(compression)) + QByteArray(20, '\0');
    const QByteArray body = info + rest;
    return QByteArray("BM") + le32(std::uint32_t(14 + body.size())) + le32(0) + le32(14 + 40) + body;
}

// A GIF whose logical screen is w x h and whose only frame is one pixel.
inline QByteArray gifScreen(unsigned w, unsigned h)
{
    return QByteArray("GIF89a") + le16(w) + le16(h) + QByteArray(3, '\0') + QByteArray(",\0\0\0\0", 5) + le16(1) +
           le16(1) + QByteArray("\0\x02\x02\x4C\x01\0;", 7);
}

// A placeable metafile that stretches one bitmap whose header is
// `headerSize` bytes long (40 is the only kind there is).
inline QByteArray wmfWithBitmap(std::uint32_t headerSize)
{
    QByteArray placeable = le32(0x9AC6CDD7) + le16(0) + le16(0) + le16(0) + le16(100) + le16(100) + le16(1440) + le32(0);
    unsigned sum = 0;
    for (int i = 0; i < 20; i += 2) sum ^= unsigned(std::uint8_t(placeable[i])) | (unsigned(std::uint8_t(placeable[i + 1])) << 8);
    placeable += le16(sum);
    const QByteArray dib = le32(headerSize) + le32(2) + le32(2) + le16(1) + le16(24) + QByteArray(24, '\0') +
                           QByteArray(16, '\x7F');
    const QByteArray params = le32(0x00CC0020) + le16(0) + le16(2) + le16(2) + le16(0) + le16(0) + le16(50) + le16(50) +
                              le16(0) + le16(0) + dib;
    const QByteArray record = le32(std::uint32_t(3 + params.size() / 2)) + le16(0x0F43) + params;
    const QByteArray end = le32(3) + le16(0);
    const QByteArray body = record + end;
    const QByteArray header = le16(1) + le16(9) + le16(0x300) + le32(std::uint32_t((18 + body.size()) / 2)) + le16(0) +
                              le32(std::uint32_t(record.size() / 2)) + le16(0);
    return placeable + header + body;
}

// A Canon CRW whose heaps are nested `depth` deep.
inline QByteArray crw(int depth)
{
    QByteArray heap = le16(0) + le32(0); // an empty directory
    for (int i = 0; i < depth; ++i) {
        const std::uint32_t size = std::uint32_t(heap.size());
        heap += le16(1) + le16(0x300A) + le32(size) + le32(0) + le32(size);
    }
    return QByteArray("II") + le32(26) + "HEAPCCDR" + le32(0x00010002) + QByteArray(8, '\0') + heap;
}

} // namespace hostile
