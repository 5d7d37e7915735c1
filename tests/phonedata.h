// Pictures of the phone and web formats made by our own code through the
// encoders of libheif and libwebp: HEIC with a turn of its own and EXIF as a
// phone writes them, WebP with an EXIF chunk, and the hostile kinds of each.
// Read by test_phoneformats and make_hostile.
#pragma once

#include "hostile.h"

#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <QByteArray>
#include <QImage>
#include <QList>

#include <cstring>
#include <vector>

namespace phone {

using hostile::be16;
using hostile::be32;
using hostile::le32;
using ::quadrants;

// A big-endian EXIF block (from its TIFF header on) with an orientation in
// the picture's directory and the date taken in the Exif directory.
inline QByteArray exif(int orientation, const QByteArray& dateTaken)
{
    const QByteArray date = dateTaken.left(19) + QByteArray(20 - std::min<qsizetype>(dateTaken.size(), 19), '\0');
    QByteArray t = QByteArray("MM\0*", 4) + be32(8);
    // IFD0: orientation, pointer to the Exif IFD
    t += be16(2);
    t += be16(274) + be16(3) + be32(1) + be16(unsigned(orientation)) + be16(0);
    t += be16(0x8769) + be16(4) + be32(1) + be32(8 + 2 + 2 * 12 + 4);
    t += be32(0);
    // Exif IFD: DateTimeOriginal (20 ASCII bytes, after the directory)
    const std::uint32_t exifIfd = std::uint32_t(t.size());
    t += be16(1);
    t += be16(36867) + be16(2) + be32(20) + be32(exifIfd + 2 + 12 + 4);
    t += be32(0);
    return t + date;
}

inline heif_error writeTo(heif_context*, const void* data, size_t size, void* out)
{
    static_cast<QByteArray*>(out)->append(static_cast<const char*>(data), qsizetype(size));
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// `img` stored as it is, with `orientation` (EXIF numbering) written as the
// file's own irot/imir; `exifBlock` added when not empty. AV1 when `avif`.
inline QByteArray heif(const QImage& img, int orientation = 1, const QByteArray& exifBlock = {}, bool avif = false,
                       int quality = 90)
{
    const QImage rgb = img.convertToFormat(QImage::Format_RGB888);
    QByteArray out;
    heif_context* ctx = heif_context_alloc();
    heif_image* image = nullptr;
    heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + std::size_t(y) * std::size_t(stride), rgb.constScanLine(y), std::size_t(rgb.width()) * 3);
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(ctx, avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder);
    if (encoder) {
        heif_encoder_set_lossy_quality(encoder, quality);
        heif_encoding_options* options = heif_encoding_options_alloc();
        options->image_orientation = heif_orientation(orientation);
        heif_image_handle* handle = nullptr;
        if (heif_context_encode_image(ctx, image, encoder, options, &handle).code == heif_error_Ok) {
            if (!exifBlock.isEmpty())
                heif_context_add_exif_metadata(ctx, handle, exifBlock.constData(), int(exifBlock.size()));
            heif_writer writer{1, writeTo};
            heif_context_write(ctx, &writer, &out);
        }
        heif_image_handle_release(handle);
        heif_encoding_options_free(options);
        heif_encoder_release(encoder);
    }
    heif_image_release(image);
    heif_context_free(ctx);
    return out;
}

inline QByteArray riffChunk(const char* type, const QByteArray& body)
{
    return QByteArray(type, 4) + le32(std::uint32_t(body.size())) + body + (body.size() % 2 ? QByteArray(1, '\0') : QByteArray());
}
inline QByteArray riff(const QByteArray& chunks) { return "RIFF" + le32(std::uint32_t(4 + chunks.size())) + "WEBP" + chunks; }
inline QByteArray le24(std::uint32_t v) { return le32(v).left(3); }

// The bitstream chunk of a lossless WebP of `img` (VP8L and its payload).
inline QByteArray webpBitstream(const QImage& img)
{
    const QImage rgb = img.convertToFormat(QImage::Format_RGB888);
    uint8_t* encoded = nullptr;
    const size_t n = WebPEncodeLosslessRGB(rgb.constBits(), rgb.width(), rgb.height(), int(rgb.bytesPerLine()), &encoded);
    const QByteArray file(reinterpret_cast<const char*>(encoded), qsizetype(n));
    WebPFree(encoded);
    return file.mid(12); // after RIFF, size and WEBP
}

// An extended WebP of `img` with an EXIF chunk.
inline QByteArray webp(const QImage& img, const QByteArray& exifBlock = {})
{
    if (exifBlock.isEmpty()) return riff(webpBitstream(img));
    const QByteArray vp8x = QByteArray(1, char(0x08)) + QByteArray(3, '\0') + le24(std::uint32_t(img.width() - 1)) +
                            le24(std::uint32_t(img.height() - 1));
    return riff(riffChunk("VP8X", vp8x) + webpBitstream(img) + riffChunk("EXIF", exifBlock));
}

// An animated WebP of `frames` frames of one small picture each.
inline QByteArray webpAnimation(int frames)
{
    const QByteArray frame = webpBitstream(hostile::solid(4, 4, 0xFF20A040));
    const QByteArray vp8x = QByteArray(1, char(0x02)) + QByteArray(3, '\0') + le24(3) + le24(3);
    QByteArray chunks = riffChunk("VP8X", vp8x) + riffChunk("ANIM", le32(0) + QByteArray(2, '\0'));
    const QByteArray anmf = riffChunk("ANMF", le24(0) + le24(0) + le24(3) + le24(3) + le24(100) + QByteArray(1, '\0') + frame);
    chunks.reserve(chunks.size() + anmf.size() * frames);
    for (int i = 0; i < frames; ++i) chunks += anmf;
    return riff(chunks);
}

// `file` with the size of every ispe property (the stored sizes) replaced.
inline QByteArray withIspe(QByteArray file, std::uint32_t w, std::uint32_t h)
{
    for (qsizetype at = file.indexOf("ispe"); at >= 0; at = file.indexOf("ispe", at + 4))
        if (at + 16 <= file.size()) file.replace(at + 8, 8, be32(w) + be32(h));
    return file;
}

inline QByteArray box(const char* type, const QByteArray& body) { return be32(std::uint32_t(8 + body.size())) + type + body; }
inline QByteArray fullBox(const char* type, int version, const QByteArray& body)
{
    return box(type, QByteArray(1, char(version)) + QByteArray(3, '\0') + body);
}

// A HEIF whose primary picture is a grid of `tiles` tiles, with nothing
// to decode: the boxes alone.
inline QByteArray heifGrid(int tiles)
{
    QByteArray infe;
    for (int i = 1; i <= tiles + 1; ++i)
        infe += fullBox("infe", 2, be16(unsigned(i)) + be16(0) + (i == 1 ? "grid" : "hvc1") + QByteArray(1, '\0'));
    QByteArray refs = be16(1) + be16(unsigned(tiles));
    for (int i = 2; i <= tiles + 1; ++i) refs += be16(unsigned(i));
    const QByteArray meta = fullBox("meta", 0,
                                    fullBox("hdlr", 0, be32(0) + "pict" + QByteArray(13, '\0')) + fullBox("pitm", 0, be16(1)) +
                                        fullBox("iinf", 0, be16(unsigned(tiles + 1)) + infe) +
                                        fullBox("iref", 0, box("dimg", refs)));
    return box("ftyp", QByteArray("heic") + be32(0) + "mif1heic") + meta;
}

// A JPEG XL codestream declaring `side` x `side` pixels, and nothing more.
inline QByteArray jxlSized(std::uint32_t side)
{
    // Bits are written from the lowest up.
    QByteArray out = QByteArray("\xFF\x0A", 2);
    std::vector<bool> bits;
    const auto put = [&](std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) bits.push_back((v >> i) & 1);
    };
    put(0, 1);                    // not small
    put(3, 2), put(side - 1, 30); // height: 1 + 30 bits
    put(0, 3);                    // no ratio: the width follows
    put(3, 2), put(side - 1, 30); // width
    put(1, 1);                    // image metadata: all default
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        int byte = 0;
        for (std::size_t b = 0; b < 8 && i + b < bits.size(); ++b) byte |= int(bits[i + b]) << b;
        out += char(byte);
    }
    return out + QByteArray(16, '\0');
}

