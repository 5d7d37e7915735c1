#include "imaging/tga.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vm {

namespace {

constexpr std::size_t kHeaderSize = 18;

unsigned le16(const std::uint8_t* p) { return unsigned(p[0]) | (unsigned(p[1]) << 8); }

std::uint32_t from16(unsigned v)
{
    // 5 bits per channel, blue lowest; widen so that 31 becomes 255.
    const unsigned b = v & 31, g = (v >> 5) & 31, r = (v >> 10) & 31;
    return (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
}

// One stored pixel (little-endian, `bytes` long) as 0x00RRGGBB.
struct PixelFormat {
    enum Kind { Mapped, True, Grey } kind = True;
    unsigned bytes = 3;
    const std::vector<std::uint32_t>* map = nullptr;
    unsigned mapFirst = 0;

    std::uint32_t colour(const std::uint8_t* p) const
    {
        switch (kind) {
        case Mapped: {
            const unsigned index = bytes == 1 ? p[0] : le16(p);
            // An index outside the map is a fault of the file: black.
            if (index < mapFirst || index - mapFirst >= map->size()) return 0;
            return (*map)[index - mapFirst];
        }
        case Grey:
            return (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[0]) << 8) | p[0];
        case True:
            break;
        }
        if (bytes == 2) return from16(le16(p));
        return (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
    }
};

} // namespace

int DecodeTGA(const std::uint8_t* data, std::size_t size, RgbImage& out, std::uint64_t budgetBytes)
{
    out.clear();
    if (size == 0) return kIsEmptyFile;
    if (size < kHeaderSize) return kIsTruncated;
    const unsigned idLength = data[0], mapType = data[1], type = data[2];
    const unsigned mapFirst = le16(data + 3), mapLength = le16(data + 5), mapEntryBits = data[7];
    const unsigned width = le16(data + 12), height = le16(data + 14), depth = data[16],
                   descriptor = data[17];

    // TGA has no signature: the header fields must make sense together.
    const bool rle = type >= 9 && type <= 11;
    const unsigned base = rle ? type - 8 : type;
    if (mapType > 1 || base < 1 || base > 3 || (descriptor & 0xC0) != 0) return kIsWrongFormat;
    if (mapType == 1 && mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 &&
        mapEntryBits != 32)
        return kIsWrongFormat;
    PixelFormat format;
    switch (base) {
    case 1:
        if (mapType != 1 || (depth != 8 && depth != 16)) return kIsWrongFormat;
        format.kind = PixelFormat::Mapped;
        break;
    case 2:
        if (depth != 15 && depth != 16 && depth != 24 && depth != 32) return kIsWrongFormat;
        format.kind = PixelFormat::True;
        break;
    default:
        if (depth != 8 && depth != 16) return kIsWrongFormat;
        format.kind = PixelFormat::Grey;
        break;
    }
    format.bytes = (depth + 7) / 8;
    if (width == 0 || height == 0) return kIsCorrupt;
    if ((long long)width * height > kMaxPicturePixels ||
        std::uint64_t(width) * height * 3 + std::uint64_t(width) * 4 > budgetBytes)
        return kIsTooLarge;

    const std::uint8_t* p = data + kHeaderSize;
    const std::uint8_t* end = data + size;
    if (std::size_t(end - p) < idLength) return kIsTruncated;
    p += idLength;

    std::vector<std::uint32_t> map;
    if (mapType == 1) {
        const unsigned entryBytes = (mapEntryBits + 7) / 8;
        if (std::size_t(end - p) < std::size_t(mapLength) * entryBytes) return kIsTruncated;
        map.resize(mapLength);
        for (unsigned i = 0; i < mapLength; ++i, p += entryBytes) {
            if (entryBytes == 2)
                map[i] = from16(le16(p));
            else
                map[i] = (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
        }
    }
    format.map = &map;
    format.mapFirst = mapFirst;

    // Refuse before allocating when the data cannot fill the picture: a
    // run packet of 1 + bytes yields at most 128 pixels.
    const unsigned long long pixels = (unsigned long long)width * height;
    const unsigned long long available = (unsigned long long)(end - p);
    const unsigned long long needed =
        rle ? (pixels + 127) / 128 * (1 + format.bytes) : pixels * format.bytes;
    if (available < needed) return kIsTruncated;

    if (!out.allocate(std::int32_t(width), std::int32_t(height))) return kIsOutOfMemory;
    const bool topDown = (descriptor & 0x20) != 0, rightToLeft = (descriptor & 0x10) != 0;
    std::vector<std::uint32_t> row(width);
    unsigned pending = 0; // pixels left in the current packet
    bool repeat = false;
    std::uint32_t runColour = 0;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width;) {
            if (!rle) {
                row[x++] = format.colour(p);
                p += format.bytes;
                continue;
            }
            if (pending == 0) {
                if (p >= end) {
                    out.clear();
                    return kIsTruncated;
                }
                const unsigned header = *p++;
                pending = (header & 0x7F) + 1;
                repeat = (header & 0x80) != 0;
                if (repeat) {
                    if (std::size_t(end - p) < format.bytes) {
                        out.clear();
                        return kIsTruncated;
                    }
                    runColour = format.colour(p);
                    p += format.bytes;
                }
            }
            // Packets may run on into the next row.
            const unsigned n = std::min(pending, width - x);
            if (repeat) {
                std::fill_n(row.begin() + x, n, runColour);
            } else {
                if (std::size_t(end - p) < std::size_t(n) * format.bytes) {
                    out.clear();
                    return kIsTruncated;
                }
                for (unsigned k = 0; k < n; ++k, p += format.bytes) row[x + k] = format.colour(p);
            }
            x += n;
            pending -= n;
        }
        if (rightToLeft) std::reverse(row.begin(), row.end());
        std::uint8_t* o = out.row(int(topDown ? y : height - 1 - y));
        for (unsigned x = 0; x < width; ++x, o += 3) {
            o[0] = std::uint8_t(row[x] >> 16);
            o[1] = std::uint8_t(row[x] >> 8);
            o[2] = std::uint8_t(row[x]);
        }
    }
    return kIsOk;
}

} // namespace vm
