#include "platform/imagelib.h"

#include <QImageReader>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace vm {

bool ImageLibraryInitialize(const QList<QByteArray>& supportedFormats)
{
    return supportedFormats.contains("jpeg") || supportedFormats.contains("jpg");
}

bool ImageLibraryInitialize()
{
    return ImageLibraryInitialize(QImageReader::supportedImageFormats());
}

const std::array<IsErrorInfo, 16>& imageLibraryErrors()
{
    static const std::array<IsErrorInfo, 16> table{{
        {kIsOk, "kein Fehler"},
        {kIsFileNotFound, "Datei nicht gefunden"},
        {kIsAccessDenied, "Zugriff verweigert"},
        {kIsNotAFile, "keine Datei (ein Ordner oder ein Gerät)"},
        {kIsReadFailed, "Lesefehler"},
        {kIsWrongFormat, "kein Bild dieses Formats"},
        {kIsTruncated, "Bilddaten unvollständig (Datei abgeschnitten)"},
        {kIsCorrupt, "Bilddaten beschädigt"},
        {kIsTooLarge, "Bild zu groß"},
        {kIsOutOfMemory, "zu wenig Speicher"},
        {kIsUnsupported, "diese Art des Formats wird nicht unterstützt"},
        {kIsNoReader, "kein Leser für diesen Dateityp"},
        {kIsBadArgument, "ungültiges Argument"},
        {kIsEmptyFile, "Datei ist leer"},
        {kIsMetafileFailed, "Metadatei kann nicht abgespielt werden"},
        {kIsTooManyParts, "Bild besteht aus zu vielen Abschnitten"},
    }};
    return table;
}

const char* ImageLibraryErrorText(int number)
{
    for (const IsErrorInfo& e : imageLibraryErrors())
        if (e.number == number) return e.text;
    return "unbekannter Fehler";
}

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
}

void* AllocatePictureMemory(std::size_t bytes)
{
    if (bytes < kHugePage) return ::operator new(bytes);
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(p, rounded, MADV_HUGEPAGE); // a hint: without huge pages it still works
#endif
    return p;
}

void FreePictureMemory(void* p, std::size_t bytes)
{
    if (bytes < kHugePage)
        ::operator delete(p);
    else
        std::free(p);
}

bool RgbImage::allocate(std::int32_t w, std::int32_t h)
{
    clear();
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide ||
        (long long)w * h > kMaxPicturePixels)
        return false;
    try {
        rgb.assign(std::size_t(w) * std::size_t(h) * 3, 0);
    } catch (const std::bad_alloc&) {
        rgb.clear();
        return false;
    }
    width = w;
    height = h;
    return true;
}

void RgbImage::clear()
{
    PictureBuffer().swap(rgb);
    width = 0;
    height = 0;
}

int EightBitToRGB(const EightBitImage& in, RgbImage& out)
{
    if (in.width <= 0 || in.height <= 0 ||
        in.pixels.size() != std::size_t(in.width) * std::size_t(in.height))
        return kIsBadArgument;
    if (!out.allocate(in.width, in.height)) return kIsOutOfMemory;
    std::uint8_t* o = out.rgb.data();
    for (std::uint8_t index : in.pixels) {
        const std::uint32_t c = in.palette[index];
        *o++ = std::uint8_t(c >> 16);
        *o++ = std::uint8_t(c >> 8);
        *o++ = std::uint8_t(c);
    }
    return kIsOk;
}

