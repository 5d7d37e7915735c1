// The entry of the module that holds the phone formats' readers and, through
// them, libheif, libwebp and libjxl: the decoder loads it only for a picture
// of these formats. One plain function, so that nothing but the answer
// crosses; no exception leaves it.
#include "imaging/phoneformats.h"

#include <QtGlobal>

#include <new>

extern "C" Q_DECL_EXPORT void velmirano_read_phone(int format, const std::uint8_t* data, std::size_t size,
                                                   std::uint64_t budget, int fitWidth, int fitHeight,
                                                   vm::PhoneRead* out)
{
    try {
        *out = vm::ReadPhonePicture(vm::PhoneFormat(format), std::span<const std::uint8_t>(data, size), budget,
                                    QSize(fitWidth, fitHeight));
    } catch (const std::bad_alloc&) {
        *out = vm::PhoneRead{};
        out->error = vm::kIsOutOfMemory;
    } catch (...) {
        *out = vm::PhoneRead{};
        out->error = vm::kIsCorrupt;
    }
}
