#include "platform/imagereaders.h"

#include "platform/pcx.h"
#include "platform/tga.h"
#include "platform/wmfsvg.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace vm {

// ---------------------------------------------------------------- sources

struct FileSource::Impl {
    QFile file;
    QByteArray copy; // used when the file cannot be mapped
    QByteArray view; // raw view on the bytes for the device
    QBuffer buffer;
};

FileSource::FileSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FileSource::~FileSource() = default;

QIODevice& FileSource::device()
{
    if (!impl_->buffer.isOpen()) {
        impl_->view = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes_.data()),
                                              qsizetype(bytes_.size()));
        impl_->buffer.setBuffer(&impl_->view);
        impl_->buffer.open(QIODevice::ReadOnly);
    }
    impl_->buffer.seek(0);
    return impl_->buffer;
}

void FileSource::Seek()
{
    if (impl_->buffer.isOpen()) impl_->buffer.seek(0);
}

SourceResult OpenFileSource(const QString& path)
{
    SourceResult result;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        result.error = kIsFileNotFound;
        return result;
    }
    // Folders, pipes and devices are no picture files; a pipe would also
    // block the show until someone writes to it.
    if (!info.isFile()) {
        result.error = kIsNotAFile;
        return result;
    }
    auto impl = std::make_unique<FileSource::Impl>();
    impl->file.setFileName(path);
    if (!impl->file.open(QIODevice::ReadOnly)) {
        result.error = impl->file.error() == QFileDevice::PermissionsError || !info.isReadable()
                           ? kIsAccessDenied
                           : kIsReadFailed;
        return result;
    }
    const qint64 size = impl->file.size();
    std::span<const std::uint8_t> bytes;
    if (size > 0) {
        if (const uchar* mapped = impl->file.map(0, size)) {
            bytes = {mapped, std::size_t(size)};
        } else {
            try {
                impl->copy = impl->file.readAll();
            } catch (const std::bad_alloc&) {
                result.error = kIsOutOfMemory;
                return result;
            }
            if (impl->copy.size() != size) {
                result.error = kIsReadFailed;
                return result;
            }
            bytes = {reinterpret_cast<const std::uint8_t*>(impl->copy.constData()), std::size_t(size)};
        }
    }
    result.source.reset(new FileSource(std::move(impl)));
    result.source->path_ = path;
    result.source->bytes_ = bytes;
    return result;
}

// ---------------------------------------------------------------- helpers

