// File sources and the format readers of the image library. Every call
// hands its error number back with its result; nothing is kept between calls.
#pragma once

#include "platform/imagelib.h"
#include "platform/metadata.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

class QIODevice;

namespace vm {

struct SourceResult;

// An open picture file: its bytes (mapped where the system allows) and a
// device over them for the readers that want one.
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

// Opens a regular file for reading. A missing file, a folder, a device or a
// file without read permission fails with its error number.
SourceResult OpenFileSource(const QString& path);

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
