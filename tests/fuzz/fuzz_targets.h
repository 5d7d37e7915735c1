// What the fuzzers and the corpus replay drive: each call feeds bytes to one
// entry point of untrusted data, then checks what a caller relies on. A
// broken promise aborts.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

namespace vm {

// The PCX and TGA decoders alone; their error number.
int FuzzPcx(const std::uint8_t* data, std::size_t size);
int FuzzTga(const std::uint8_t* data, std::size_t size);

// LoadPicture on the bytes as a file with this extension ("JPG", "WMF",
// ...), written to a scratch folder in memory; the error number, 0 for a
// picture.
int FuzzLoad(const QString& extension, const std::uint8_t* data, std::size_t size);

// The metadata reader on the bytes, then the text stamp's placeholders with
// what it found. A leading "%...\n" line is taken as the stamp's text.
void FuzzMetadata(const std::uint8_t* data, std::size_t size);

// File-name order and patterns on names cut from the bytes at every zero.
void FuzzNames(const std::uint8_t* data, std::size_t size);

// The memory a decode may take while fuzzing, so that inputs explore the
// readers instead of the allocator.
void FuzzLimits();

} // namespace vm