namespace {

// Decoded pictures are refused beyond this; a 100-megapixel photograph
// decodes in 400 MB.
constexpr int kAllocationLimitMb = 1024;

bool sizeAllowed(long long w, long long h)
{
    return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels;
}

unsigned be16(const std::uint8_t* p) { return (unsigned(p[0]) << 8) | p[1]; }
unsigned le16(const std::uint8_t* p) { return unsigned(p[0]) | (unsigned(p[1]) << 8); }
std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

// The JPEG decoder fills a picture whose data stops early with grey and
// calls that success. Walk the markers to the end-of-image marker instead.
bool jpegComplete(std::span<const std::uint8_t> d)
{
    const std::size_t n = d.size();
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return true; // not ours to judge
    std::size_t i = 2;
    while (i + 1 < n) {
        if (d[i] != 0xFF) {
            // Stray bytes between segments: the decoder skips them too.
            const void* next = std::memchr(d.data() + i, 0xFF, n - i);
            if (!next) return false;
            i = std::size_t(static_cast<const std::uint8_t*>(next) - d.data());
            continue;
        }
        const unsigned marker = d[i + 1];
        if (marker == 0xD9) return true;
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        if (i + 4 > n) return false;
        const std::size_t length = be16(d.data() + i + 2);
        if (length < 2) return true; // damaged: the decoder reports it
        std::size_t j = i + 2 + length;
        if (j > n) return false;
        if (marker != 0xDA) {
            i = j;
            continue;
        }
        // Entropy-coded data runs to the next marker that is neither a
        // stuffed zero nor a restart marker.
        for (;;) {
            const void* next = j < n ? std::memchr(d.data() + j, 0xFF, n - j) : nullptr;
            if (!next) return false;
            j = std::size_t(static_cast<const std::uint8_t*>(next) - d.data());
            if (j + 1 >= n) return false;
            const unsigned m = d[j + 1];
            if (m == 0xFF) {
                ++j;
            } else if (m == 0x00 || (m >= 0xD0 && m <= 0xD7)) {
                j += 2;
            } else {
                break;
            }
        }
        i = j;
    }
    return false;
}

// An uncompressed BMP must hold all its rows; the decoder would fill the
// missing ones with black.
bool bmpComplete(std::span<const std::uint8_t> d)
{
    if (d.size() < 26 || d[0] != 'B' || d[1] != 'M') return true;
    const std::uint32_t offBits = le32(d.data() + 10), headerSize = le32(d.data() + 14);
    long long width = 0, height = 0, bits = 0, compression = 0;
    if (headerSize == 12) {
        width = le16(d.data() + 18);
        height = le16(d.data() + 20);
        bits = le16(d.data() + 24);
    } else if (headerSize >= 40 && d.size() >= 34) {
        width = std::int32_t(le32(d.data() + 18));
        height = std::int32_t(le32(d.data() + 22));
        bits = le16(d.data() + 28);
        compression = le32(d.data() + 30);
    } else {
        return true;
    }
    if (compression != 0 && compression != 3) return true; // run-length: the decoder checks
    if (width <= 0 || bits <= 0 || bits > 64) return true;
    const long long stride = (width * bits + 31) / 32 * 4;
    return (long long)d.size() >= (long long)offBits + stride * std::llabs(height);
}

// The first picture of a GIF must reach its block terminator.
bool gifComplete(std::span<const std::uint8_t> d)
{
    const std::size_t n = d.size();
    if (n < 13 || std::memcmp(d.data(), "GIF", 3) != 0) return true;
    std::size_t i = 13;
    if (d[10] & 0x80) i += 3u * (2u << (d[10] & 7));
    auto skipBlocks = [&](std::size_t& k) {
        while (k < n) {
            const std::size_t len = d[k];
            k += 1 + len;
            if (len == 0) return k <= n;
        }
        return false;
    };
    while (i < n) {
        const std::uint8_t b = d[i];
        if (b == 0x21) {
            i += 2;
            if (!skipBlocks(i)) return false;
        } else if (b == 0x2C) {
            if (i + 10 > n) return false;
            const std::uint8_t flags = d[i + 9];
            i += 10;
            if (flags & 0x80) i += 3u * (2u << (flags & 7));
            i += 1; // code size
            return i <= n && skipBlocks(i);
        } else {
            return true; // trailer or damage: the decoder decides
        }
    }
    return false;
}

// A PNG must run through its chunks to the end chunk.
bool pngComplete(std::span<const std::uint8_t> d)
{
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (d.size() < 8 || std::memcmp(d.data(), signature, 8) != 0) return true;
    std::size_t i = 8;
    while (i + 8 <= d.size()) {
        const std::size_t length = (std::size_t(d[i]) << 24) | (std::size_t(d[i + 1]) << 16) |
                                   (std::size_t(d[i + 2]) << 8) | d[i + 3];
        if (std::memcmp(d.data() + i + 4, "IEND", 4) == 0) return true;
        if (length > d.size()) return false;
        i += 12 + length;
    }
    return false;
}

int errorOf(const QImageReader& reader)
{
    switch (reader.error()) {
    case QImageReader::FileNotFoundError: return kIsFileNotFound;
    case QImageReader::DeviceError: return kIsReadFailed;
    case QImageReader::UnsupportedFormatError: return kIsWrongFormat;
    case QImageReader::InvalidDataError: return kIsCorrupt;
    case QImageReader::UnknownError: break;
    }
    return kIsCorrupt;
}

// Copies any decoded picture into an RGB buffer, row by row for the
// formats the decoders give, through one conversion for the rest.
int toRgb(QImage img, RgbImage& out)
{
    switch (img.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_RGB888:
        break;
    default:
        img = img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (img.isNull()) return kIsOutOfMemory;
    }
    if (!out.allocate(img.width(), img.height())) return kIsOutOfMemory;
    const bool packed = img.format() == QImage::Format_RGB888;
    for (int y = 0; y < img.height(); ++y) {
        std::uint8_t* o = out.row(y);
        if (packed) {
            std::memcpy(o, img.constScanLine(y), out.rowBytes());
            continue;
        }
        const QRgb* in = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x, o += 3) {
            o[0] = std::uint8_t(in[x] >> 16);
            o[1] = std::uint8_t(in[x] >> 8);
            o[2] = std::uint8_t(in[x]);
        }
    }
    return kIsOk;
}

using CompleteCheck = bool (*)(std::span<const std::uint8_t>);

// Packs 32-bit pixels into 24-bit ones in the same memory: each pixel is
// read before anything at or after its place is written.
void packInPlace(std::uint8_t* data, std::size_t pixels)
{
    const std::uint32_t* in = reinterpret_cast<const std::uint32_t*>(data);
    std::uint8_t* out = data;
    for (std::size_t i = 0; i < pixels; ++i, out += 3) {
        const std::uint32_t p = in[i];
        out[0] = std::uint8_t(p >> 16);
        out[1] = std::uint8_t(p >> 8);
        out[2] = std::uint8_t(p);
    }
}

