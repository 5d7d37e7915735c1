// The phone formats' readers themselves, linked into the tool, the tests
// and the fuzzers, and into the module the decoder loads when it needs them.
#include "imaging/phoneformats.h"

#include <algorithm>
#include <cmath>

namespace vm {

PhoneRead ReadPhonePicture(PhoneFormat format, std::span<const std::uint8_t> bytes, std::uint64_t budget, QSize fit)
{
    switch (format) {
    case PhoneFormat::Heif: return ReadHEIF(bytes, budget);
    case PhoneFormat::Jxl: return ReadJXL(bytes, budget);
    case PhoneFormat::WebP: {
        // Halved while it stays at least as large as it will be shown.
        int reduction = 0;
        const QSize stored = fit.isValid() ? ReadWebPSize(bytes) : QSize();
        if (stored.isValid() && fit.width() > 0 && fit.height() > 0) {
            const double s = std::max(double(stored.width()) / fit.width(), double(stored.height()) / fit.height());
            while (reduction < 3 && s >= double(2 << reduction)) ++reduction;
        }
        return ReadWebP(bytes, budget, reduction);
    }
    case PhoneFormat::None: break;
    }
    PhoneRead r;
    r.error = kIsNoReader;
    return r;
}

bool PreparePhoneReaders() { return true; }

} // namespace vm
