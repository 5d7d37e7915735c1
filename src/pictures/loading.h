// Turns one picture file into an RGB buffer, upright when wanted.
#pragma once

#include "platform/imagelib.h"

#include <QSize>
#include <QString>

#include <optional>

namespace vm {

// Loads `path` with the reader chosen by `extension` (the last three
// characters of the path, upper case). "" on success, else the message
// for the error log. `fitHint`: the size the picture will be fitted into;
// a picture that will only be shrunk may then be decoded at a reduced scale.
// `originalSize` receives the size as stored (after turning), which the
// show step scales from.
QString LoadPicture(const QString& path, const QString& extension, bool exifRotate, RgbImage& out,
                    std::optional<QSize> fitHint = std::nullopt, QSize* originalSize = nullptr);

void TurnPicture(int code, RgbImage& image);

} // namespace vm
