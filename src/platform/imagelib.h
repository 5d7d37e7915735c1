// The image library: decoding, scaling, turning, metadata and drawing on
// RGB buffers. This header holds what every part of it shares.
#pragma once

#include "platform/gdi.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <memory>
#include <vector>

namespace vm {

// True when the decoders the show needs are present: without a JPEG
// decoder the show cannot run at all.
bool ImageLibraryInitialize();
bool ImageLibraryInitialize(const QList<QByteArray>& supportedFormats);

// A picture as the library hands it around: 24-bit R,G,B rows of
// width * 3 bytes with no gap, top row first, zero-filled when made.
struct RgbImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> rgb;

    bool empty() const { return rgb.empty(); }
    std::size_t rowBytes() const { return std::size_t(width) * 3; }
    // Allocates a zero-filled buffer; false when the size is impossible or
    // memory runs out.
    bool allocate(std::int32_t w, std::int32_t h);
};

// Scales src into dst (whose size and buffer are already set) by area
// averaging; a 1 x 1 destination gets the average colour. False on failure.
bool ResizeImage(const RgbImage& src, RgbImage& dst);

// Turn codes: 0 = 90 degrees clockwise, 1 = 180 degrees, 2 = 90 degrees
// counter-clockwise. Width and height are exchanged for 0 and 2.
bool QuickRotateImageInPlace(RgbImage& image, int code);

// A bitmap for a context, and back.
std::unique_ptr<Bitmap> RgbToBitmap(const RgbImage& image);
RgbImage BitmapToRgb(const Bitmap& bitmap);

// Turns the picture grey in place (luma of ITU-R BT.601, rounded); false
// for an empty buffer.
bool ImageToGrayScale(RgbImage& image);

} // namespace vm
