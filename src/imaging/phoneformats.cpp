#include "imaging/phoneformats.h"

#include <algorithm>
#include <cmath>

namespace vm {

PhoneFormat PhoneFormatOf(const QString& extension)
{
    if (extension == QLatin1String("HEIC") || extension == QLatin1String("HEIF") ||
        extension == QLatin1String("AVIF"))
        return PhoneFormat::Heif;
    if (extension == QLatin1String("WEBP")) return PhoneFormat::WebP;
    if (extension == QLatin1String("JXL")) return PhoneFormat::Jxl;
    return PhoneFormat::None;
}

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

} // namespace vm
