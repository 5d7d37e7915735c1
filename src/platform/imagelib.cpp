#include "platform/imagelib.h"

#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <new>

namespace vm {

bool ImageLibraryInitialize(const QList<QByteArray>& supportedFormats)
{
    return supportedFormats.contains("jpeg") || supportedFormats.contains("jpg");
}

bool ImageLibraryInitialize()
{
    return ImageLibraryInitialize(QImageReader::supportedImageFormats());
}

bool RgbImage::allocate(std::int32_t w, std::int32_t h)
{
    if (w <= 0 || h <= 0 || (long long)w * h > (1LL << 30) / 3) return false;
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

bool ResizeImage(const RgbImage& src, RgbImage& dst)
{
    if (src.empty() || dst.empty()) return false;
    // Box filter: each destination pixel averages the source area it covers,
    // weighting partly covered source pixels by their share.
    const double fx = double(src.width) / dst.width, fy = double(src.height) / dst.height;
    std::vector<double> acc(std::size_t(dst.width) * 3);
    for (int dy = 0; dy < dst.height; ++dy) {
        const double y0 = dy * fy, y1 = (dy + 1) * fy;
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int sy = int(y0); sy < std::min(src.height, int(std::ceil(y1))); ++sy) {
            const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
            if (wy <= 0) continue;
            const std::uint8_t* row = src.rgb.data() + std::size_t(sy) * src.rowBytes();
            for (int dx = 0; dx < dst.width; ++dx) {
                const double x0 = dx * fx, x1 = (dx + 1) * fx;
                for (int sx = int(x0); sx < std::min(src.width, int(std::ceil(x1))); ++sx) {
                    const double w = wy * (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0));
                    if (w <= 0) continue;
                    for (int c = 0; c < 3; ++c) acc[std::size_t(dx) * 3 + c] += w * row[sx * 3 + c];
                }
            }
        }
        const double area = fx * fy;
        std::uint8_t* out = dst.rgb.data() + std::size_t(dy) * dst.rowBytes();
        for (std::size_t i = 0; i < acc.size(); ++i)
            out[i] = std::uint8_t(std::clamp(std::nearbyint(acc[i] / area), 0.0, 255.0));
    }
    return true;
}

bool QuickRotateImageInPlace(RgbImage& image, int code)
{
    if (image.empty() || code < 0 || code > 2) return false;
    const int w = image.width, h = image.height;
    std::vector<std::uint8_t> out(image.rgb.size());
    const bool swap = code != 1;
    const int ow = swap ? h : w;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int nx = 0, ny = 0;
            if (code == 0) { nx = h - 1 - y; ny = x; }
            else if (code == 1) { nx = w - 1 - x; ny = h - 1 - y; }
            else { nx = y; ny = w - 1 - x; }
            std::copy_n(&image.rgb[(std::size_t(y) * w + x) * 3], 3, &out[(std::size_t(ny) * ow + nx) * 3]);
        }
    image.rgb.swap(out);
    if (swap) std::swap(image.width, image.height);
    return true;
}

std::unique_ptr<Bitmap> RgbToBitmap(const RgbImage& image)
{
    auto b = CreateCompatibleBitmap(image.width, image.height);
    if (!b || image.empty()) return nullptr;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.rgb.data() + std::size_t(y) * image.rowBytes();
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
        std::uint8_t* out = img.rgb.data() + std::size_t(y) * img.rowBytes();
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
