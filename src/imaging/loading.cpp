#include "imaging/loading.h"

#include "imaging/imagereaders.h"
#include "imaging/phoneformats.h"

#include <algorithm>
#include <cmath>

namespace vm {

namespace {

QString failure(int error, const char* step, const QString& path)
{
    return QStringLiteral("Fehler ") + QString::number(error) + QLatin1String(" in ") +
           QLatin1String(step) + QLatin1Char('\n') + path;
}

// The whole number at the start of a text, as the orientation value is
// read from its text.
long leadingNumber(const QString& text)
{
    const QString t = text.trimmed();
    long value = 0;
    qsizetype i = 0;
    const bool negative = t.startsWith(QLatin1Char('-'));
    if (negative || t.startsWith(QLatin1Char('+'))) ++i;
    for (; i < t.size() && t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9'); ++i) {
        if (value > 100000000) break;
        value = value * 10 + (t[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

// The orientation in a picture's own EXIF directory (the thumbnail's is
// the thumbnail's), mapped to a turn code.
std::optional<int> turnOf(const PictureMetadata& metadata)
{
    const ExifField* field = metadata.exifTag(274);
    if (!field || field->group == QLatin1String("Thumbnail")) return std::nullopt;
    return TurnForOrientation(leadingNumber(field->text));
}

// HEIC/HEIF, AVIF, WebP and JPEG XL. Their EXIF block goes through the same
// metadata wrapper as a JPEG's. The EXIF orientation turns only a format
// that has no turning of its own: HEIF's irot and JPEG XL's orientation are
// applied by their libraries, and a phone writes the same turn into EXIF
// too, which must not turn the picture a second time.
ReadResult readPhone(PhoneFormat format, std::span<const std::uint8_t> bytes, bool exifRotate,
                     std::optional<QSize> fitHint, PictureMetadata* metadata)
{
    ReadResult read;
    std::optional<int> turn;
    QSize fit = fitHint.value_or(QSize());
    // Whether the picture will be turned is known only after reading: the
    // reduction then must suit either way round.
    if (exifRotate && fit.isValid()) fit = QSize(std::max(fit.width(), fit.height()), std::max(fit.width(), fit.height()));
    PhoneRead phone = ReadPhonePicture(format, bytes, DecodeBudgetBytes(), fit);
    std::optional<PictureMetadata> exif;
    if (!phone.exif.isEmpty() && (metadata || (exifRotate && !phone.turnedByFormat))) {
        exif = ReadPictureMetadata(std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(phone.exif.constData()), std::size_t(phone.exif.size())));
        if (metadata && exif) *metadata = *exif;
    }
    if (exif && exifRotate && !phone.turnedByFormat) turn = turnOf(*exif);
    read.error = phone.error;
    read.storedSize = phone.stored;
    read.image = std::move(phone.image);
    if (!read.image.empty() && turn && QuickRotateImageInPlace(read.image, *turn) && *turn != 1)
        read.storedSize.transpose();
    return read;
}

} // namespace

std::optional<int> TurnForOrientation(long orientation)
{
    switch (orientation) {
    case 6: return 0;
    case 3: return 1;
    case 8: return 2;
    default: return std::nullopt;
    }
}

int ReductionForFit(QSize stored, QSize fit)
{
    if (stored.width() <= 0 || stored.height() <= 0 || fit.width() <= 0 || fit.height() <= 0) return 0;
    // The show step's scale factor, in its single precision.
    const float rx = float(stored.width()) / float(fit.width());
    const float ry = float(stored.height()) / float(fit.height());
    const float s = std::max(rx, ry);
    if (!(s > 1.0f)) return 0;
    const double fittedW = std::nearbyint(double(stored.width()) / double(s));
    const double fittedH = std::nearbyint(double(stored.height()) / double(s));
    int k = 0;
    while (k < 3) {
        const int f = 2 << k;
        const int w = (stored.width() + f - 1) / f, h = (stored.height() + f - 1) / f;
        if (w < fittedW || h < fittedH) break;
        ++k;
    }
    return k;
}

QString FitPicture(RgbImage& picture, QSize stored, double W, double H, bool expand, const QString& path)
{
    // The image library reports no error number of its own for a failed
    // resize; this is the one its message carries.
    constexpr int kResizeError = 1;
    const auto resample = [&picture](QSize size) {
        RgbImage scaled;
        if (!scaled.allocate(size.width(), size.height())) return kIsOutOfMemory;
        if (!ResizeImage(picture, scaled)) return kIsBadArgument;
        picture = std::move(scaled);
        return kIsOk;
    };
    const auto resizeFailed = [&path] {
        return QStringLiteral("Fehler %1 in IS_ResizeImage\n").arg(kResizeError) + path;
    };
    if (const std::optional<FittedSize> fitted = FitSize(stored, W, H, expand)) {
        switch (resample(fitted->size)) {
        case kIsOutOfMemory:
            return QStringLiteral("GlobalAlloc fehlgeschlagen ") + (fitted->shrink ? QStringLiteral("\n") : QString()) +
                   path;
        case kIsOk: return {};
        default: return resizeFailed();
        }
    }
    // The picture keeps its size; a reduced decode is brought back to it.
    if (QSize(picture.width, picture.height) != stored && resample(stored) != kIsOk) return resizeFailed();
    return {};
}

void TurnPicture(int code, RgbImage& image)
{
    if (!image.empty()) QuickRotateImageInPlace(image, code);
}

PictureMetadata LoadMetadata(const QString& path)
{
    SourceResult opened = OpenFileSource(path);
    if (!opened.source) return {};
    return ReadMetadata(*opened.source).value_or(PictureMetadata{});
}

namespace {

QString loadFrom(SourceResult opened, const QString& path, const QString& extension, bool exifRotate, RgbImage& out,
                 std::optional<QSize> fitHint, QSize* originalSize, PictureMetadata* metadata)
{
    out.clear();
    if (metadata) *metadata = {};
    if (!opened.source) return failure(opened.error, "IS_OpenFileSource", path);
    FileSource& source = *opened.source;

    // One reading of the metadata serves the turn and the text stamp.
    const bool turnable = exifRotate && extension == QLatin1String("JPG");
    std::optional<PictureMetadata> stored;
    if (turnable || metadata) stored = ReadMetadata(source);
    if (metadata && stored) *metadata = *stored;

    ReadResult read;
    read.error = kIsNoReader;
    if (extension == QLatin1String("JPG")) {
        std::optional<int> turn;
        if (turnable && stored) {
            // The thumbnail's orientation is the thumbnail's, not the picture's.
            const ExifField* field = stored->exifTag(274);
            if (field && field->group != QLatin1String("Thumbnail"))
                turn = TurnForOrientation(leadingNumber(field->text));
        }
        source.Seek();
        int reduction = 0;
        if (fitHint) {
            QSize stored = ReadJPGSize(source);
            if (turn && *turn != 1) stored.transpose();
            reduction = ReductionForFit(stored, *fitHint);
        }
        read = ReadJPG(source, reduction);
        // A failed turn leaves the picture as read.
        if (!read.image.empty() && turn && QuickRotateImageInPlace(read.image, *turn) && *turn != 1)
            read.storedSize.transpose();
    } else if (extension == QLatin1String("BMP")) {
        read = ReadBMP(source);
    } else if (extension == QLatin1String("PCX")) {
        read = ReadPCX(source);
    } else if (extension == QLatin1String("TIF")) {
        read = ReadTIFF(source);
    } else if (extension == QLatin1String("PNG")) {
        read = ReadPNG(source);
    } else if (extension == QLatin1String("GIF")) {
        const EightBitResult eight = ReadGIF(source);
        read.error = eight.error;
        if (eight.error == kIsOk) {
            read.error = EightBitToRGB(eight.image, read.image);
            read.storedSize = QSize(eight.image.width, eight.image.height);
        }
    } else if (extension == QLatin1String("TGA")) {
        read = ReadTGA(source);
    } else if (extension == QLatin1String("WMF")) {
        read = ReadMetafile(source);
    } else if (const PhoneFormat phone = PhoneFormatOf(extension); phone != PhoneFormat::None) {
        read = readPhone(phone, source.bytes(), exifRotate, fitHint, metadata);
    }

    if (read.image.empty()) {
        return failure(read.error == kIsOk ? kIsCorrupt : read.error, "IS_ReadXXX", path);
    }
    out = std::move(read.image);
    if (originalSize) *originalSize = read.storedSize;
    return {};
}

} // namespace

QString LoadPicture(const QString& path, const QString& extension, bool exifRotate, RgbImage& out,
                    std::optional<QSize> fitHint, QSize* originalSize, PictureMetadata* metadata)
{
    return loadFrom(OpenFileSource(path), path, extension, exifRotate, out, fitHint, originalSize, metadata);
}

QString LoadPicture(int fd, const QString& path, const QString& extension, bool exifRotate, RgbImage& out,
                    std::optional<QSize> fitHint, QSize* originalSize, PictureMetadata* metadata)
{
    return loadFrom(OpenFileSource(fd, path), path, extension, exifRotate, out, fitHint, originalSize, metadata);
}

} // namespace vm
