// The PCX reader of the image library.
#pragma once

#include "platform/imagelib.h"

#include <cstddef>
#include <cstdint>

namespace vm {

// Decodes a whole PCX file held in memory into `out`: 1, 2 and 4 bits per
// pixel in one plane, 1 bit in two to four planes, 8 bits with the
// 256-colour palette at the end, and 24 bits in three planes (a fourth
// plane is ignored); run-length or raw data. kIsOk or an error number; on
// failure `out` is empty. Safe on any input.
// `budgetBytes`: the most the decode may allocate (kIsTooLarge beyond).
int DecodePCX(const std::uint8_t* data, std::size_t size, RgbImage& out,
              std::uint64_t budgetBytes = UINT64_MAX);

} // namespace vm
