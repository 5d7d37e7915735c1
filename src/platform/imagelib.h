// The image library: decoding, scaling, turning, metadata and drawing on
// RGB buffers. This header holds what every part of it shares.
#pragma once

#include "platform/gdi.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace vm {

// True when the decoders the show needs are present: without a JPEG
// decoder the show cannot run at all.
bool ImageLibraryInitialize();
bool ImageLibraryInitialize(const QList<QByteArray>& supportedFormats);

// The library's error numbers. A failed call hands its number back with its
// result; messages carry the number, ImageLibraryErrorText explains it.
enum IsError : int {
    kIsOk = 0,
    kIsFileNotFound = 1,
    kIsAccessDenied = 2,
    kIsNotAFile = 3,      // a folder or a device, not a file
    kIsReadFailed = 4,
    kIsWrongFormat = 5,   // not a picture of the format the reader expects
    kIsTruncated = 6,
    kIsCorrupt = 7,
    kIsTooLarge = 8,
    kIsOutOfMemory = 9,
    kIsUnsupported = 10,  // a variant of the format this reader does not decode
    kIsNoReader = 11,     // no reader for this file type
    kIsBadArgument = 12,
    kIsEmptyFile = 13,
    kIsMetafileFailed = 14,
    kIsTooManyParts = 15, // more segments, scans or chunks than any real picture has
};

struct IsErrorInfo {
    int number;
    const char* text; // German, for people reading the error log
};
const std::array<IsErrorInfo, 16>& imageLibraryErrors();
// The German explanation of an error number; "unbekannter Fehler" otherwise.
const char* ImageLibraryErrorText(int number);

// Largest picture a reader decodes: admits a 100-megapixel photograph and
// refuses headers that would need gigabytes.
constexpr long long kMaxPicturePixels = 150'000'000;
// Longest side a picture may have; keeps the scaling sums within 32 bits.
constexpr int kMaxPictureSide = 1'000'000;

// Memory for picture buffers. Blocks of megabytes come from huge pages where
// the system offers them: a 24-megapixel picture then costs a few dozen
// page faults instead of tens of thousands.
void* AllocatePictureMemory(std::size_t bytes); // throws std::bad_alloc
void FreePictureMemory(void* p, std::size_t bytes);

template <class T>
struct PictureAllocator {
    using value_type = T;
    PictureAllocator() = default;
    template <class U>
    PictureAllocator(const PictureAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t n) { return static_cast<T*>(AllocatePictureMemory(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { FreePictureMemory(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const PictureAllocator<U>&) const noexcept
    {
        return true;
    }
};

using PictureBuffer = std::vector<std::uint8_t, PictureAllocator<std::uint8_t>>;

// A picture as the library hands it around: 24-bit R,G,B rows of
// width * 3 bytes with no gap, top row first, zero-filled when made.
struct RgbImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    PictureBuffer rgb;

    bool empty() const { return rgb.empty(); }
    std::size_t rowBytes() const { return std::size_t(width) * 3; }
    std::uint8_t* row(int y) { return rgb.data() + std::size_t(y) * rowBytes(); }
    const std::uint8_t* row(int y) const { return rgb.data() + std::size_t(y) * rowBytes(); }
    // Allocates a zero-filled buffer; false when the size is impossible
    // (more than kMaxPicturePixels or
    // a side longer than kMaxPictureSide) or memory runs out.
    bool allocate(std::int32_t w, std::int32_t h);
    void clear();
};

// A palette picture: one byte per pixel, rows of width bytes, and 256
// palette entries 0x00RRGGBB.
struct EightBitImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::array<std::uint32_t, 256> palette{};
};

// Fills `out` (allocated here) with the palette colours of `in`.
// kIsOk or the error number.
int EightBitToRGB(const EightBitImage& in, RgbImage& out);

// Scales src into dst (whose size and buffer are already set): area
// averaging along an axis that shrinks, linear interpolation along one that
// grows. A 1 x 1 destination gets the average colour. False only for an
// empty source or destination (error number kIsBadArgument).
bool ResizeImage(const RgbImage& src, RgbImage& dst);

// Turn codes: 0 = 90 degrees clockwise, 1 = 180 degrees, 2 = 90 degrees
// counter-clockwise. Width and height are exchanged for 0 and 2. False for
// an empty picture, an unknown code or missing memory; the picture is then
// unchanged.
bool QuickRotateImageInPlace(RgbImage& image, int code);

// A bitmap for a context, and back.
std::unique_ptr<Bitmap> RgbToBitmap(const RgbImage& image);
RgbImage BitmapToRgb(const Bitmap& bitmap);

// Turns the picture grey in place (luma of ITU-R BT.601, rounded); false
// for an empty buffer.
bool ImageToGrayScale(RgbImage& image);

} // namespace vm
