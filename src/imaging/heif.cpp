// HEIC/HEIF and AVIF through libheif (HEVC by libde265, AV1 by dav1d or aom).
#include "imaging/phoneformats.h"

#include "imaging/isobmff.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace vm {

namespace {

using isobmff::Box;
using isobmff::be16;
using isobmff::be32;
using isobmff::forEachBox;

int errorOf(const heif_error& e)
{
    switch (e.code) {
    case heif_error_Ok: return kIsOk;
    case heif_error_Unsupported_filetype: return kIsWrongFormat;
    case heif_error_Unsupported_feature: return kIsUnsupported;
    case heif_error_Memory_allocation_error:
        // libheif's own limits on sizes and counts.
        return e.subcode == heif_suberror_Security_limit_exceeded ? kIsTooLarge : kIsOutOfMemory;
    case heif_error_Invalid_input:
        return e.subcode == heif_suberror_End_of_data ? kIsTruncated : kIsCorrupt;
    default: return kIsCorrupt;
    }
}

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

// The EXIF block of the picture from its TIFF header on: libheif hands it
// with a four-byte offset to that header in front.
QByteArray exifOf(heif_image_handle* handle)
{
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1) return {};
    const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 4 || size > kMaxExifBlockBytes) return {};
    QByteArray block(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) return {};
    const std::uint32_t offset = be32(reinterpret_cast<const std::uint8_t*>(block.constData()));
    if (offset > size - 4) return {};
    return block.mid(qsizetype(4 + offset));
}

} // namespace

HeifCensus CountHeifItems(std::span<const std::uint8_t> bytes)
{
    HeifCensus c;
    bool meta = false;
    const bool whole = forEachBox(bytes, [&](const Box& top) {
        if (!top.is("meta")) return true;
        meta = true;
        if (top.body.size() < 4) {
            c.error = kIsCorrupt;
            return false;
        }
        std::uint32_t primary = 0;
        std::vector<bool> turning; // per property, in order: a turn or a mirroring
        std::vector<std::vector<unsigned>> associations; // per item: its properties
        std::vector<std::uint32_t> associated;           // the items, in that order
        const bool metaWhole = forEachBox(top.body.subspan(4), [&](const Box& b) {
            if (b.is("pitm") && b.body.size() >= 6)
                primary = b.body[0] == 0 ? be16(b.body.data() + 4) : b.body.size() >= 8 ? be32(b.body.data() + 4) : 0;
            if (b.is("iprp")) {
                forEachBox(b.body, [&](const Box& p) {
                    if (p.is("ipco")) {
                        forEachBox(p.body, [&](const Box& property) {
                            const bool turn = property.is("irot") && !property.body.empty() && (property.body[0] & 3);
                            turning.push_back(turn || property.is("imir"));
                            return turning.size() < 65536;
                        });
                    } else if (p.is("ipma") && p.body.size() >= 8) {
                        const bool wideIds = p.body[0] >= 1, wideIndexes = p.body[3] & 1;
                        const std::uint32_t entries = be32(p.body.data() + 4);
                        std::size_t at = 8;
                        for (std::uint32_t e = 0; e < entries && e < 65536; ++e) {
                            if (at + (wideIds ? 5 : 3) > p.body.size()) break;
                            associated.push_back(wideIds ? be32(p.body.data() + at) : be16(p.body.data() + at));
                            at += wideIds ? 4 : 2;
                            const unsigned count = p.body[at++];
                            associations.emplace_back();
                            for (unsigned a = 0; a < count && at + (wideIndexes ? 2 : 1) <= p.body.size(); ++a) {
                                associations.back().push_back(wideIndexes ? be16(p.body.data() + at) & 0x7FFF
                                                                          : p.body[at] & 0x7F);
                                at += wideIndexes ? 2 : 1;
                            }
                        }
                    }
                    return true;
                });
            }

            if (b.is("iinf") && b.body.size() >= 6) {
                // A full box: version 0 counts in 16 bits, later ones in 32.
                const std::uint32_t n = b.body[0] == 0 ? be16(b.body.data() + 4)
                                        : b.body.size() >= 8 ? be32(b.body.data() + 4)
                                                             : 0;
                c.items = int(std::min<std::uint32_t>(n, 1u << 30));
            } else if (b.is("iref") && b.body.size() >= 4) {
                const std::size_t id = b.body[0] == 0 ? 2 : 4;
                forEachBox(b.body.subspan(4), [&](const Box& r) {
                    if (r.is("dimg") && r.body.size() >= id + 2)
                        c.tiles = int(std::min<long long>((long long)c.tiles + be16(r.body.data() + id), 1 << 30));
                    return true;
                });
            }
            return true;
        });
        if (!metaWhole && c.error == kIsOk) c.error = kIsTruncated;
        for (std::size_t i = 0; i < associated.size(); ++i) {
            if (associated[i] != primary) continue;
            for (unsigned index : associations[i])
                if (index >= 1 && index <= turning.size() && turning[index - 1]) c.transformed = true;
        }
        return false;
    });
    if (c.error != kIsOk) return c;
    if (!meta) c.error = whole ? kIsWrongFormat : kIsTruncated;
    else if (c.items > kMaxHeifItems || c.tiles > kMaxHeifTiles) c.error = kIsTooManyParts;
    return c;
}

