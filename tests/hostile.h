// Hostile picture files: the smallest file of each kind that once crashed,
// hung or bloated a reader, and the loading error it must end in. Read by
// test_loading and written into a show's folder by make_hostile.
#pragma once

#include "platform/imagelib.h"
#include "testutil.h"

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

inline QByteArray jpeg(const QImage& img, bool progressive = false, int quality = 75)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.setQuality(quality);
    writer.write(img);
    return out;
}
using ::solid;
inline QByteArray smallJpeg(bool progressive = false) { return jpeg(solid(16, 16, 0xFF3080C0), progressive); }

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
inline QByteArray png(unsigned w, unsigned h, int depth, const QByteArray& chunks)
{
    const QByteArray ihdr = be32(w) + be32(h) + char(depth) + char(2) + QByteArray(3, '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + chunks;
}

struct TiffEntry {
    unsigned tag, type;
    std::uint32_t count;
    QByteArray data; // inline when up to 4 bytes
};
// A little-endian RGB TIFF of one strip, whose pixels are the header's first
// bytes; entries beyond 4 bytes follow the directory.
inline QByteArray tiffRgb(unsigned w, unsigned h, unsigned bits, const QList<TiffEntry>& more = {})
{
    QList<TiffEntry> e{{256, 4, 1, le32(w)}, {257, 4, 1, le32(h)}, {258, 3, 3, le16(bits) + le16(bits) + le16(bits)},
                       {262, 3, 1, le16(2)}, {273, 4, 1, le32(8)},  {277, 3, 1, le16(3)},
                       {278, 4, 1, le32(h)}, {279, 4, 1, le32(3)}};
    e += more;
    std::sort(e.begin(), e.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
    const std::uint32_t ifdEnd = 8 + 2 + 12 * std::uint32_t(e.size()) + 4;
    QByteArray ifd = le16(unsigned(e.size())), tail;
    for (const TiffEntry& t : e) {
        ifd += le16(t.tag) + le16(t.type) + le32(t.count);
        if (t.data.size() <= 4) {
            ifd += t.data + QByteArray(4 - t.data.size(), '\0');
        } else {
            ifd += le32(ifdEnd + std::uint32_t(tail.size()));
            tail += t.data;
        }
    }
    return QByteArray("II*\0", 4) + le32(8) + ifd + le32(0) + tail;
}
inline TiffEntry tiffText(unsigned tag, int n) { return {tag, 2, std::uint32_t(n), QByteArray(n - 1, '6') + '\0'}; }

inline QByteArray bmp(std::int32_t w, std::int32_t h, int bits, int compression, const QByteArray& rest)
{
    const QByteArray body = le32(40) + le32(std::uint32_t(w)) + le32(std::uint32_t(h)) + le16(1) + le16(unsigned(bits)) +
                            le32(unsigned(compression)) + QByteArray(20, '\0') + rest;
    return QByteArray("BM") + le32(std::uint32_t(14 + body.size())) + le32(0) + le32(14 + 40) + body;
}

// A placeable metafile of w x h units at `inch` units per inch: its records
// and the end record.
inline QByteArray wmf(const QByteArray& records, std::uint32_t maxRecord, unsigned w = 100, unsigned h = 100,
                      unsigned inch = 1440)
{
    const QByteArray placeable = le32(0x9AC6CDD7) + le16(0) + le16(0) + le16(0) + le16(w) + le16(h) + le16(inch) + le32(0);
    unsigned sum = 0;
    for (int i = 0; i < 20; i += 2) sum ^= unsigned(std::uint8_t(placeable[i])) | unsigned(std::uint8_t(placeable[i + 1])) << 8;
    const QByteArray body = records + le32(3) + le16(0);
    return placeable + le16(sum) + le16(1) + le16(9) + le16(0x300) + le32(std::uint32_t(18 + body.size()) / 2) + le16(0) +
           le32(maxRecord) + le16(0) + body;
}

// A metafile that stretches one bitmap whose header is `headerSize` bytes
// long (40 is the only kind there is).
inline QByteArray wmfWithBitmap(std::uint32_t headerSize, std::uint32_t maxRecord = 0)
{
    const QByteArray dib = le32(headerSize) + le32(2) + le32(2) + le16(1) + le16(24) + QByteArray(24, '\0') +
                           QByteArray(16, '\x7F');
    const QByteArray params = le32(0x00CC0020) + le16(0) + le16(2) + le16(2) + le16(0) + le16(0) + le16(50) + le16(50) +
                              le16(0) + le16(0) + dib;
    const QByteArray record = le32(std::uint32_t(3 + params.size() / 2)) + le16(0x0F43) + params;
    return wmf(record, maxRecord ? maxRecord : std::uint32_t(record.size() / 2));
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

struct File {
    const char* name;
    const char* extension;
    QByteArray bytes;
    int error;
};

inline QList<File> files()
{
    using namespace vm;
    const QByteArray j = smallJpeg(), p = smallJpeg(true);
    const QByteArray comment("\xFF\xFE\x00\x02", 4), scan("\xFF\xDA\x00\x08\x01\x01\x00\x00\x00\x10", 10);
    return {
        // Camera raw under a picture's name never reaches a parser but ours.
        {"crw_nested_heaps", "JPG", crw(100000), kIsWrongFormat},
        // The decoder's marker list grows by walking it: quadratic in the count.
        {"jpeg_200000_comments", "JPG", j.left(2) + comment.repeated(200000) + j.mid(2), kIsTooManyParts},
        {"jpeg_4000_comments", "JPG", j.left(2) + comment.repeated(4000) + j.mid(2), kIsOk},
        {"jpeg_3000_scans", "JPG", p.chopped(2) + scan.repeated(3000) + p.right(2), kIsTooManyParts},
        {"jpeg_80_scans", "JPG", p.chopped(2) + scan.repeated(80) + p.right(2), kIsOk},
        // Coefficients of every block are kept whatever the output scale.
        {"progressive_cmyk_12000", "JPG", jpegFrame(12000, 12000, 4, true), kIsTooLarge},
        {"baseline_40000", "JPG", jpegFrame(40000, 40000, 3, false), kIsTooLarge},
        {"baseline_cmyk_12000", "JPG", jpegFrame(12000, 12000, 4, false), kIsCorrupt},
        {"png_text_of_2gb", "PNG", png(1, 1, 8, pngChunk("tEXt", "abc", 0x7FFFFFF0)), kIsTruncated},
        {"png_5000_texts", "PNG", png(1, 1, 8, pngChunk("tEXt", QByteArray("k\0v", 3)).repeated(5000)), kIsTooManyParts},
        {"png16_11000", "PNG", png(11000, 11000, 16, pngChunk("IEND", {})), kIsTooLarge},
        {"tiff16_11000", "TIF", tiffRgb(11000, 11000, 16), kIsTooLarge},
        {"bmp_rle_12000", "BMP", bmp(12000, 12000, 8, 1, QByteArray(8, '\0') + QByteArray("\0\x01", 2)), kIsTooLarge},
        {"gif_screen_12000", "GIF",
         "GIF89a" + le16(12000) + le16(12000) + QByteArray(3, '\0') + QByteArray(",\0\0\0\0", 5) + le16(1) + le16(1) +
             QByteArray("\0\x02\x02\x4C\x01\0;", 7),
         kIsTooLarge},
        // Found by fuzzing: decoders that allocate what no header said.
        {"gif_frame_beyond_empty_screen", "GIF",
         QByteArray::fromHex("4749463839610000ff21f90400002c000021000000463800ff21f9000400000000002c000000002d3b1d0000"
                             "0201000000464961492a43ff00"),
         kIsCorrupt},
        {"bmp_claiming_megabytes", "BMP",
         QByteArray::fromHex("424d00360000605f5f5f5f5ea0a010000000230d2a95010018000000001c009700d0d0"), kIsCorrupt},
        // Width times row bytes times height once left 64 bits.
        {"bmp_2g_by_minus_2g", "BMP", bmp(0x7FFFFFFF, std::int32_t(0x80000000u), 64, 0, QByteArray(64, '\0')), kIsCorrupt},
        {"tiff_named_jpg_2mb_orientation", "JPG", tiffRgb(1, 1, 8, {tiffText(274, 2'000'000)}), kIsWrongFormat},
        // Megabytes of text cost nothing; the stamp shows %e270.
        {"tiff_5mb_description", "TIF", tiffRgb(1, 1, 8, {tiffText(270, 5'000'000)}), kIsOk},
        // The metafile player loops forever on bitmap headers of other sizes.
        {"wmf_bitmap_header_16", "WMF", wmfWithBitmap(16), kIsCorrupt},
        {"wmf_record_of_2gb", "WMF", wmfWithBitmap(40, 0x40000000), kIsCorrupt},
        {"wmf_bitmap_header_40", "WMF", wmfWithBitmap(40), kIsOk},
    };
}

} // namespace hostile