struct QtRead {
    QImage image; // null when the pixels went straight into the RGB buffer
    int error = kIsOk;
    QSize stored;
};

// Reads with a Qt decoder of the given format name; never guesses another.
// The completeness check runs after the header is known to be of this
// format, so a file of another format is named as such. With `into`, the
// decoder writes into memory that then becomes the RGB buffer, so a large
// photograph needs one buffer rather than two.
QtRead readQt(FileSource& source, const char* format, int reduction, CompleteCheck complete,
              RgbImage* into = nullptr)
{
    QtRead r;
    if (source.bytes().empty()) {
        r.error = kIsEmptyFile;
        return r;
    }
    QImageReader reader(&source.device(), format);
    reader.setAutoTransform(false);
    reader.setAllocationLimit(kAllocationLimitMb);
    if (!reader.canRead()) {
        r.error = kIsWrongFormat;
        return r;
    }
    const QSize size = reader.size();
    if (size.isValid() && !sizeAllowed(size.width(), size.height())) {
        r.error = kIsTooLarge;
        return r;
    }
    if (complete && !complete(source.bytes())) {
        r.error = kIsTruncated;
        return r;
    }
    r.stored = size;
    QSize expected = size;
    if (reduction > 0 && size.isValid()) {
        const int f = 1 << reduction;
        expected = QSize((size.width() + f - 1) / f, (size.height() + f - 1) / f);
        reader.setScaledSize(expected);
    }
    try {
        if (into && expected.isValid()) {
            const int w = expected.width(), h = expected.height();
            PictureBuffer buffer(std::size_t(w) * std::size_t(h) * 4);
            QImage target(buffer.data(), w, h, w * 4, QImage::Format_RGB32);
            if (!reader.read(&target)) {
                r.error = errorOf(reader);
                return r;
            }
            if (target.constBits() == buffer.data() && target.format() == QImage::Format_RGB32 &&
                target.size() == expected) {
                target = QImage();
                packInPlace(buffer.data(), std::size_t(w) * std::size_t(h));
                buffer.resize(std::size_t(w) * std::size_t(h) * 3);
                into->rgb = std::move(buffer);
                into->width = w;
                into->height = h;
                return r;
            }
            r.image = target.copy(); // the decoder chose another layout
        } else {
            r.image = reader.read();
        }
    } catch (const std::bad_alloc&) {
        r.error = kIsOutOfMemory;
        return r;
    }
    if (r.image.isNull()) {
        r.error = errorOf(reader);
        return r;
    }
    if (!sizeAllowed(r.image.width(), r.image.height())) {
        r.image = QImage();
        r.error = kIsTooLarge;
        return r;
    }
    if (!r.stored.isValid()) r.stored = r.image.size();
    return r;
}

ReadResult readRgb(FileSource& source, const char* format, CompleteCheck complete, int reduction = 0,
                   bool direct = false)
{
    ReadResult r;
    QtRead read = readQt(source, format, reduction, complete, direct ? &r.image : nullptr);
    r.error = read.error;
    r.storedSize = read.stored;
    if (r.error != kIsOk || !r.image.empty()) return r;
    r.error = toRgb(std::move(read.image), r.image);
    return r;
}

ReadResult fromDecoder(FileSource& source, int (*decode)(const std::uint8_t*, std::size_t, RgbImage&))
{
    ReadResult r;
    const auto bytes = source.bytes();
    if (bytes.empty()) {
        r.error = kIsEmptyFile;
        return r;
    }
    r.error = decode(bytes.data(), bytes.size(), r.image);
    if (r.error == kIsOk) r.storedSize = QSize(r.image.width, r.image.height);
    return r;
}

} // namespace

// ---------------------------------------------------------------- readers

QSize ReadJPGSize(FileSource& source)
{
    QImageReader reader(&source.device(), "jpeg");
    reader.setAutoTransform(false);
    const QSize size = reader.canRead() ? reader.size() : QSize();
    source.Seek();
    return size;
}

ReadResult ReadJPG(FileSource& source, int reduction)
{
    return readRgb(source, "jpeg", jpegComplete, std::clamp(reduction, 0, 3), true);
}

ReadResult ReadBMP(FileSource& source) { return readRgb(source, "bmp", bmpComplete); }
ReadResult ReadPNG(FileSource& source) { return readRgb(source, "png", pngComplete); }
ReadResult ReadTIFF(FileSource& source) { return readRgb(source, "tiff", nullptr); }
ReadResult ReadPCX(FileSource& source) { return fromDecoder(source, DecodePCX); }
ReadResult ReadTGA(FileSource& source) { return fromDecoder(source, DecodeTGA); }

