#include "imaging/imagereaders.h"

#include "imaging/pcx.h"
#include "imaging/tga.h"
#include "imaging/wmfsvg.h"

#include "platform/paths.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vm {

// ---------------------------------------------------------------- sources

struct FileSource::Impl {
    QByteArray copy;
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

namespace {

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

int openError(int err)
{
    switch (err) {
    case EACCES:
    case EPERM: return kIsAccessDenied;
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG: return kIsFileNotFound;
    case ENXIO:
    case ENODEV: return kIsNotAFile;
    default: return kIsReadFailed;
    }
}

} // namespace

SourceResult OpenFileSource(const QString& path)
{
    SourceResult result;
    Fd file;
    file.fd = OpenNativePath(NativePath(path), false);
    if (file.fd < 0) {
        result.error = openError(errno);
        return result;
    }
    return OpenFileSource(file.fd, path);
}

SourceResult OpenFileSource(int fd, const QString& path)
{
    SourceResult result;
    const struct { int fd; } file{fd};
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        result.error = kIsReadFailed;
        return result;
    }
    // Folders, pipes and devices are no picture files.
    if (!S_ISREG(st.st_mode)) {
        result.error = kIsNotAFile;
        return result;
    }
    if (st.st_size > kMaxFileBytes) {
        result.error = kIsTooLarge;
        return result;
    }
    auto impl = std::make_unique<FileSource::Impl>();
    try {
        impl->copy.resize(qsizetype(st.st_size));
    } catch (const std::bad_alloc&) {
        result.error = kIsOutOfMemory;
        return result;
    }
    // Read what is there: a file cut short meanwhile keeps the bytes read so
    // far (the readers then call it truncated), one that grows is read to
    // its size at opening.
    qsizetype got = 0;
    while (got < impl->copy.size()) {
        const ssize_t n = ::pread(file.fd, impl->copy.data() + got, std::size_t(impl->copy.size() - got), off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.error = kIsReadFailed;
            return result;
        }
        if (n == 0) break;
        got += n;
    }
    impl->copy.truncate(got);
    const std::span<const std::uint8_t> bytes{reinterpret_cast<const std::uint8_t*>(impl->copy.constData()),
                                              std::size_t(got)};
    result.source.reset(new FileSource(std::move(impl)));
    result.source->path_ = path;
    result.source->bytes_ = bytes;
    return result;
}

// ---------------------------------------------------------------- helpers

