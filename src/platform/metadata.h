// EXIF and IPTC metadata of picture files. Everything the metadata library
// throws stops here: a file that cannot be read, has no metadata or lacks
// the field simply yields nothing.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace vm {

struct ExifField {
    std::uint16_t tag = 0;
    QString group;    // "Image", "Photo", "GPSInfo", "Iop" or "Thumbnail"
    QString text;     // the value as text; numbers in decimal, separated by blanks
    QByteArray bytes; // the value's bytes as stored (byte values are kept as they are)
};

// The EXIF tag with this number. A number may occur in several groups; the
// picture's own directory wins over the Exif sub-directory, then GPS, the
// interoperability directory and the thumbnail.
std::optional<ExifField> ReadExifTag(const QString& path, std::uint32_t tag);

struct IptcDataSet {
    int record = 0;
    int dataSet = 0;
    QByteArray value; // as stored; repeated data sets are separate entries
};

// All IPTC data sets in file order; nothing when the file cannot be read or
// carries no IPTC block.
std::optional<std::vector<IptcDataSet>> ReadIptcDataSets(const QString& path);

// Text of a metadata string whose encoding is not declared: UTF-8 when it is
// valid UTF-8, otherwise Latin-1.
QString decodeMetadataText(const QByteArray& bytes);

} // namespace vm