PhoneRead ReadHEIF(std::span<const std::uint8_t> bytes, std::uint64_t budget)
{
    PhoneRead r;
    if (bytes.empty()) {
        r.error = kIsEmptyFile;
        return r;
    }
    if (bytes.size() < 12 || std::memcmp(bytes.data() + 4, "ftyp", 4) != 0) {
        r.error = kIsWrongFormat;
        return r;
    }
    const HeifCensus census = CountHeifItems(bytes);
    if (census.error != kIsOk) {
        r.error = census.error;
        return r;
    }
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) {
        r.error = kIsOutOfMemory;
        return r;
    }
    // Tiles are decoded on this thread, one after the other: the decoder
    // process has one file and one job.
    heif_context_set_max_decoding_threads(context.get(), 0);
    heif_error e = heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr);
    if (e.code != heif_error_Ok) {
        r.error = errorOf(e);
        return r;
    }
    heif_image_handle* raw = nullptr;
    e = heif_context_get_primary_image_handle(context.get(), &raw);
    std::unique_ptr<heif_image_handle, HandleFree> handle(raw);
    if (e.code != heif_error_Ok || !handle) {
        r.error = e.code == heif_error_Ok ? kIsCorrupt : errorOf(e);
        return r;
    }
    // The size after the file's own turning and cropping, known before any
    // pixel is decoded.
    const long long w = heif_image_handle_get_width(handle.get()), h = heif_image_handle_get_height(handle.get());
    const long long iw = heif_image_handle_get_ispe_width(handle.get()),
                    ih = heif_image_handle_get_ispe_height(handle.get());
    if (w <= 0 || h <= 0) {
        r.error = kIsCorrupt;
        return r;
    }
    if (w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels ||
        std::max(iw, 0LL) * std::max(ih, 0LL) > kMaxPicturePixels ||
        (census.tiles == 0 && w * h > kMaxCodedPixels)) {
        r.error = kIsTooLarge;
        return r;
    }
    // The decoder's picture planes (two bytes a sample beyond 8 bits), the
    // interleaved result libheif converts them to, and ours.
    const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    const std::uint64_t perPixel = bits > 8 ? 6 + 6 + 3 : 3 + 3 + 3;
    if (std::uint64_t(w) * std::uint64_t(h) * perPixel > budget) {
        r.error = kIsTooLarge;
        return r;
    }
    r.exif = exifOf(handle.get());
    r.turnedByFormat = census.transformed;

    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options) {
        r.error = kIsOutOfMemory;
        return r;
    }
    options->ignore_transformations = 0; // irot, imir and clap, once, by libheif
    if (options->version >= 2) options->convert_hdr_to_8bit = 1;
    heif_image* decodedRaw = nullptr;
    try {
        e = heif_decode_image(handle.get(), &decodedRaw, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                              options.get());
    } catch (const std::bad_alloc&) {
        e = {heif_error_Memory_allocation_error, heif_suberror_Unspecified, ""};
    }
    std::unique_ptr<heif_image, ImageFree> decoded(decodedRaw);
    if (e.code != heif_error_Ok || !decoded) {
        r.error = e.code == heif_error_Ok ? kIsCorrupt : errorOf(e);
        return r;
    }
    // What came back must be what the handle promised, 8 bits a sample.
    const int dw = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int dh = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    if (!plane || dw != w || dh != h || stride < dw * 3 ||
        heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) != 8) {
        r.error = kIsCorrupt;
        return r;
    }
    if (!r.image.allocate(dw, dh)) {
        r.error = kIsOutOfMemory;
        return r;
    }
    for (int y = 0; y < dh; ++y)
        std::memcpy(r.image.row(y), plane + std::size_t(y) * std::size_t(stride), r.image.rowBytes());
    r.stored = QSize(dw, dh);
    return r;
}

} // namespace vm