namespace {

// The decoders' own allocation limit, a second line behind the budget.
constexpr int kAllocationLimitMb = 1024;
constexpr std::uint64_t kDefaultBudget = std::uint64_t(1) << 30;

bool sizeAllowed(long long w, long long h)
{
    return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels;
}

unsigned be16(const std::uint8_t* p) { return (unsigned(p[0]) << 8) | p[1]; }
std::uint32_t be32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
unsigned le16(const std::uint8_t* p) { return unsigned(p[0]) | (unsigned(p[1]) << 8); }
std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

// What a header walk found out. `bytesPerPixel`: what the whole decode
// allocates per stored pixel (decoder output, any conversion, the RGB
// result); 0 when the decoder's output format has to be asked.
struct Header {
    int error = kIsOk;
    bool truncated = false;
    QSize size;
    double bytesPerPixel = 0;
    std::uint64_t fixedBytes = 0; // allocated whatever the output scale (JPEG coefficients)
};

// The JPEG's markers, walked once: the frame header, how many segments and
// scans there are, and whether the data reach the end-of-image marker (the
// decoder fills a picture whose data stop early with grey and calls that
// success).
Header walkJpeg(std::span<const std::uint8_t> d)
{
    Header h;
    const std::size_t n = d.size();
    if (n < 3 || d[0] != 0xFF || d[1] != 0xD8) {
        h.error = kIsWrongFormat;
        return h;
    }
    int segments = 0, scans = 0;
    bool progressive = false, frame = false;
    std::uint64_t coefficientBytes = 0;
    std::size_t i = 2;
    h.truncated = true;
    while (i + 1 < n) {
        if (d[i] != 0xFF) {
            // Stray bytes between segments: the decoder skips them too.
            const void* next = std::memchr(d.data() + i, 0xFF, n - i);
            if (!next) break;
            i = std::size_t(static_cast<const std::uint8_t*>(next) - d.data());
            continue;
        }
        const unsigned marker = d[i + 1];
        if (marker == 0xD9) {
            h.truncated = false;
            break;
        }
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        if (i + 4 > n) break;
        if (++segments > kMaxJpegSegments) {
            h.error = kIsTooManyParts;
            return h;
        }
        const std::size_t length = be16(d.data() + i + 2);
        if (length < 2) {
            h.error = kIsCorrupt;
            return h;
        }
        const std::size_t body = i + 4;
        std::size_t j = i + 2 + length;
        const bool isFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (isFrame && !frame) {
            if (j > n || length < 8) break;
            frame = true;
            const unsigned height = be16(d.data() + body + 1), width = be16(d.data() + body + 3);
            const unsigned comps = d[body + 5];
            if (comps == 0 || length < 8 + 3 * std::size_t(comps)) {
                h.error = kIsCorrupt;
                return h;
            }
            h.size = QSize(int(width), int(height));
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            unsigned hmax = 1, vmax = 1;
            for (unsigned c = 0; c < comps; ++c) {
                const unsigned s = d[body + 6 + 3 * c + 1];
                hmax = std::max(hmax, std::max(1u, s >> 4));
                vmax = std::max(vmax, std::max(1u, s & 15u));
            }
            // A picture decoded in several scans keeps the coefficients of
            // every block (64 x 2 bytes) whatever the output scale.
            for (unsigned c = 0; c < comps; ++c) {
                const unsigned s = d[body + 6 + 3 * c + 1];
                const unsigned hc = std::max(1u, s >> 4), vc = std::max(1u, s & 15u);
                const std::uint64_t bw = (std::uint64_t(width) * hc + 8 * hmax - 1) / (8 * hmax) + hc;
                const std::uint64_t bh = (std::uint64_t(height) * vc + 8 * vmax - 1) / (8 * vmax) + vc;
                coefficientBytes += bw * bh * 128;
            }
        }
        if (j > n) break;
        if (marker != 0xDA) {
            i = j;
            continue;
        }
        if (!frame) {
            h.error = kIsCorrupt;
            return h;
        }
        if (++scans > kMaxJpegScans) {
            h.error = kIsTooManyParts;
            return h;
        }
        // Entropy-coded data runs to the next marker that is neither a
        // stuffed zero nor a restart marker.
        bool end = false;
        for (;;) {
            const void* next = j < n ? std::memchr(d.data() + j, 0xFF, n - j) : nullptr;
            if (!next || std::size_t(static_cast<const std::uint8_t*>(next) - d.data()) + 1 >= n) {
                end = true;
                break;
            }
            j = std::size_t(static_cast<const std::uint8_t*>(next) - d.data());
            const unsigned m = d[j + 1];
            if (m == 0xFF) {
                ++j;
            } else if (m == 0x00 || (m >= 0xD0 && m <= 0xD7)) {
                j += 2;
            } else {
                break;
            }
        }
        if (end) break;
        i = j;
    }
    if (!frame && h.error == kIsOk && !h.truncated) h.error = kIsCorrupt;
    // Output goes straight into the RGB buffer as 32-bit pixels, packed in place.
    h.bytesPerPixel = 4;
    if (progressive || scans > 1) h.fixedBytes = coefficientBytes;
    return h;
}

// A PNG's chunks, walked before the decoder sees any: a chunk that claims
// more bytes than the file has would otherwise be allocated first and found
// missing afterwards. The image header tells what the decoder makes of it.
Header walkPng(std::span<const std::uint8_t> d)
{
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Header h;
    if (d.size() < 8 || std::memcmp(d.data(), signature, 8) != 0) {
        h.error = kIsWrongFormat;
        return h;
    }
    h.truncated = true;
    std::size_t i = 8;
    int chunks = 0;
    bool first = true;
    while (i + 12 <= d.size()) {
        const std::uint32_t length = be32(d.data() + i);
        const std::uint8_t* type = d.data() + i + 4;
        if (length > 0x7FFFFFFFu || length > d.size() - i - 12) break; // cut short, or a lie
        if (first) {
            first = false;
            if (std::memcmp(type, "IHDR", 4) != 0 || length < 13) {
                h.error = kIsCorrupt;
                return h;
            }
            const std::uint8_t* p = type + 4;
            h.size = QSize(int(std::min<std::uint32_t>(be32(p), 0x7FFFFFFF)),
                           int(std::min<std::uint32_t>(be32(p + 4), 0x7FFFFFFF)));
            const unsigned depth = p[8], colour = p[9];
            // The decoder's output: palette and grey become 8-bit pictures
            // that are widened to 32 bits before the RGB copy; 16-bit
            // channels become 64-bit pixels.
            if (colour == 3 || (colour == 0 && depth <= 8))
                h.bytesPerPixel = 1 + 4 + 3;
            else if (colour == 0)
                h.bytesPerPixel = 2 + 4 + 3;
            else if (depth == 16)
                h.bytesPerPixel = 8 + 4 + 3;
            else
                h.bytesPerPixel = 4 + 3;
        }
        if (std::memcmp(type, "IEND", 4) == 0) {
            h.truncated = false;
            break;
        }
        if (std::memcmp(type, "IDAT", 4) != 0 && ++chunks > kMaxPngChunks) {
            h.error = kIsTooManyParts;
            return h;
        }
        i += 12 + std::size_t(length);
    }
    return h;
}

// A BMP's header; an uncompressed one must hold all its rows (the decoder
// would fill the missing ones with black).
Header walkBmp(std::span<const std::uint8_t> d)
{
    Header h;
    if (d.size() < 2 || d[0] != 'B' || d[1] != 'M') {
        h.error = kIsWrongFormat;
        return h;
    }
    if (d.size() < 26) {
        h.truncated = true;
        return h;
    }
    const std::uint32_t offBits = le32(d.data() + 10), headerSize = le32(d.data() + 14);
    long long width = 0, height = 0, bits = 0, compression = 0;
    if (headerSize == 12) {
        width = le16(d.data() + 18);
        height = le16(d.data() + 20);
        bits = le16(d.data() + 24);
    } else if (headerSize >= 40 && d.size() >= 34) {
        width = std::int32_t(le32(d.data() + 18));
        height = std::llabs(std::int32_t(le32(d.data() + 22)));
        bits = le16(d.data() + 28);
        compression = le32(d.data() + 30);
    } else {
        return h; // the decoder judges the rest
    }
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) return h;
    h.size = QSize(int(width), int(height));
    h.bytesPerPixel = bits <= 8 ? 1 + 4 + 3 : 4 + 3;
    if (compression != 0 && compression != 3) return h; // run-length: the decoder checks
    if (bits <= 0 || bits > 64) return h;
    // Within these bounds no product leaves 64 bits.
    const long long stride = (width * bits + 31) / 32 * 4;
    h.truncated = (long long)d.size() < (long long)offBits + stride * height;
    return h;
}

