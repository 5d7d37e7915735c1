// The boxes of ISO base media files (HEIF, AVIF, the JPEG XL container),
// walked without trusting a single length.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

namespace vm::isobmff {

inline std::uint32_t be32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
inline unsigned be16(const std::uint8_t* p) { return (unsigned(p[0]) << 8) | p[1]; }

struct Box {
    char type[4] = {};
    std::span<const std::uint8_t> body;
    bool is(const char* t) const { return std::memcmp(type, t, 4) == 0; }
};

// Calls f for each box in `d` in order until f returns false. Returns false
// when a box claims more bytes than there are (a file cut short).
template <class F>
bool forEachBox(std::span<const std::uint8_t> d, F&& f)
{
    std::size_t i = 0;
    while (i + 8 <= d.size()) {
        std::uint64_t size = be32(d.data() + i);
        std::size_t header = 8;
        if (size == 1) {
            if (i + 16 > d.size()) return false;
            size = (std::uint64_t(be32(d.data() + i + 8)) << 32) | be32(d.data() + i + 12);
            header = 16;
        } else if (size == 0) {
            size = d.size() - i; // to the end of the file
        }
        if (size < header || size > d.size() - i) return false;
        Box b;
        std::memcpy(b.type, d.data() + i + 4, 4);
        b.body = d.subspan(i + header, std::size_t(size) - header);
        if (!f(b)) return true;
        i += std::size_t(size);
    }
    return i == d.size();
}

} // namespace vm::isobmff