namespace {

// Which source pixels make up each destination pixel along one axis, with
// integer weights that add up to `total` for every destination pixel.
struct AxisWeights {
    std::vector<int> first;       // first source index
    std::vector<int> count;       // number of source pixels
    std::vector<int> offset;      // into weights
    std::vector<std::uint32_t> weights;
    std::uint32_t total = 0;
    int maxCount = 0;
};

AxisWeights axisWeights(int src, int dst)
{
    AxisWeights a;
    a.first.resize(std::size_t(dst));
    a.count.resize(std::size_t(dst));
    a.offset.resize(std::size_t(dst));
    if (dst <= src) {
        // Area average: destination pixel d covers [d*src, (d+1)*src) and
        // source pixel s covers [s*dst, (s+1)*dst) on a common integer scale,
        // so the overlaps are exact and add up to src.
        a.total = std::uint32_t(src);
        for (int d = 0; d < dst; ++d) {
            const long long lo = (long long)d * src, hi = lo + src;
            const int s0 = int(lo / dst), s1 = int((hi - 1) / dst);
            a.first[std::size_t(d)] = s0;
            a.count[std::size_t(d)] = s1 - s0 + 1;
            a.offset[std::size_t(d)] = int(a.weights.size());
            for (int s = s0; s <= s1; ++s) {
                const long long sl = (long long)s * dst, sh = sl + dst;
                a.weights.push_back(std::uint32_t(std::min(hi, sh) - std::max(lo, sl)));
            }
            a.maxCount = std::max(a.maxCount, s1 - s0 + 1);
        }
    } else {
        // Linear interpolation between the two nearest source centres.
        constexpr std::uint32_t one = 4096;
        a.total = one;
        for (int d = 0; d < dst; ++d) {
            // Centre of d in source coordinates, times 2*dst.
            const long long num = (2LL * d + 1) * src - dst, den = 2LL * dst;
            long long s0 = num >= 0 ? num / den : -((-num + den - 1) / den);
            const long long rem = num - s0 * den;
            std::uint32_t w1 = std::uint32_t((rem * one + den / 2) / den);
            a.offset[std::size_t(d)] = int(a.weights.size());
            if (s0 < 0) {
                s0 = 0;
                w1 = 0;
            }
            if (s0 >= src - 1 || w1 == 0) {
                a.first[std::size_t(d)] = int(std::min<long long>(s0, src - 1));
                a.count[std::size_t(d)] = 1;
                a.weights.push_back(one);
            } else {
                a.first[std::size_t(d)] = int(s0);
                a.count[std::size_t(d)] = 2;
                a.weights.push_back(one - w1);
                a.weights.push_back(w1);
            }
            a.maxCount = std::max(a.maxCount, a.count[std::size_t(d)]);
        }
    }
    return a;
}

} // namespace