// A GIF's logical screen, which the decoder allocates whatever the frames
// cover, and whether the first picture reaches its block terminator.
Header walkGif(std::span<const std::uint8_t> d)
{
    Header h;
    const std::size_t n = d.size();
    if (n < 6 || (std::memcmp(d.data(), "GIF87a", 6) != 0 && std::memcmp(d.data(), "GIF89a", 6) != 0)) {
        h.error = kIsWrongFormat;
        return h;
    }
    h.truncated = true;
    if (n < 13) return h;
    // Decoded to 32-bit pixels, then palette indexes, then RGB.
    h.bytesPerPixel = 4 + 1 + 3;
    h.size = QSize(int(le16(d.data() + 6)), int(le16(d.data() + 8)));
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
            if (!skipBlocks(i)) return h;
        } else if (b == 0x2C) {
            if (i + 10 > n) return h;
            const std::uint8_t flags = d[i + 9];
            // A frame larger than the screen widens the canvas.
            h.size = h.size.expandedTo(QSize(int(le16(d.data() + i + 1) + le16(d.data() + i + 5)),
                                             int(le16(d.data() + i + 3) + le16(d.data() + i + 7))));
            i += 10;
            if (flags & 0x80) i += 3u * (2u << (flags & 7));
            i += 1; // code size
            h.truncated = !(i <= n && skipBlocks(i));
            return h;
        } else {
            h.truncated = false; // trailer or damage: the decoder decides
            return h;
        }
    }
    return h;
}

