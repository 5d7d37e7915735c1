#include "pictures/loading.h"

#include <QImage>
#include <QImageReader>

namespace vm {

// First cut: every format through Qt's readers, no EXIF turning yet.
QString LoadPicture(const QString& path, const QString& extension, bool, RgbImage& out,
                    std::optional<QSize>, QSize* originalSize)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    QImage img;
    if (extension == QLatin1String("JPG") || extension == QLatin1String("BMP") ||
        extension == QLatin1String("PNG") || extension == QLatin1String("GIF") ||
        extension == QLatin1String("TIF"))
        img = reader.read().convertToFormat(QImage::Format_RGB888);
    if (img.isNull() || !out.allocate(img.width(), img.height()))
        return QStringLiteral("Fehler 1 in IS_ReadXXX\n") + path;
    for (int y = 0; y < img.height(); ++y)
        std::copy_n(img.constScanLine(y), out.rowBytes(), out.rgb.data() + std::size_t(y) * out.rowBytes());
    if (originalSize) *originalSize = QSize(out.width, out.height);
    return {};
}

void TurnPicture(int code, RgbImage& image) { QuickRotateImageInPlace(image, code); }

} // namespace vm
