// libFuzzer target: the TGA decoder on any bytes.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vm::FuzzTga(data, size);
    return 0;
}
