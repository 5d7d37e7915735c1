// JPEG XL through libjxl: the first frame, turned by the codestream's own
// orientation, on this thread.
#include "imaging/phoneformats.h"

#include "imaging/isobmff.h"

#include <jxl/decode.h>

#include <memory>
#include <new>

namespace vm {

namespace {

struct DecoderFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};

constexpr std::uint8_t kCodestream[2] = {0xFF, 0x0A};
constexpr std::uint8_t kContainer[12] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};

// The EXIF block of a container's plain "Exif" box, from its TIFF header on
// (the box starts with a four-byte offset to it). A compressed one is left.
QByteArray exifBox(std::span<const std::uint8_t> bytes)
{
    QByteArray exif;
    isobmff::forEachBox(bytes, [&](const isobmff::Box& b) {
        if (!b.is("Exif")) return true;
        if (b.body.size() >= 4 && b.body.size() <= kMaxExifBlockBytes) {
            const std::uint32_t offset = isobmff::be32(b.body.data());
            if (offset <= b.body.size() - 4)
                exif = QByteArray(reinterpret_cast<const char*>(b.body.data() + 4 + offset),
                                  qsizetype(b.body.size() - 4 - offset));
        }
        return false;
    });
    return exif;
}

} // namespace

PhoneRead ReadJXL(std::span<const std::uint8_t> bytes, std::uint64_t budget)
{
    PhoneRead r;
    // The codestream's orientation is the picture's; libjxl applies it, and
    // an EXIF orientation beside it is not the format's.
    r.turnedByFormat = true;
    if (bytes.empty()) {
        r.error = kIsEmptyFile;
        return r;
    }
    const bool container = bytes.size() >= sizeof kContainer && std::memcmp(bytes.data(), kContainer, sizeof kContainer) == 0;
    if (!container && (bytes.size() < 2 || std::memcmp(bytes.data(), kCodestream, 2) != 0)) {
        r.error = kIsWrongFormat;
        return r;
    }
    if (container) r.exif = exifBox(bytes);

    std::unique_ptr<JxlDecoder, DecoderFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder) {
        r.error = kIsOutOfMemory;
        return r;
    }
    // No parallel runner: libjxl then decodes on the calling thread.
    if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS) {
        r.error = kIsCorrupt;
        return r;
    }
    JxlDecoderCloseInput(decoder.get());
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    QSize size;
    try {
        for (;;) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
            if (status == JXL_DEC_BASIC_INFO) {
                JxlBasicInfo info{};
                if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) {
                    r.error = kIsCorrupt;
                    return r;
                }
                // The size as shown: libjxl turns by the orientation.
                const long long w = info.xsize, h = info.ysize;
                if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels) {
                    r.error = kIsTooLarge;
                    return r;
                }
                // libjxl works in 32-bit float planes, three of them and
                // one for alpha, besides our buffer.
                if (std::uint64_t(w) * std::uint64_t(h) * (16 + 3) > budget) {
                    r.error = kIsTooLarge;
                    return r;
                }
                size = QSize(int(w), int(h));
            } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
                std::size_t need = 0;
                if (!size.isValid() || JxlDecoderImageOutBufferSize(decoder.get(), &format, &need) != JXL_DEC_SUCCESS ||
                    need != std::size_t(size.width()) * std::size_t(size.height()) * 3) {
                    r.error = kIsCorrupt;
                    return r;
                }
                if (!r.image.allocate(size.width(), size.height())) {
                    r.error = kIsOutOfMemory;
                    return r;
                }
                if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, r.image.rgb.data(), r.image.rgb.size()) !=
                    JXL_DEC_SUCCESS) {
                    r.image.clear();
                    r.error = kIsCorrupt;
                    return r;
                }
            } else if (status == JXL_DEC_FULL_IMAGE) {
                // The first frame is the picture; an animation's others are left.
                if (r.image.empty()) {
                    r.error = kIsCorrupt;
                    return r;
                }
                r.stored = size;
                return r;
            } else if (status == JXL_DEC_SUCCESS) {
                if (r.image.empty()) r.error = kIsCorrupt;
                r.stored = size;
                return r;
            } else {
                r.image.clear();
                r.error = status == JXL_DEC_NEED_MORE_INPUT ? kIsTruncated : kIsCorrupt;
                return r;
            }
        }
    } catch (const std::bad_alloc&) {
        r.image.clear();
        r.error = kIsOutOfMemory;
        return r;
    }
}

} // namespace vm