// A JPEG XL container of a 32x24 gradient (cjxl, lossless).
inline QByteArray smallJxl()
{
    return QByteArray::fromHex(
        "0000000c4a584c200d0a870a00000014667479706a786c20000000006a786c20000000096a786c6c0a000000c06a786c63ff0ac5f003"
        "50b9b78a2008020100a0024b120912183804c1240505ca36c689310ef635c689c1f8188c8f317e0ca675230018400c30001097824a00"
        "42feff1329a490ffff440a29e4ff3f91420af9ff4fa490440af9fb2f249142befe0b49a490a1ff421229e4ffbf90440af9fb2f249142"
        "0af9fb4fa49042fefe13292491ffff420a49e4efbf90421219fc2fa490440a19b4726f510d0fb96331883a579a44137bacd7a46c8a7a"
        "9e9778061771001241b8b8c0b6f581cf00");
}


// The hostile kinds of the phone formats and the loading error each ends in.
inline QList<hostile::File> files()
{
    using namespace vm;
    const QByteArray heic = heif(quadrants(64, 48)), avif = heif(quadrants(64, 48), 1, {}, true);
    const QByteArray webpFile = webp(quadrants(64, 48)), jxl = smallJxl();
    return {
        {"heic_100000x100000", "HEIC", withIspe(heic, 100000, 100000), kIsTooLarge},
        {"heic_grid_5000_tiles", "HEIC", heifGrid(5000), kIsTooManyParts},
        {"webp_10000_frames", "WEBP", webpAnimation(10000), kIsTooManyParts},
        {"avif_1000000x1000000", "AVIF", withIspe(avif, 1000000, 1000000), kIsTooLarge},
        {"jxl_2g_by_2g", "JXL", jxlSized(1u << 30), kIsTooLarge},
        {"heic_truncated", "HEIC", heic.left(heic.size() / 2), kIsTruncated},
        {"avif_truncated", "AVIF", avif.left(avif.size() / 2), kIsTruncated},
        {"webp_truncated", "WEBP", webpFile.left(webpFile.size() / 2), kIsTruncated},
        {"jxl_truncated", "JXL", jxl.left(jxl.size() / 2), kIsCorrupt},
        {"heic_fine", "HEIC", heic, kIsOk},
        {"webp_animation_of_3", "WEBP", webpAnimation(3), kIsOk},
    };
}

} // namespace phone