// The first directory of a TIFF: size, samples and bits, which decide the
// decoder's output. Anything unusual is left to the decoder.
Header walkTiff(std::span<const std::uint8_t> d)
{
    Header h;
    const std::size_t n = d.size();
    if (n < 8) return h;
    const bool little = d[0] == 'I' && d[1] == 'I', big = d[0] == 'M' && d[1] == 'M';
    if (!little && !big) return h;
    auto u16 = [&](std::size_t o) { return little ? le16(d.data() + o) : be16(d.data() + o); };
    auto u32 = [&](std::size_t o) { return little ? le32(d.data() + o) : be32(d.data() + o); };
    if (u16(2) != 42) return h;
    const std::size_t ifd = u32(4);
    if (ifd > n - 2) return h;
    const std::size_t count = u16(ifd);
    long long width = 0, height = 0, bits = 1, rowsPerStrip = 0, tileW = 0, tileH = 0, samples = 1, compression = 1;
    for (std::size_t e = 0; e < count && ifd + 2 + 12 * (e + 1) <= n; ++e) {
        const std::size_t o = ifd + 2 + 12 * e;
        const unsigned tag = u16(o), type = u16(o + 2);
        const long long value = type == 3 ? u16(o + 8) : u32(o + 8);
        switch (tag) {
        case 256: width = value; break;
        case 257: height = value; break;
        case 258: {
            // One value per sample: inline up to two, else where the entry points.
            const std::size_t at = type == 3 && u32(o + 4) > 2 ? std::size_t(u32(o + 8)) : o + 8;
            bits = type == 3 && at <= n - 2 ? u16(at) : value;
            break;
        }
        case 259: compression = value; break;
        case 277: samples = value; break;
        case 278: rowsPerStrip = value; break;
        case 322: tileW = value; break;
        case 323: tileH = value; break;
        default: break;
        }
    }
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) return h;
    h.size = QSize(int(width), int(height));
    h.bytesPerPixel = bits > 8 ? 8 + 4 + 3 : 4 + 3 + (samples == 1 ? 1 : 0);
    // The decoder holds one strip or tile, as decoded, at a time; an
    // uncompressed strip is read in rows.
    const long long pixelBytes = (std::clamp(samples, 1LL, 16LL) * std::clamp(bits, 1LL, 64LL) + 7) / 8;
    const long long stripRows = compression == 1 ? 1 : rowsPerStrip > 0 ? std::min(rowsPerStrip, height) : height;
    h.fixedBytes = std::uint64_t(tileW > 0 && tileH > 0 ? std::min(tileW, 65536LL) * std::min(tileH, 65536LL)
                                                        : width * stripRows) *
                   std::uint64_t(pixelBytes);
    return h;
}

Header walkFor(const char* format, std::span<const std::uint8_t> bytes)
{
    if (std::strcmp(format, "jpeg") == 0) return walkJpeg(bytes);
    if (std::strcmp(format, "png") == 0) return walkPng(bytes);
    if (std::strcmp(format, "bmp") == 0) return walkBmp(bytes);
    if (std::strcmp(format, "gif") == 0) return walkGif(bytes);
    return walkTiff(bytes);
}