EightBitResult ReadGIF(FileSource& source)
{
    EightBitResult r;
    QtRead read = readQt(source, "gif", 0, gifComplete);
    r.error = read.error;
    if (r.error != kIsOk) return r;
    QImage img = std::move(read.image);
    EightBitImage& e = r.image;
    e.width = img.width();
    e.height = img.height();
    try {
        e.pixels.resize(std::size_t(e.width) * std::size_t(e.height));
    } catch (const std::bad_alloc&) {
        r.error = kIsOutOfMemory;
        return r;
    }
    if (img.format() != QImage::Format_Indexed8) {
        if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
            img = img.convertToFormat(QImage::Format_ARGB32);
        // One frame of a GIF has at most 256 colours: give each its index
        // in order of first appearance (a small open-addressing table).
        constexpr std::size_t tableSize = 1024;
        std::array<std::uint32_t, tableSize> keys{};
        std::array<std::int16_t, tableSize> values;
        values.fill(-1);
        int used = 0;
        bool fits = true;
        for (int y = 0; y < e.height && fits; ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            std::uint8_t* o = e.pixels.data() + std::size_t(y) * std::size_t(e.width);
            for (int x = 0; x < e.width; ++x) {
                const std::uint32_t key = in[x];
                std::size_t h = (key * 2654435761u) >> 22;
                while (values[h] >= 0 && keys[h] != key) h = (h + 1) & (tableSize - 1);
                if (values[h] < 0) {
                    if (used == 256) {
                        fits = false;
                        break;
                    }
                    keys[h] = key;
                    values[h] = std::int16_t(used);
                    e.palette[std::size_t(used++)] = key & 0xFFFFFF;
                }
                o[x] = std::uint8_t(values[h]);
            }
        }
        if (!fits) img = img.convertToFormat(QImage::Format_Indexed8);
    }
    if (img.format() == QImage::Format_Indexed8) {
        const QList<QRgb> table = img.colorTable();
        e.palette.fill(0);
        for (qsizetype i = 0; i < std::min<qsizetype>(table.size(), 256); ++i)
            e.palette[std::size_t(i)] = table[i] & 0xFFFFFF;
        for (int y = 0; y < e.height; ++y)
            std::memcpy(e.pixels.data() + std::size_t(y) * std::size_t(e.width), img.constScanLine(y),
                        std::size_t(e.width));
    }
    return r;
}

ReadResult ReadMetafile(const QString& path)
{
    ReadResult r;
    SourceResult opened = OpenFileSource(path);
    if (!opened.source) {
        r.error = opened.error;
        return r;
    }
    const auto bytes = opened.source->bytes();
    if (bytes.empty()) {
        r.error = kIsEmptyFile;
        return r;
    }
    // A placeable metafile starts with its key, a plain one with its type.
    const bool placeable = bytes.size() >= 4 && le32(bytes.data()) == 0x9AC6CDD7u;
    const bool plain = bytes.size() >= 4 && (le16(bytes.data()) == 1 || le16(bytes.data()) == 2) &&
                       le16(bytes.data() + 2) == 9;
    if (!placeable && !plain) {
        r.error = kIsWrongFormat;
        return r;
    }
    const MetafileSvg played = PlayMetafileToSvg(bytes.data(), bytes.size());
    if (!played.ok) {
        r.error = played.outOfMemory ? kIsOutOfMemory : kIsMetafileFailed;
        return r;
    }
    QSvgRenderer renderer(QByteArray::fromStdString(played.svg));
    if (!renderer.isValid()) {
        r.error = kIsMetafileFailed;
        return r;
    }
    // A vector drawing has no true pixel size: keep it to 16 megapixels.
    double w = played.width, h = played.height;
    constexpr double maxPixels = 16.0 * 1024 * 1024;
    if (w * h > maxPixels) {
        const double f = std::sqrt(maxPixels / (w * h));
        w = std::max(1.0, std::floor(w * f));
        h = std::max(1.0, std::floor(h * f));
    }
    QImage img(int(w), int(h), QImage::Format_RGB32);
    if (img.isNull()) {
        r.error = kIsOutOfMemory;
        return r;
    }
    img.fill(Qt::white);
    {
        QPainter painter(&img);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, w, h));
    }
    r.storedSize = img.size();
    r.error = toRgb(std::move(img), r.image);
    return r;
}

std::optional<PictureMetadata> ReadMetadata(FileSource& source) { return ReadPictureMetadata(source.bytes()); }

} // namespace vm
