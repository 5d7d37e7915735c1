// EXIF and IPTC metadata of a picture, read once from its bytes through
// exiv2. Everything exiv2 throws stops in this module: callers see results.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vm {

struct ExifField {
    std::uint16_t tag = 0;
    QString group;    // "Image", "Photo", "GPSInfo", "Iop" or "Thumbnail"
    QString text;     // the value as text; numbers in decimal, separated by blanks
    QByteArray bytes; // the value's bytes as stored (byte values are kept as they are)
};

struct IptcDataSet {
    int record = 0;
    int dataSet = 0;
    QByteArray value; // as stored
};

// What the program uses of a picture's metadata.
struct PictureMetadata {
    // One field per tag number: where a number occurs in several
    // directories, the picture's own directory wins over the Exif
    // sub-directory, then GPS, the interoperability directory and the
    // thumbnail's.
    std::vector<ExifField> exif;
    // In file order; repeated data sets are separate entries.
    std::vector<IptcDataSet> iptc;

    const ExifField* exifTag(std::uint32_t tag) const;
};

// Bounds on what a picture's metadata may cost: a stamp shows a line, not
// megabytes. Values stored longer than kMaxMetadataBytes are left out, texts
// are cut to kMaxMetadataText characters, IPTC data sets after the
// kMaxIptcDataSets-th are ignored (EXIF fields are one per tag number).
constexpr long kMaxMetadataBytes = 64 * 1024;
constexpr qsizetype kMaxMetadataText = 2000;
constexpr std::size_t kMaxIptcDataSets = 1000;

// The metadata of a picture file held in memory: JPEG, TIFF and PNG, known
// by their signature; nothing for other bytes or when exiv2 cannot read them.
std::optional<PictureMetadata> ReadPictureMetadata(std::span<const std::uint8_t> bytes);

// Text of a metadata string whose encoding is not declared: UTF-8 when it is
// valid UTF-8, otherwise Latin-1.
QString decodeMetadataText(const QByteArray& bytes);

} // namespace vm
