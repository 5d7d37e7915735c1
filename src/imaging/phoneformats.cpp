#include "imaging/phoneformats.h"

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

} // namespace vm
