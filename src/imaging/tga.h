// The TGA reader of the image library.
#pragma once

#include "platform/imagelib.h"

#include <cstddef>
#include <cstdint>

namespace vm {

// Decodes a whole TGA file held in memory into `out`: colour-mapped (8 or
// 16-bit indexes into a 15, 16, 24 or 32-bit map), true-colour (15, 16, 24,
// 32 bits) and grey (8 bits, or 16 with alpha), uncompressed or run-length,
// rows bottom-up or top-down, with or without the 2.0 footer. Alpha is
// dropped. kIsOk or an error number; on failure `out` is empty. Safe on any
// input.
// `budgetBytes`: the most the decode may allocate (kIsTooLarge beyond).
int DecodeTGA(const std::uint8_t* data, std::size_t size, RgbImage& out,
              std::uint64_t budgetBytes = UINT64_MAX);

} // namespace vm
