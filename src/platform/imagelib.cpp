#include "platform/imagelib.h"

#include <QImageReader>

namespace vm {

bool ImageLibraryInitialize(const QList<QByteArray>& supportedFormats)
{
    return supportedFormats.contains("jpeg") || supportedFormats.contains("jpg");
}

bool ImageLibraryInitialize()
{
    return ImageLibraryInitialize(QImageReader::supportedImageFormats());
}

} // namespace vm
