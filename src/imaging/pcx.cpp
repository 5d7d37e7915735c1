#include "imaging/pcx.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vm {

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kPaletteTail = 769; // marker 0x0C and 256 x RGB

unsigned le16(const std::uint8_t* p) { return unsigned(p[0]) | (unsigned(p[1]) << 8); }

constexpr std::array<std::uint32_t, 16> kEgaPalette{
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

// The run-length stream: a byte with both top bits set repeats the next
// byte (low six bits) times; any other byte stands for itself. Runs may
// cross plane and line boundaries.
class RleStream {
public:
    RleStream(const std::uint8_t* p, const std::uint8_t* end, bool encoded)
        : p_(p), end_(end), encoded_(encoded)
    {
    }
    // Fills `n` bytes; false when the data ends first.
    bool read(std::uint8_t* out, std::size_t n)
    {
        if (!encoded_) {
            if (std::size_t(end_ - p_) < n) return false;
            std::copy_n(p_, n, out);
            p_ += n;
            return true;
        }
        while (n > 0) {
            if (pending_ == 0) {
                if (p_ >= end_) return false;
                const std::uint8_t c = *p_++;
                if ((c & 0xC0) == 0xC0) {
                    if (p_ >= end_) return false;
                    pending_ = c & 0x3F;
                    value_ = *p_++;
                    continue;
                }
                pending_ = 1;
                value_ = c;
            }
            const std::size_t k = std::min<std::size_t>(pending_, n);
            std::fill_n(out, k, value_);
            out += k;
            n -= k;
            pending_ -= unsigned(k);
        }
        return true;
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    bool encoded_;
    unsigned pending_ = 0;
    std::uint8_t value_ = 0;
};

} // namespace

int DecodePCX(const std::uint8_t* data, std::size_t size, RgbImage& out, std::uint64_t budgetBytes)
{
    out.clear();
    if (size == 0) return kIsEmptyFile;
    if (data[0] != 0x0A) return kIsWrongFormat;
    if (size < kHeaderSize) return kIsTruncated;
    const unsigned version = data[1], encoding = data[2], bpp = data[3];
    if (version > 5 || version == 1 || encoding > 1) return kIsWrongFormat;
    const unsigned xmin = le16(data + 4), ymin = le16(data + 6), xmax = le16(data + 8),
                   ymax = le16(data + 10);
    const unsigned planes = data[65], bytesPerLine = le16(data + 66);
    if (xmax < xmin || ymax < ymin) return kIsCorrupt;
    const long long width = (long long)xmax - xmin + 1, height = (long long)ymax - ymin + 1;

    const bool supported = (bpp == 1 && planes >= 1 && planes <= 4) ||
                           ((bpp == 2 || bpp == 4) && planes == 1) ||
                           (bpp == 8 && (planes == 1 || planes == 3 || planes == 4));
    if (!supported) return kIsUnsupported;
    if ((long long)bytesPerLine * 8 < width * bpp) return kIsCorrupt;
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels ||
        std::uint64_t(width * height) * 3 + std::uint64_t(planes) * bytesPerLine > budgetBytes)
        return kIsTooLarge;

    // Palette.
    std::array<std::uint32_t, 256> palette{};
    const std::uint8_t* dataEnd = data + size;
    if (bpp == 8 && planes == 1) {
        if (size >= kHeaderSize + kPaletteTail && data[size - kPaletteTail] == 0x0C) {
            const std::uint8_t* p = data + size - 768;
            for (int i = 0; i < 256; ++i, p += 3)
                palette[std::size_t(i)] = (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
            dataEnd = data + size - kPaletteTail;
        } else {
            // No palette stored: grey levels.
            for (std::uint32_t i = 0; i < 256; ++i) palette[i] = (i << 16) | (i << 8) | i;
        }
    } else if (bpp * planes <= 4) {
        const unsigned colours = 1u << (bpp * planes);
        for (unsigned i = 0; i < 16; ++i) {
            const std::uint8_t* p = data + 16 + 3 * i;
            palette[i] = (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
        }
        if (colours == 2 && (version == 3 || palette[0] == palette[1])) {
            // A monochrome file without a usable palette is black and white.
            palette[0] = 0x000000;
            palette[1] = 0xFFFFFF;
        } else if (version == 3) {
            std::copy(kEgaPalette.begin(), kEgaPalette.end(), palette.begin());
        }
    }

    // Refuse before allocating when the data cannot possibly fill the
    // picture: a run of two bytes yields at most 63 bytes.
    const std::size_t lineBytes = std::size_t(planes) * bytesPerLine;
    const unsigned long long needed = (unsigned long long)lineBytes * (unsigned long long)height;
    const unsigned long long available = (unsigned long long)(dataEnd - (data + kHeaderSize));
    if (encoding == 1 ? available * 63 / 2 + 63 < needed : available < needed) return kIsTruncated;

    if (!out.allocate(std::int32_t(width), std::int32_t(height))) return kIsOutOfMemory;
    std::vector<std::uint8_t> line(lineBytes);
    RleStream stream(data + kHeaderSize, dataEnd, encoding == 1);
    const int w = int(width);
    for (int y = 0; y < int(height); ++y) {
        if (!stream.read(line.data(), lineBytes)) {
            out.clear();
            return kIsTruncated;
        }
        std::uint8_t* o = out.row(y);
        if (bpp == 8 && planes >= 3) {
            const std::uint8_t* r = line.data();
            const std::uint8_t* g = r + bytesPerLine;
            const std::uint8_t* b = g + bytesPerLine;
            for (int x = 0; x < w; ++x, o += 3) {
                o[0] = r[x];
                o[1] = g[x];
                o[2] = b[x];
            }
            continue;
        }
        for (int x = 0; x < w; ++x, o += 3) {
            unsigned index = 0;
            if (bpp == 8) {
                index = line[std::size_t(x)];
            } else if (planes == 1) {
                const unsigned bit = unsigned(x) * bpp;
                index = (line[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
            } else {
                for (unsigned p = 0; p < planes; ++p)
                    index |= ((line[p * bytesPerLine + unsigned(x) / 8] >> (7 - unsigned(x) % 8)) & 1u) << p;
            }
            const std::uint32_t c = palette[index];
            o[0] = std::uint8_t(c >> 16);
            o[1] = std::uint8_t(c >> 8);
            o[2] = std::uint8_t(c);
        }
    }
    return kIsOk;
}

} // namespace vm
