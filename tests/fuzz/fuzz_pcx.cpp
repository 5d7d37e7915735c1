// libFuzzer target: the PCX decoder on any bytes.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vm::FuzzPcx(data, size);
    return 0;
}
