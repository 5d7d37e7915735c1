// The decoders as the fuzzers and the corpus replay drive them: decode,
// then check what a caller relies on. A broken promise aborts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vm {

// The decoder's error number.
int FuzzPcx(const std::uint8_t* data, std::size_t size);
int FuzzTga(const std::uint8_t* data, std::size_t size);

} // namespace vm
