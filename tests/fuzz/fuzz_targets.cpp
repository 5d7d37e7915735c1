#include "fuzz_targets.h"

#include "platform/pcx.h"
#include "platform/tga.h"

#include <cstdlib>

namespace vm {

namespace {

// Success means a whole buffer of the stated size; failure an empty one
// and a number from the library's table.
int checked(int error, const RgbImage& img)
{
    bool known = false;
    for (const IsErrorInfo& e : imageLibraryErrors()) known = known || e.number == error;
    if (!known) std::abort();
    if (error == kIsOk) {
        if (img.width <= 0 || img.height <= 0 ||
            img.rgb.size() != std::size_t(img.width) * std::size_t(img.height) * 3)
            std::abort();
    } else if (!img.empty() || img.width != 0 || img.height != 0) {
        std::abort();
    }
    return error;
}

} // namespace

int FuzzPcx(const std::uint8_t* data, std::size_t size)
{
    RgbImage img;
    return checked(DecodePCX(data, size, img), img);
}

int FuzzTga(const std::uint8_t* data, std::size_t size)
{
    RgbImage img;
    return checked(DecodeTGA(data, size, img), img);
}

} // namespace vm