bool ResizeImage(const RgbImage& src, RgbImage& dst)
{
    if (src.empty() || dst.empty() || src.width <= 0 || src.height <= 0 || dst.width <= 0 ||
        dst.height <= 0 || src.width > kMaxPictureSide || src.height > kMaxPictureSide ||
        dst.width > kMaxPictureSide || dst.height > kMaxPictureSide || src.rgb.size() != src.rowBytes() * std::size_t(src.height) ||
        dst.rgb.size() != dst.rowBytes() * std::size_t(dst.height))
        return false;
    if (src.width == dst.width && src.height == dst.height) {
        std::memcpy(dst.rgb.data(), src.rgb.data(), src.rgb.size());
        return true;
    }
    try {
        const AxisWeights ax = axisWeights(src.width, dst.width);
        const AxisWeights ay = axisWeights(src.height, dst.height);
        const std::size_t rowValues = std::size_t(dst.width) * 3;
        // Horizontally resampled source rows, kept in a ring as long as
        // destination rows still need them. Sums stay unnormalised so the
        // result is exact; ax.total * 255 fits 32 bits for any width we allow.
        const int ring = ay.maxCount;
        std::vector<std::uint32_t> cache(rowValues * std::size_t(ring));
        std::vector<std::uint64_t> acc(rowValues);
        int computed = -1;
        const double scale = 1.0 / (double(ax.total) * double(ay.total));

        auto horizontal = [&](int sy, std::uint32_t* out) {
            const std::uint8_t* row = src.row(sy);
            for (int dx = 0; dx < dst.width; ++dx) {
                const std::uint8_t* p = row + std::size_t(ax.first[std::size_t(dx)]) * 3;
                const std::uint32_t* w = ax.weights.data() + ax.offset[std::size_t(dx)];
                const int n = ax.count[std::size_t(dx)];
                std::uint32_t r = 0, g = 0, b = 0;
                for (int k = 0; k < n; ++k, p += 3) {
                    r += w[k] * p[0];
                    g += w[k] * p[1];
                    b += w[k] * p[2];
                }
                out[0] = r;
                out[1] = g;
                out[2] = b;
                out += 3;
            }
        };

        for (int dy = 0; dy < dst.height; ++dy) {
            const int s0 = ay.first[std::size_t(dy)], n = ay.count[std::size_t(dy)];
            const std::uint32_t* wy = ay.weights.data() + ay.offset[std::size_t(dy)];
            std::fill(acc.begin(), acc.end(), 0);
            for (int k = 0; k < n; ++k) {
                const int sy = s0 + k;
                std::uint32_t* h = cache.data() + std::size_t(sy % ring) * rowValues;
                if (sy > computed) {
                    horizontal(sy, h);
                    computed = sy;
                }
                const std::uint64_t w = wy[k];
                for (std::size_t i = 0; i < rowValues; ++i) acc[i] += w * h[i];
            }
            std::uint8_t* out = dst.row(dy);
            for (std::size_t i = 0; i < rowValues; ++i)
                out[i] = std::uint8_t(std::min(255.0, double(acc[i]) * scale + 0.5));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool QuickRotateImageInPlace(RgbImage& image, int code)
{
    if (image.empty() || code < 0 || code > 2 ||
        image.rgb.size() != image.rowBytes() * std::size_t(image.height))
        return false;
    const int w = image.width, h = image.height;
    if (code == 1) {
        // Half a turn reverses the pixel order: done in place.
        std::uint8_t* a = image.rgb.data();
        std::uint8_t* b = a + image.rgb.size() - 3;
        for (; a < b; a += 3, b -= 3) {
            std::swap(a[0], b[0]);
            std::swap(a[1], b[1]);
            std::swap(a[2], b[2]);
        }
        return true;
    }
    PictureBuffer out;
    try {
        out.resize(image.rgb.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Quarter turns in tiles, so reads and writes both stay in cache.
    const int ow = h; // width after the turn
    constexpr int tile = 32;
    const std::uint8_t* in = image.rgb.data();
    for (int ty = 0; ty < h; ty += tile)
        for (int tx = 0; tx < w; tx += tile) {
            const int ye = std::min(h, ty + tile), xe = std::min(w, tx + tile);
            for (int y = ty; y < ye; ++y) {
                const std::uint8_t* p = in + (std::size_t(y) * w + tx) * 3;
                for (int x = tx; x < xe; ++x, p += 3) {
                    // Clockwise: (x, y) -> (h-1-y, x); counter-clockwise: (y, w-1-x).
                    const std::size_t nx = code == 0 ? std::size_t(h - 1 - y) : std::size_t(y);
                    const std::size_t ny = code == 0 ? std::size_t(x) : std::size_t(w - 1 - x);
                    std::uint8_t* q = out.data() + (ny * std::size_t(ow) + nx) * 3;
                    q[0] = p[0];
                    q[1] = p[1];
                    q[2] = p[2];
                }
            }
        }
    image.rgb.swap(out);
    std::swap(image.width, image.height);
    return true;
}

std::unique_ptr<Bitmap> RgbToBitmap(const RgbImage& image)
{
    if (image.empty()) return nullptr;
    auto b = CreateCompatibleBitmap(image.width, image.height);
    if (!b) return nullptr;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.row(y);
        Pixel* out = b->row(y);
        for (int x = 0; x < image.width; ++x, in += 3) out[x] = rgbPixel(in[0], in[1], in[2]);
    }
    return b;
}

RgbImage BitmapToRgb(const Bitmap& bitmap)
{
    RgbImage img;
    if (!img.allocate(bitmap.width(), bitmap.height())) return img;
    for (int y = 0; y < bitmap.height(); ++y) {
        const Pixel* in = bitmap.row(y);
        std::uint8_t* out = img.row(y);
        for (int x = 0; x < bitmap.width(); ++x, out += 3) {
            out[0] = std::uint8_t(in[x] >> 16);
            out[1] = std::uint8_t(in[x] >> 8);
            out[2] = std::uint8_t(in[x]);
        }
    }
    return img;
}

bool ImageToGrayScale(RgbImage& image)
{
    if (image.empty()) return false;
    // Fixed-point weights (x 1024) of 0.299, 0.587 and 0.114.
    for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        const unsigned y = (306u * image.rgb[i] + 601u * image.rgb[i + 1] + 117u * image.rgb[i + 2] + 512u) >> 10;
        const std::uint8_t g = std::uint8_t(y > 255u ? 255u : y);
        image.rgb[i] = image.rgb[i + 1] = image.rgb[i + 2] = g;
    }
    return true;
}

} // namespace vm
