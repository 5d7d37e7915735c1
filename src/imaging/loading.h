// Turns one picture file into an RGB buffer, upright when wanted.
#pragma once

#include "imaging/protocol.h"
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
// show step scales from. `metadata`, when given, receives the picture's
// EXIF and IPTC data (empty when it has none), read with the picture.
QString LoadPicture(const QString& path, const QString& extension, bool exifRotate, RgbImage& out,
                    std::optional<QSize> fitHint = std::nullopt, QSize* originalSize = nullptr,
                    PictureMetadata* metadata = nullptr);

// The EXIF and IPTC data of a file alone; empty when it cannot be read.
PictureMetadata LoadMetadata(const QString& path);

// Turns the picture in place by a turn code (0 = 90 degrees clockwise,
// 1 = 180 degrees, 2 = 90 degrees counter-clockwise); when the turn fails
// the picture stays as it was.
void TurnPicture(int code, RgbImage& image);

// The turn code for an EXIF orientation value, or nothing for no turn.
std::optional<int> TurnForOrientation(long orientation);

// Brings a loaded picture (perhaps decoded at a reduced scale) to the size
// the show step gives a picture of `stored` size on a W x H surface. "" or
// the show step's message: "GlobalAlloc fehlgeschlagen " with the path, or
// "Fehler 1 in IS_ResizeImage" with the path.
QString FitPicture(RgbImage& picture, QSize stored, double W, double H, bool expand, const QString& path);

// How many times a picture of `stored` size may be halved while staying at
// least as large as it will be after being fitted into `fit` (0 to 3; 0
// when it will not be shrunk).
int ReductionForFit(QSize stored, QSize fit);

} // namespace vm
