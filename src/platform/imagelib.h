// The image library: decoding, scaling, turning, metadata and drawing on
// RGB buffers. This header holds what every part of it shares.
#pragma once

#include <QByteArray>
#include <QList>

namespace vm {

// True when the decoders the show needs are present: without a JPEG
// decoder the show cannot run at all.
bool ImageLibraryInitialize();
bool ImageLibraryInitialize(const QList<QByteArray>& supportedFormats);

} // namespace vm
