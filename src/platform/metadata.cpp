#include "platform/metadata.h"

#include <QStringDecoder>

// exiv2 0.27 still hands images around in std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <array>
#include <climits>
#include <map>

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
    field.text = valueText(datum);
    const long size = datum.size();
    if (size > 0) {
        field.bytes.resize(size);
        datum.copy(reinterpret_cast<Exiv2::byte*>(field.bytes.data()), Exiv2::littleEndian);
    }
    return field;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

PictureMetadata readAll(std::span<const std::uint8_t> bytes)
{
    // Warnings about odd files would only clutter the error output.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    auto image = Exiv2::ImageFactory::open(bytes.data(), long(bytes.size()));
    if (image.get() == nullptr) throw Exiv2::Error(Exiv2::kerFileContainsUnknownImageType);
    image->readMetadata();

    PictureMetadata metadata;
    std::map<std::uint16_t, std::pair<int, const Exiv2::Exifdatum*>> best;
    for (const Exiv2::Exifdatum& datum : image->exifData()) {
        const int rank = groupRank(datum.groupName());
        if (rank < 0) continue;
        auto [it, added] = best.try_emplace(datum.tag(), rank, &datum);
        if (!added && rank < it->second.first) it->second = {rank, &datum};
    }
    metadata.exif.reserve(best.size());
    for (const auto& [tag, chosen] : best) metadata.exif.push_back(fieldOf(*chosen.second));

    for (const Exiv2::Iptcdatum& datum : image->iptcData()) {
        // Strings come back byte for byte, numbers in decimal.
        metadata.iptc.push_back({int(datum.record()), int(datum.tag()), QByteArray::fromStdString(datum.toString())});
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
    if (bytes.empty() || bytes.size() > std::size_t(LONG_MAX)) return std::nullopt;
    try {
        return readAll(bytes);
    } catch (...) {
        // Damaged metadata, unknown formats, exhausted memory: nothing.
        return std::nullopt;
    }
}

} // namespace vm
