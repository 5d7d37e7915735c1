// EXIF and IPTC metadata of a picture, read once from its bytes through
// exiv2. Everything exiv2 throws stops in this module: callers see results.
#pragma once

#include "imaging/protocol.h"


#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vm {

// The metadata of a picture file held in memory: JPEG, TIFF and PNG, known
// by their signature; nothing for other bytes or when exiv2 cannot read them.
std::optional<PictureMetadata> ReadPictureMetadata(std::span<const std::uint8_t> bytes);

} // namespace vm
