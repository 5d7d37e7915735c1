// File sources and the format readers of the image library. Every call
// hands its error number back with its result; nothing is kept between calls.
#pragma once

#include "platform/imagelib.h"
#include "imaging/metadata.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

class QIODevice;

namespace vm {

struct SourceResult;

// An open picture file: its bytes, read into memory once (never mapped: a
// file that another program truncates meanwhile must not take the show
// down), and a device over them for the readers that want one.
class FileSource {
public:
    ~FileSource();
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    const QString& path() const { return path_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    // A device over bytes(), positioned at the start.
    QIODevice& device();
    // Back to the start of the file.
    void Seek();

    struct Impl;

private:
    friend SourceResult OpenFileSource(const QString& path);
    explicit FileSource(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    QString path_;
    std::span<const std::uint8_t> bytes_;
};

struct SourceResult {
    std::unique_ptr<FileSource> source; // null on failure
    int error = kIsOk;
};

// Largest file a source reads: admits an uncompressed 100-megapixel TIFF.
constexpr long long kMaxFileBytes = 512LL << 20;

// Opens a regular file for reading, however long its path (see paths.h for
// names that are not UTF-8). A missing file, a folder, a device, a file
// without read permission or one larger than kMaxFileBytes fails with its
// error number. A file that shrinks while it is read keeps what was read.
SourceResult OpenFileSource(const QString& path);

// Limits against files made to exhaust a reader. Real pictures stay far
// below them: a JPEG has a few dozen segments (an ICC profile split over 255
// at most) and ten or so scans; a PNG's chunks besides its image data are a
// handful.
constexpr int kMaxJpegSegments = 4096;
constexpr int kMaxJpegScans = 100;
constexpr int kMaxPngChunks = 4096; // not counting image data chunks

// Memory one decode may take, its working buffers and the RGB result
// together: 1 GiB, which admits a 100-megapixel photograph (a JPEG is decoded
// reduced instead where it would need more), or half the address space the
// process is limited to when that is less. VELMIRANO_DECODE_BUDGET_MB lowers
// it (the fuzzers use that).
std::uint64_t DecodeBudgetBytes();

// What a reader decided from the file's header before any decoder
// allocated: the error it would end with (kIsOk to go on), the stored size,
// the reduction it would decode at, and the bytes the decode would allocate
// at most. `format` is "jpeg", "png", "tiff", "bmp" or "gif".
struct DecodePlan {
    int error = kIsOk;
    QSize stored;
    int reduction = 0;
    std::uint64_t bytes = 0;
};
DecodePlan PlanDecode(FileSource& source, const char* format, int reduction = 0);

struct ReadResult {
    RgbImage image; // empty on failure
    int error = kIsOk;
    QSize storedSize; // size stored in the file (before any reduced decoding)
};

// The size in the JPEG header, or an invalid size.
QSize ReadJPGSize(FileSource& source);

// `reduction` 0..3 decodes at 1/2^reduction of the stored size (rounded up),
// which the JPEG decoder does much faster than a full decode.
ReadResult ReadJPG(FileSource& source, int reduction = 0);
ReadResult ReadBMP(FileSource& source);
ReadResult ReadPNG(FileSource& source);
ReadResult ReadTIFF(FileSource& source);
ReadResult ReadPCX(FileSource& source);
ReadResult ReadTGA(FileSource& source);

struct EightBitResult {
    EightBitImage image;
    int error = kIsOk;
};
// The first picture of a GIF as palette indexes and its palette.
EightBitResult ReadGIF(FileSource& source);

// Plays a Windows metafile at its natural size (96 dpi; at most 16
// megapixels, scaled down to fit) onto white.
ReadResult ReadMetafile(const QString& path);

// The EXIF and IPTC data of an open source; nothing when exiv2 cannot read it.
std::optional<PictureMetadata> ReadMetadata(FileSource& source);

} // namespace vm
