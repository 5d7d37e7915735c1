#include "platform/exif.h"

#include <QFile>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <array>
#include <climits>

namespace vm {

struct ExifReader::Data {
    Exiv2::ExifData exif;
    std::vector<IptcDataSet> iptc;
};

namespace {

// Directories searched for a tag number, in this order.
constexpr std::array<const char*, 4> kGroups{"Image", "Photo", "GPSInfo", "Iop"};

QString textOf(const Exiv2::Exifdatum& d)
{
    const Exiv2::TypeId type = d.typeId();
    if (type == Exiv2::unsignedByte || type == Exiv2::signedByte || type == Exiv2::undefined) {
        Exiv2::DataBuf buf(d.size());
        d.copy(buf.pData_, Exiv2::littleEndian);
        QString s;
        s.reserve(int(buf.size_) * 4);
        for (long i = 0; i < buf.size_; ++i) {
            if (i > 0) s += QLatin1Char(',');
            s += QLatin1Char('x') + QString::number(buf.pData_[i], 16).toUpper();
        }
        return s;
    }
    std::string s = d.toString();
    if (type == Exiv2::asciiString) {
        const auto zero = s.find('\0');
        if (zero != std::string::npos) s.resize(zero);
    }
    return QString::fromStdString(s);
}

// The datum of that tag number from the first directory that has it.
const Exiv2::Exifdatum* findTag(const Exiv2::ExifData& exif, int tag)
{
    const Exiv2::Exifdatum* best = nullptr;
    std::size_t bestGroup = kGroups.size();
    for (const Exiv2::Exifdatum& d : exif) {
        if (d.tag() != tag) continue;
        const std::string group = d.groupName();
        for (std::size_t g = 0; g < bestGroup; ++g)
            if (group == kGroups[g]) {
                best = &d;
                bestGroup = g;
                break;
            }
    }
    return best;
}

std::unique_ptr<ExifReader::Data> readAll(Exiv2::Image& image)
{
    image.readMetadata();
    auto data = std::make_unique<ExifReader::Data>();
    data->exif = image.exifData();
    for (const Exiv2::Iptcdatum& d : image.iptcData())
        data->iptc.push_back({int(d.record()), int(d.tag()), QString::fromStdString(d.toString())});
    if (data->exif.empty() && data->iptc.empty()) return nullptr;
    return data;
}

} // namespace

ExifReader::ExifReader(std::unique_ptr<Data> data) : d_(std::move(data)) {}
ExifReader::~ExifReader() = default;

std::unique_ptr<ExifReader> ExifReader::create(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes || size == 0 || size > std::size_t(LONG_MAX)) return nullptr;
    try {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        auto image = Exiv2::ImageFactory::open(bytes, long(size));
        if (!image.get()) return nullptr;
        auto data = readAll(*image);
        if (!data) return nullptr;
        return std::unique_ptr<ExifReader>(new ExifReader(std::move(data)));
    } catch (...) {
        // Damaged metadata, unknown formats, exhausted memory: no reader.
        return nullptr;
    }
}

std::unique_ptr<ExifReader> ExifReader::create(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    const qint64 size = file.size();
    if (size <= 0) return nullptr;
    const uchar* mapped = file.map(0, size);
    if (mapped) return create(mapped, std::size_t(size));
    const QByteArray all = file.readAll();
    return create(reinterpret_cast<const std::uint8_t*>(all.constData()), std::size_t(all.size()));
}

std::optional<QString> ExifReader::getString(int tag) const
{
    try {
        if (const Exiv2::Exifdatum* d = findTag(d_->exif, tag)) return textOf(*d);
    } catch (...) {
    }
    return std::nullopt;
}

std::optional<long> ExifReader::getNumber(int tag) const
{
    try {
        const Exiv2::Exifdatum* d = findTag(d_->exif, tag);
        if (!d || d->count() == 0) return std::nullopt;
        if (d->typeId() == Exiv2::asciiString) {
            bool ok = false;
            const long n = textOf(*d).trimmed().toLong(&ok);
            return ok ? std::optional<long>(n) : std::nullopt;
        }
        const long n = d->toLong(0);
        if (!d->value().ok()) return std::nullopt;
        return n;
    } catch (...) {
        return std::nullopt;
    }
}

const std::vector<IptcDataSet>& ExifReader::iptc() const { return d_->iptc; }

} // namespace vm
