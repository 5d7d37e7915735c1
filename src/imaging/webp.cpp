// WebP through libwebp: stills, and the first frame of an animation.
#include "imaging/phoneformats.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace vm {

namespace {

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// The RIFF chunks of a WebP, walked before libwebp sees them: how many
// frames an animation has and where the EXIF chunk is.
struct RiffWalk {
    int error = kIsOk;
    int frames = 0;
    std::span<const std::uint8_t> exif;
};

RiffWalk walkRiff(std::span<const std::uint8_t> d)
{
    RiffWalk w;
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) != 0 || std::memcmp(d.data() + 8, "WEBP", 4) != 0) {
        w.error = d.empty() ? kIsEmptyFile : kIsWrongFormat;
        return w;
    }
    // The RIFF size may claim less than the file holds (trailing bytes are
    // ignored), never more.
    const std::uint64_t riff = std::uint64_t(le32(d.data() + 4)) + 8;
    if (riff > d.size()) {
        w.error = kIsTruncated;
        return w;
    }
    std::size_t i = 12;
    const std::size_t end = std::size_t(riff);
    while (i + 8 <= end) {
        const std::uint64_t size = le32(d.data() + i + 4);
        if (size > end - i - 8) {
            w.error = kIsTruncated;
            return w;
        }
        if (std::memcmp(d.data() + i, "ANMF", 4) == 0 && ++w.frames > kMaxAnimationFrames) {
            w.error = kIsTooManyParts;
            return w;
        }
        if (std::memcmp(d.data() + i, "EXIF", 4) == 0 && w.exif.empty())
            w.exif = d.subspan(i + 8, std::size_t(size));
        i += 8 + std::size_t(size) + (size & 1); // chunks are padded to even sizes
    }
    return w;
}

struct DemuxFree {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

// The still picture to decode: the file itself, or an animation's first
// frame.
struct Still {
    int error = kIsOk;
    std::span<const std::uint8_t> data;
    std::unique_ptr<WebPDemuxer, DemuxFree> demux; // owns nothing of data; kept for its frame view
};

Still stillOf(std::span<const std::uint8_t> bytes, const RiffWalk& walk)
{
    Still s;
    if (walk.frames == 0) {
        s.data = bytes;
        return s;
    }
    WebPData data{bytes.data(), bytes.size()};
    s.demux.reset(WebPDemux(&data));
    WebPIterator frame{};
    if (!s.demux || !WebPDemuxGetFrame(s.demux.get(), 1, &frame)) {
        s.error = kIsCorrupt;
        return s;
    }
    s.data = std::span<const std::uint8_t>(frame.fragment.bytes, frame.fragment.size);
    WebPDemuxReleaseIterator(&frame);
    return s;
}

} // namespace

QSize ReadWebPSize(std::span<const std::uint8_t> bytes)
{
    const RiffWalk walk = walkRiff(bytes);
    if (walk.error != kIsOk) return {};
    const Still still = stillOf(bytes, walk);
    WebPBitstreamFeatures f{};
    if (still.error != kIsOk || WebPGetFeatures(still.data.data(), still.data.size(), &f) != VP8_STATUS_OK) return {};
    return QSize(f.width, f.height);
}

PhoneRead ReadWebP(std::span<const std::uint8_t> bytes, std::uint64_t budget, int reduction)
{
    PhoneRead r;
    const RiffWalk walk = walkRiff(bytes);
    if (walk.error != kIsOk) {
        r.error = walk.error;
        return r;
    }
    if (walk.exif.size() <= kMaxExifBlockBytes) {
        r.exif = QByteArray(reinterpret_cast<const char*>(walk.exif.data()), qsizetype(walk.exif.size()));
        // Some writers keep the JPEG segment's marker in front of the block.
        if (r.exif.startsWith(QByteArray("Exif\0\0", 6))) r.exif.remove(0, 6);
    }
    const Still still = stillOf(bytes, walk);
    if (still.error != kIsOk) {
        r.error = still.error;
        return r;
    }
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        r.error = kIsUnsupported;
        return r;
    }
    const VP8StatusCode features = WebPGetFeatures(still.data.data(), still.data.size(), &config.input);
    if (features != VP8_STATUS_OK) {
        r.error = features == VP8_STATUS_NOT_ENOUGH_DATA ? kIsTruncated : kIsCorrupt;
        return r;
    }
    const long long w = config.input.width, h = config.input.height;
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels) {
        r.error = kIsTooLarge;
        return r;
    }
    const int f = 1 << std::clamp(reduction, 0, 3);
    const int ow = int((w + f - 1) / f), oh = int((h + f - 1) / f);
    // A lossless picture is decoded whole in 32-bit pixels before any
    // scaling; a lossy one in rows. Then our RGB buffer.
    if (std::uint64_t(w) * std::uint64_t(h) * 4 + std::uint64_t(ow) * std::uint64_t(oh) * 3 > budget) {
        r.error = kIsTooLarge;
        return r;
    }
    if (!r.image.allocate(ow, oh)) {
        r.error = kIsOutOfMemory;
        return r;
    }
    config.options.use_threads = 0;
    if (f > 1) {
        config.options.use_scaling = 1;
        config.options.scaled_width = ow;
        config.options.scaled_height = oh;
    }
    // Straight into our buffer: nothing of libwebp's own survives the call.
    config.output.colorspace = MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = r.image.rgb.data();
    config.output.u.RGBA.stride = int(r.image.rowBytes());
    config.output.u.RGBA.size = r.image.rgb.size();
    const VP8StatusCode status = WebPDecode(still.data.data(), still.data.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        r.image.clear();
        r.error = status == VP8_STATUS_NOT_ENOUGH_DATA         ? kIsTruncated
                  : status == VP8_STATUS_OUT_OF_MEMORY         ? kIsOutOfMemory
                  : status == VP8_STATUS_UNSUPPORTED_FEATURE ? kIsUnsupported
                                                               : kIsCorrupt;
        return r;
    }
    r.stored = QSize(int(w), int(h));
    return r;
}

} // namespace vm
