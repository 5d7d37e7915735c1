// Readers of the formats phones and the web write: HEIC/HEIF and AVIF
// (libheif), WebP (libwebp) and JPEG XL (libjxl). Each reads the stored size
// first and decodes nothing that the limits below or the memory budget
// refuse; each hands back the picture's EXIF block for the metadata wrapper.
#pragma once

#include "platform/imagelib.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <cstdint>
#include <span>

namespace vm {

// Limits against files made to exhaust a decoder. Phones write one picture
// of a few dozen tiles (an iPhone: 48 tiles of 512x512) and a handful of
// items besides (thumbnail, EXIF, depth map).
constexpr int kMaxHeifItems = 2048;
constexpr int kMaxHeifTiles = 1024;
// The largest picture one HEVC or AV1 stream codes at its highest level;
// only a grid of such pictures is larger.
constexpr long long kMaxCodedPixels = 35'651'584;
// An EXIF block is a line of text for the stamp, not megabytes.
constexpr std::size_t kMaxExifBlockBytes = 4u << 20;
// Animated WebP: only the first frame is shown; a file of more frames than
// this is refused before any is decoded.
constexpr int kMaxAnimationFrames = 1000;

struct PhoneRead {
    RgbImage image; // empty on failure
    int error = kIsOk;
    QSize stored; // the size as stored, after the format's own turning
    // The EXIF block from its TIFF header on; empty when there is none.
    QByteArray exif;
    // The format turned the picture itself (HEIF's irot or imir on the
    // primary picture; JPEG XL always, its orientation is the codestream's):
    // an EXIF orientation then only repeats that and must not turn again.
    bool turnedByFormat = false;
};

// `budget`: the bytes the decode may take, its working memory and the RGB
// result together (DecodeBudgetBytes()).
PhoneRead ReadHEIF(std::span<const std::uint8_t> bytes, std::uint64_t budget);

// The stored size of a WebP, or an invalid size.
QSize ReadWebPSize(std::span<const std::uint8_t> bytes);
// `reduction` 0..3 decodes at 1/2^reduction of the stored size (rounded up),
// which libwebp's scaler does while decoding.
PhoneRead ReadWebP(std::span<const std::uint8_t> bytes, std::uint64_t budget, int reduction = 0);

PhoneRead ReadJXL(std::span<const std::uint8_t> bytes, std::uint64_t budget);

// What a HEIF file's boxes declare before libheif reads them: the number of
// items and of tiles the primary picture is made of. kIsOk, or the error.
struct HeifCensus {
    int error = kIsOk;
    int items = 0;
    int tiles = 0;
    // The primary picture carries a turn or a mirroring of its own.
    bool transformed = false;
};
HeifCensus CountHeifItems(std::span<const std::uint8_t> bytes);

} // namespace vm

namespace vm {

// The reader of a phone or web format by the extension LoadPicture is given
// ("HEIC", "HEIF", "AVIF", "WEBP" or "JXL"); None for every other.
enum class PhoneFormat { None, Heif, WebP, Jxl };
PhoneFormat PhoneFormatOf(const QString& extension);

// Reads a picture of `format`; `fit`, when given, the size it will be
// fitted into (WebP decodes reduced for it).
PhoneRead ReadPhonePicture(PhoneFormat format, std::span<const std::uint8_t> bytes, std::uint64_t budget,
                           QSize fit = QSize());

// Makes the readers above available. The decoder finds them in a module
// beside it and loads it on demand, which must happen before its lock-down;
// everything else links them. False when they cannot be had.
bool PreparePhoneReaders();

} // namespace vm
