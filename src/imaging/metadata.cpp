#include "imaging/metadata.h"

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
#include <set>
#include <vector>

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

// The directories of a TIFF and the values a stamp can use, in a small TIFF
// of their own: exiv2 then never sees the picture data, and a value longer
// than any stamp needs (megabytes of text in the orientation) is left out
// before anything copies it. Walks the picture's directories and those they
// point to (EXIF, GPS, interoperability, a sub-picture, the next picture),
// each once. Maker notes are left out: their offsets point into the file
// they came from, and the stamp reads none of their fields.
std::vector<std::uint8_t> compactTiff(std::span<const std::uint8_t> b)
{
    const std::size_t n = b.size();
    const bool little = b[0] == 'I';
    auto u16 = [&](std::size_t o) { return little ? unsigned(b[o] | (b[o + 1] << 8)) : unsigned((b[o] << 8) | b[o + 1]); };
    auto u32 = [&](std::size_t o) {
        return little ? std::uint32_t(b[o]) | (std::uint32_t(b[o + 1]) << 8) | (std::uint32_t(b[o + 2]) << 16) |
                            (std::uint32_t(b[o + 3]) << 24)
                      : (std::uint32_t(b[o]) << 24) | (std::uint32_t(b[o + 1]) << 16) | (std::uint32_t(b[o + 2]) << 8) |
                            std::uint32_t(b[o + 3]);
    };
    std::vector<std::uint8_t> out(b.begin(), b.begin() + 8);
    auto put16 = [&](std::size_t at, unsigned v) {
        out[at] = std::uint8_t(little ? v : v >> 8);
        out[at + 1] = std::uint8_t(little ? v >> 8 : v);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) out[at + std::size_t(k)] = std::uint8_t(v >> (little ? 8 * k : 24 - 8 * k));
    };
    struct Fix {
        std::size_t at;    // where in `out` the new offset goes
        std::size_t ifd;   // which directory of the original it names
    };
    std::vector<Fix> fixes{{4, u32(4)}};
    std::map<std::size_t, std::size_t> placed; // original directory -> its place in `out`
    constexpr std::size_t kMaxDirectories = 64, kMaxEntries = 1024;
    static constexpr std::array<unsigned, 14> kTypeSize = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    for (std::size_t f = 0; f < fixes.size(); ++f) {
        const std::size_t ifd = fixes[f].ifd;
        if (placed.count(ifd) || ifd + 2 > n || ifd < 8 || placed.size() >= kMaxDirectories) continue;
        const std::size_t entries = std::min<std::size_t>({u16(ifd), kMaxEntries, (n - ifd - 2) / 12});
        const std::size_t at = out.size();
        placed[ifd] = at;
        out.resize(at + 2 + 12 * entries + 4, 0);
        std::size_t kept = 0;
        for (std::size_t e = 0; e < entries; ++e) {
            const std::size_t o = ifd + 2 + 12 * e, w = at + 2 + 12 * kept;
            const unsigned tag = u16(o), type = u16(o + 2);
            const std::uint64_t size = std::uint64_t(u32(o + 4)) * (type < kTypeSize.size() ? kTypeSize[type] : 0);
            const bool pointer = tag == 0x8769 || tag == 0x8825 || tag == 0xA005 || tag == 0x014A;
            const std::size_t from = u32(o + 8);
            // Maker notes stay behind; so do values of unknown size, those
            // longer than the cap and those outside the file. Offsets to
            // picture data are kept as the numbers they are.
            if (tag == 0x927C || size == 0 || size > std::uint64_t(kMaxMetadataBytes) || (pointer && size != 4) ||
                (size > 4 && (from > n || size > n - from)))
                continue;
            std::copy_n(b.begin() + std::ptrdiff_t(o), 12, out.begin() + std::ptrdiff_t(w));
            ++kept;
            if (pointer) {
                fixes.push_back({w + 8, from});
            } else if (size > 4) {
                const std::size_t valueAt = out.size();
                out.insert(out.end(), b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(from + size));
                if (out.size() % 2) out.push_back(0);
                put32(w + 8, std::uint32_t(valueAt));
            }
        }
        put16(at, unsigned(kept));
        const std::size_t next = ifd + 2 + 12 * std::size_t(u16(ifd));
        fixes.push_back({at + 2 + 12 * kept, next + 4 <= n ? u32(next) : 0});
    }
    for (const Fix& fix : fixes) {
        const auto it = placed.find(fix.ifd);
        put32(fix.at, it == placed.end() ? 0 : std::uint32_t(it->second));
    }
    return out;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

PictureMetadata readAll(std::span<const std::uint8_t> bytes, Carrier carrier)
{
    // Warnings about odd files would only clutter the error output.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    std::vector<std::uint8_t> compact;
    if (carrier == Carrier::Tiff) {
        compact = compactTiff(bytes);
        bytes = compact;
    }
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
