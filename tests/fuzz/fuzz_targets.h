// What the fuzzers and the corpus replay drive: bytes into one entry point
// of untrusted data, then checks of what a caller relies on. A broken
// promise aborts.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace vm {

// "pcx", "tga": the decoders alone. "load_jpg" ... "load_wmf": LoadPicture on
// the bytes as a file of that type. "metadata": the metadata reader, then
// the stamp's placeholders (a leading "%...\n" line is the stamp's text).
// "names": file-name order and patterns on names cut at every zero byte.
// Returns the library's error number, 0 for a picture or no picture involved.
int FuzzTarget(const QString& target, const std::uint8_t* data, std::size_t size);

// Caps a decode's memory, so that inputs explore the readers, not the allocator.
void FuzzLimits();

} // namespace vm