std::uint64_t decodedBytes(QSize size, int reduction, const Header& h)
{
    const int f = 1 << reduction;
    const std::uint64_t w = std::uint64_t((size.width() + f - 1) / f), hh = std::uint64_t((size.height() + f - 1) / f);
    return std::uint64_t(double(w * hh) * h.bytesPerPixel) + h.fixedBytes;
}

// Per pixel for a decoder that reports its output format.
double bytesPerPixelOf(QImage::Format format)
{
    if (format == QImage::Format_Invalid) return 8 + 4 + 3; // not told: the widest case
    const int decoded = std::max(1, QImage::toPixelFormat(format).bitsPerPixel() / 8);
    const bool direct = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                        format == QImage::Format_RGB888;
    return decoded + (direct ? 0 : 4) + 3;
}

} // namespace

std::uint64_t DecodeBudgetBytes()
{
    std::uint64_t budget = kDefaultBudget;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        budget = std::min<std::uint64_t>(budget, std::uint64_t(limit.rlim_cur) / 2);
    if (const char* mb = std::getenv("VELMIRANO_DECODE_BUDGET_MB")) {
        const long long v = std::atoll(mb);
        if (v > 0) budget = std::min<std::uint64_t>(budget, std::uint64_t(v) << 20);
    }
    return budget;
}

