// What the show and its decoder process hand each other: the request, the
// answer, the metadata record, the error numbers of a failed decode and the
// fit both sides compute alike. The show includes nothing else of imaging/:
// the readers live only in the decoder.
#pragma once

#include "platform/imagelib.h"
#include "platform/sandbox.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>
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


// Text of a metadata string whose encoding is not declared: UTF-8 when it is
// valid UTF-8, otherwise Latin-1.
QString decodeMetadataText(const QByteArray& bytes);

struct DecodeRequest {
    // The show opens the file and hands it over; the path never crosses.
    QString path;
    QString extension; // as LoadPicture takes it
    bool exifRotate = false;
    // The surface the picture is fitted to; without one the picture comes
    // as stored, decoded in full.
    bool fitted = false;
    double surfaceW = 0;
    double surfaceH = 0;
    bool expand = false;
    bool metadata = false; // read the EXIF and IPTC data too
    // The file as it was when asked for: a file changed since is decoded anew.
    qint64 fileSize = -1;
    qint64 fileModifiedMs = 0;

    bool operator==(const DecodeRequest&) const = default;
};

struct DecodedPicture {
    QString loadError; // LoadPicture's message; nothing else is set then
    QSize stored;      // the size as stored, turned upright
    QString fitError;  // the fitting's message; the picture is then empty
    RgbImage picture;  // fitted to the surface
    PictureMetadata metadata;
    // What the decoder's lock-down gave; nothing when it did not say.
    std::optional<SandboxReport> confinement;
};

// The bytes that cross the boundary. Metadata is capped on the way: a value
// at 64 KB, a picture's metadata at 1 MB (the smallest values are kept).
// Parsing accepts nothing longer than the request allows.
QByteArray EncodeRequest(const DecodeRequest& request);
std::optional<DecodeRequest> ParseRequest(const QByteArray& bytes);
QByteArray EncodeDecoded(const DecodedPicture& decoded);
std::optional<DecodedPicture> ParseDecoded(QByteArrayView bytes, const DecodeRequest& request);

// An answer in three pieces, so that the pixels go out from where they are.
struct EncodedAnswer {
    QByteArray head;
    QByteArrayView pixels; // into the DecodedPicture encoded
    QByteArray tail;
};
EncodedAnswer EncodeDecodedParts(const DecodedPicture& decoded);

// The most an answer to `request` may hold: its picture's bytes, and the
// whole answer.
qint64 MaxAnswerPictureBytes(const DecodeRequest& request);
qint64 MaxAnswerBytes(const DecodeRequest& request);

// Failures of the decoder process rather than of the file, with numbers of
// their own so that the error log tells a slow folder or a broken decoder
// from a damaged picture.
constexpr int kDecoderTimedOut = 90;
constexpr int kDecoderCrashed = 91;

// The largest request a decoder reads.
constexpr qsizetype kMaxRequestBytes = 256 * 1024;

// The size a picture of `stored` size gets on a W x H surface: shrunk until
// it fits when it is larger in either direction, enlarged until it touches
// two edges when `expand` allows it; nothing when it keeps its size.
struct FittedSize {
    QSize size;
    bool shrink = false;
};
std::optional<FittedSize> FitSize(QSize stored, double W, double H, bool expand);

// The extension as the show step hands it to LoadPicture: the last three
// characters of the path in upper case, or for HEIC, HEIF, AVIF, WebP and
// JPEG XL the whole extension in upper case.
QString PictureExtension(const QString& path);

} // namespace vm
