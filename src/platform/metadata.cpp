#include "platform/metadata.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

// exiv2 0.27 still hands images around in std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <array>
#include <exception>
#include <optional>
#include <utility>

namespace vm {

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Opens the file and reads its metadata; throws whatever exiv2 throws.
template <typename Use>
auto withMetadata(const QString& path, Use use) -> decltype(use(std::declval<Exiv2::Image&>()))
{
    // Warnings about odd files would only clutter the error output.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    // An absolute path is always taken as a file name: exiv2 reads names
    // such as "-", "http://..." or "data:..." from other sources.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(absolute).toStdString(), false);
    if (image.get() == nullptr) return std::nullopt;
    image->readMetadata();
    return use(*image);
}

#pragma GCC diagnostic pop

// Every exception of the metadata library ends here.
template <typename Use>
auto guarded(const QString& path, Use use) noexcept -> decltype(use(std::declval<Exiv2::Image&>()))
{
    if (path.isEmpty() || !QFileInfo(path).isFile()) return std::nullopt;
    try {
        return withMetadata(path, use);
    } catch (const Exiv2::AnyError&) {
    } catch (const std::exception&) {
    } catch (...) {
    }
    return std::nullopt;
}

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

} // namespace

QString decodeMetadataText(const QByteArray& bytes)
{
    QByteArray b = bytes;
    while (!b.isEmpty() && b.back() == '\0') b.chop(1);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(b);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(b);
}

std::optional<ExifField> ReadExifTag(const QString& path, std::uint32_t tag)
{
    if (tag > 0xffff) return std::nullopt;
    return guarded(path, [tag](Exiv2::Image& image) -> std::optional<ExifField> {
        const Exiv2::ExifData& exif = image.exifData();
        const Exiv2::Exifdatum* best = nullptr;
        int bestRank = 0;
        for (const Exiv2::Exifdatum& datum : exif) {
            if (datum.tag() != tag) continue;
            const int rank = groupRank(datum.groupName());
            if (rank < 0 || (best && rank >= bestRank)) continue;
            best = &datum;
            bestRank = rank;
        }
        if (!best) return std::nullopt;
        ExifField field;
        field.tag = best->tag();
        field.group = QString::fromStdString(best->groupName());
        field.text = valueText(*best);
        const long size = best->size();
        if (size > 0) {
            field.bytes.resize(size);
            best->copy(reinterpret_cast<Exiv2::byte*>(field.bytes.data()), Exiv2::littleEndian);
        }
        return field;
    });
}

std::optional<std::vector<IptcDataSet>> ReadIptcDataSets(const QString& path)
{
    return guarded(path, [](Exiv2::Image& image) -> std::optional<std::vector<IptcDataSet>> {
        const Exiv2::IptcData& iptc = image.iptcData();
        if (iptc.empty()) return std::nullopt;
        std::vector<IptcDataSet> sets;
        sets.reserve(iptc.size());
        for (const Exiv2::Iptcdatum& datum : iptc) {
            IptcDataSet set;
            set.record = datum.record();
            set.dataSet = datum.tag();
            // Strings come back byte for byte, numbers in decimal.
            set.value = QByteArray::fromStdString(datum.toString());
            sets.push_back(std::move(set));
        }
        return sets;
    });
}

} // namespace vm