namespace {

// The plan for a Qt decoder, with the reader already open on the source.
DecodePlan plan(FileSource& source, QImageReader& reader, const char* format, int reduction)
{
    DecodePlan p;
    if (source.bytes().empty()) {
        p.error = kIsEmptyFile;
        return p;
    }
    const Header h = walkFor(format, source.bytes());
    if (h.error != kIsOk) {
        p.error = h.error;
        return p;
    }
    if (!reader.canRead()) {
        p.error = kIsWrongFormat;
        return p;
    }
    Header known = h;
    if (!known.size.isValid() || known.size.isEmpty()) known.size = reader.size();
    if (known.bytesPerPixel == 0) known.bytesPerPixel = bytesPerPixelOf(reader.imageFormat());
    p.stored = known.size;
    if (!known.size.isValid() || known.size.isEmpty()) {
        // Neither the header nor the decoder tells the size before
        // decoding: what it would allocate is unknown, so nothing is.
        p.error = h.truncated ? kIsTruncated : kIsCorrupt;
        return p;
    }
    if (!sizeAllowed(known.size.width(), known.size.height())) {
        p.error = kIsTooLarge;
        return p;
    }
    const std::uint64_t budget = DecodeBudgetBytes();
    const bool scalable = std::strcmp(format, "jpeg") == 0;
    p.reduction = scalable ? std::clamp(reduction, 0, 3) : 0;
    // A JPEG that would not fit is decoded smaller; the others are refused.
    while (scalable && p.reduction < 3 && decodedBytes(known.size, p.reduction, known) > budget) ++p.reduction;
    p.bytes = decodedBytes(known.size, p.reduction, known);
    if (p.bytes > budget) {
        p.error = kIsTooLarge;
        return p;
    }
    if (h.truncated) p.error = kIsTruncated;
    return p;
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
    // The sides once: QImage's accessors are calls into Qt, not inlined.
    const int w = img.width(), h = img.height();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* o = out.row(y);
        if (packed) {
            std::memcpy(o, img.constScanLine(y), out.rowBytes());
            continue;
        }
        const QRgb* in = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x, o += 3) {
            o[0] = std::uint8_t(in[x] >> 16);
            o[1] = std::uint8_t(in[x] >> 8);
            o[2] = std::uint8_t(in[x]);
        }
    }
    return kIsOk;
}

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
// Nothing is decoded before the header walk and the plan allowed it. With
// `into`, the decoder writes into memory that then becomes the RGB buffer,
// so a large photograph needs one buffer rather than two.
QtRead readQt(FileSource& source, const char* format, int reduction, RgbImage* into = nullptr)
{
    QtRead r;
    QImageReader reader(&source.device(), format);
    reader.setAutoTransform(false);
    // The decoder's own picture may take half the budget; the rest is ours.
    reader.setAllocationLimit(int(std::clamp<std::uint64_t>(DecodeBudgetBytes() / 2 >> 20, 1, kAllocationLimitMb)));
    const DecodePlan p = plan(source, reader, format, reduction);
    if (p.error != kIsOk) {
        r.error = p.error;
        return r;
    }
    r.stored = p.stored;
    QSize expected = p.stored;
    if (p.reduction > 0 && expected.isValid()) {
        const int f = 1 << p.reduction;
        expected = QSize((expected.width() + f - 1) / f, (expected.height() + f - 1) / f);
        reader.setScaledSize(expected);
    }
    // The decoder may allocate the planned picture in its widest pixels
    // (8 bytes), nothing larger.
    const std::uint64_t plannedMb =
        (std::uint64_t(expected.width()) * std::uint64_t(expected.height()) * 8 >> 20) + 1;
    reader.setAllocationLimit(int(std::min<std::uint64_t>(plannedMb, std::uint64_t(reader.allocationLimit()))));
    try {
        if (into && expected.isValid() && !expected.isEmpty()) {
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
                buffer.resize(std::size_t(w) * std::size_t(h) * 3); // no copy: capacity stays
                into->rgb = std::move(buffer);
                into->width = w;
                into->height = h;
                return r;
            }
            // The decoder chose another layout; it owns its pixels then,
            // unless it kept ours.
            r.image = target.constBits() == buffer.data() ? target.copy() : std::move(target);
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
    // A decoder that made more than the header promised (a damaged GIF
    // whose frames lie outside its screen) gets no further memory from us.
    if (!sizeAllowed(r.image.width(), r.image.height()) ||
        (long long)r.image.width() * r.image.height() > (long long)expected.width() * expected.height()) {
        r.image = QImage();
        r.error = kIsTooLarge;
        return r;
    }
    if (!r.stored.isValid()) r.stored = r.image.size();
    return r;
}

// `direct`: the decoder writes 32-bit pixels straight into the RGB buffer
// (the JPEG decoder does; the others choose their own layout).
ReadResult readRgb(FileSource& source, const char* format, int reduction = 0, bool direct = false)
{
    ReadResult r;
    QtRead read = readQt(source, format, reduction, direct ? &r.image : nullptr);
    r.error = read.error;
    r.storedSize = read.stored;
    if (r.error != kIsOk || !r.image.empty()) return r;
    r.error = toRgb(std::move(read.image), r.image);
    return r;
}

// Limits for metafiles: real drawings have some thousands of records, and
// pictures inside them are not larger than a photograph on a screen.
constexpr int kMaxMetafileRecords = 250'000;
constexpr long long kMaxMetafileBitmapPixels = 16LL << 20;

// Checks a device-independent bitmap inside a metafile record (`d` up to
// the record's end) the way the player relies on it: the player loops
// forever or reads past the record on headers it does not expect.
bool bitmapSound(std::span<const std::uint8_t> d)
{
    if (d.size() < 40 || le32(d.data()) != 40) return false;
    const long long width = std::int32_t(le32(d.data() + 4));
    const long long height = std::llabs(std::int32_t(le32(d.data() + 8)));
    const unsigned planes = le16(d.data() + 12), bits = le16(d.data() + 14);
    const std::uint32_t compression = le32(d.data() + 16), used = le32(d.data() + 32);
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535 || width * height > kMaxMetafileBitmapPixels)
        return false;
    if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return false;
    const bool runs = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    if (compression != 0 && !runs && !(compression == 3 && (bits == 16 || bits == 32))) return false;
    if (bits <= 8 && used > (1u << bits)) return false;
    if (runs) return true; // the run-length decoder stops at the data's end
    const long long colours = bits <= 8 ? (used ? used : (1LL << bits)) * 4 : (compression == 3 ? 12 : 0);
    const long long stride = (width * bits + 31) / 32 * 4;
    return (long long)d.size() >= 40 + colours + stride * height;
}

