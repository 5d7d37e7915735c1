#include "platform/metadata.h"

#include <QStringDecoder>

// exiv2 0.27 still hands images around in std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <array>
#include <climits>
#include <cstring>
#include <map>
#include <memory>

namespace vm {

namespace {

int groupRank(const std::string& group)
{
    static constexpr std::array<const char*, 5> kGroups = {"Image", "Photo", "GPSInfo", "Iop", "Thumbnail"};
    for (std::size_t i = 0; i < kGroups.size(); ++i)
        if (group == kGroups[i]) return int(i);
    return -1;
}

QString valueText(const Exiv2::Exifdatum& datum)
{
    if (datum.typeId() == Exiv2::comment) {
        const auto* comment = dynamic_cast<const Exiv2::CommentValue*>(&datum.value());
        if (comment) return decodeMetadataText(QByteArray::fromStdString(comment->comment()));
    }
    return decodeMetadataText(QByteArray::fromStdString(datum.toString()));
}

ExifField fieldOf(const Exiv2::Exifdatum& datum)
{
    ExifField field;
    field.tag = datum.tag();
    field.group = QString::fromStdString(datum.groupName());
    field.text = valueText(datum).left(kMaxMetadataText);
    const long size = datum.size();
    if (size > 0) {
        field.bytes.resize(size);
        datum.copy(reinterpret_cast<Exiv2::byte*>(field.bytes.data()), Exiv2::littleEndian);
    }
    return field;
}

enum class Carrier { None, Jpeg, Tiff, Png };

// Which of the formats that carry EXIF or IPTC data the bytes are, by their
// signature; other files never reach exiv2, whatever their name (exiv2
// knows raw camera formats whose parsers a crafted file can exhaust).
Carrier carrierOf(std::span<const std::uint8_t> b)
{
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return Carrier::Jpeg;
    if (b.size() >= 8 && std::memcmp(b.data(), png, 8) == 0) return Carrier::Png;
    if (b.size() >= 8 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                          (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42)))
        return Carrier::Tiff;
    return Carrier::None;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

PictureMetadata readAll(std::span<const std::uint8_t> bytes, Carrier carrier)
{
    // Warnings about odd files would only clutter the error output.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::BasicIo::AutoPtr io(new Exiv2::MemIo(bytes.data(), long(bytes.size())));
    std::unique_ptr<Exiv2::Image> image;
    switch (carrier) {
    case Carrier::Jpeg: image = std::make_unique<Exiv2::JpegImage>(io, false); break;
    case Carrier::Tiff: image = std::make_unique<Exiv2::TiffImage>(io, false); break;
    case Carrier::Png: image = std::make_unique<Exiv2::PngImage>(io, false); break;
    case Carrier::None: throw Exiv2::Error(Exiv2::kerFileContainsUnknownImageType);
    }
    image->readMetadata();

    PictureMetadata metadata;
    std::map<std::uint16_t, std::pair<int, const Exiv2::Exifdatum*>> best;
    for (const Exiv2::Exifdatum& datum : image->exifData()) {
        // A value of megabytes is no text for a stamp nor an orientation:
        // it is dropped before anything converts it.
        if (datum.size() > kMaxMetadataBytes) continue;
        const int rank = groupRank(datum.groupName());
        if (rank < 0) continue;
        auto [it, added] = best.try_emplace(datum.tag(), rank, &datum);
        if (!added && rank < it->second.first) it->second = {rank, &datum};
    }
    metadata.exif.reserve(best.size());
    for (const auto& [tag, chosen] : best) metadata.exif.push_back(fieldOf(*chosen.second));

    for (const Exiv2::Iptcdatum& datum : image->iptcData()) {
        if (metadata.iptc.size() >= kMaxIptcDataSets) break;
        if (datum.size() > kMaxMetadataBytes) continue;
        // Strings come back byte for byte, numbers in decimal.
        metadata.iptc.push_back({int(datum.record()), int(datum.tag()),
                                 QByteArray::fromStdString(datum.toString()).left(kMaxMetadataText)});
    }
    return metadata;
}

#pragma GCC diagnostic pop

} // namespace

const ExifField* PictureMetadata::exifTag(std::uint32_t tag) const
{
    for (const ExifField& f : exif)
        if (f.tag == tag) return &f;
    return nullptr;
}

QString decodeMetadataText(const QByteArray& bytes)
{
    QByteArray b = bytes;
    while (!b.isEmpty() && b.back() == '\0') b.chop(1);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(b);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(b);
}

std::optional<PictureMetadata> ReadPictureMetadata(std::span<const std::uint8_t> bytes)
{
    const Carrier carrier = carrierOf(bytes);
    if (carrier == Carrier::None || bytes.size() > std::size_t(LONG_MAX)) return std::nullopt;
    try {
        return readAll(bytes, carrier);
    } catch (...) {
        // Damaged metadata, unknown formats, exhausted memory: nothing.
        return std::nullopt;
    }
}

} // namespace vm