// Walks the metafile's records: each must fit in the file, the drawing must
// not be endless, and every bitmap in it must be one the player can take.
int metafileSound(std::span<const std::uint8_t> d, bool placeable)
{
    std::size_t i = placeable ? 22 : 0;
    if (d.size() < i + 18) return kIsTruncated;
    if (le16(d.data() + i + 2) != 9) return kIsCorrupt;
    // The player allocates the largest record's size as the header states
    // it, before reading a record.
    if (le32(d.data() + i + 12) > d.size() / 2) return kIsCorrupt;
    i += 18;
    int records = 0;
    while (i + 6 <= d.size()) {
        const std::uint64_t words = le32(d.data() + i);
        const unsigned function = le16(d.data() + i + 4);
        if (function == 0) return kIsOk; // the end record
        if (words < 3 || words * 2 > d.size() - i) return words < 3 ? kIsCorrupt : kIsTruncated;
        if (++records > kMaxMetafileRecords) return kIsTooManyParts;
        const std::span<const std::uint8_t> record = d.subspan(i, std::size_t(words * 2));
        // Where the bitmap starts in the records that carry one; the
        // record's size tells whether it does.
        std::size_t at = 0;
        switch (function) {
        case 0x0940: at = words > 12 ? 22 : 0; break; // bit block transfer
        case 0x0B41: at = words > 14 ? 26 : 0; break; // stretched bit block transfer
        case 0x0F43: at = 28; break;                  // stretched bitmap
        case 0x0D33: at = 24; break;                  // bitmap to device
        case 0x0142: at = 10; break;                  // pattern brush
        default: break;
        }
        if (at && (record.size() <= at || !bitmapSound(record.subspan(at)))) return kIsCorrupt;
        i += std::size_t(words * 2);
    }
    return kIsTruncated;
}

ReadResult fromDecoder(FileSource& source,
                       int (*decode)(const std::uint8_t*, std::size_t, RgbImage&, std::uint64_t))
{
    ReadResult r;
    const auto bytes = source.bytes();
    if (bytes.empty()) {
        r.error = kIsEmptyFile;
        return r;
    }
    r.error = decode(bytes.data(), bytes.size(), r.image, DecodeBudgetBytes());
    if (r.error == kIsOk) r.storedSize = QSize(r.image.width, r.image.height);
    return r;
}

} // namespace

// ---------------------------------------------------------------- readers

QSize ReadJPGSize(FileSource& source)
{
    const Header h = walkJpeg(source.bytes());
    return h.error == kIsOk ? h.size : QSize();
}

DecodePlan PlanDecode(FileSource& source, const char* format, int reduction)
{
    QImageReader reader(&source.device(), format);
    reader.setAutoTransform(false);
    const DecodePlan p = plan(source, reader, format, reduction);
    source.Seek();
    return p;
}

ReadResult ReadJPG(FileSource& source, int reduction)
{
    return readRgb(source, "jpeg", std::clamp(reduction, 0, 3), true);
}
ReadResult ReadBMP(FileSource& source) { return readRgb(source, "bmp"); }
ReadResult ReadPNG(FileSource& source) { return readRgb(source, "png"); }
ReadResult ReadTIFF(FileSource& source) { return readRgb(source, "tiff"); }
ReadResult ReadPCX(FileSource& source) { return fromDecoder(source, DecodePCX); }
ReadResult ReadTGA(FileSource& source) { return fromDecoder(source, DecodeTGA); }

EightBitResult ReadGIF(FileSource& source)
{
    EightBitResult r;
    QtRead read = readQt(source, "gif", 0);
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
    SourceResult opened = OpenFileSource(path);
    if (!opened.source) {
        ReadResult r;
        r.error = opened.error;
        return r;
    }
    return ReadMetafile(*opened.source);
}

ReadResult ReadMetafile(FileSource& source)
{
    ReadResult r;
    const auto bytes = source.bytes();
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
    r.error = metafileSound(bytes, placeable);
    if (r.error != kIsOk) return r;
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
