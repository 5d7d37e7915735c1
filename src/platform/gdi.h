// The raster layer: memory bitmaps, memory contexts and the handful of
// copy operations that the transitions and the show step are built from.
// Pixels are 32-bit 0x00RRGGBB. Every operation returns false when a context
// is missing or has no bitmap, so callers can report the failing call.
#pragma once

#include <cstdint>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace vm {

using Pixel = std::uint32_t;

// A colour as the settings store keeps it: red in the low byte.
using ColorRef = std::uint32_t;

constexpr Pixel pixelFromColorRef(ColorRef c)
{
    return ((c & 0xffu) << 16) | (c & 0xff00u) | ((c >> 16) & 0xffu);
}
constexpr ColorRef colorRefFromPixel(Pixel p)
{
    return ((p >> 16) & 0xffu) | (p & 0xff00u) | ((p & 0xffu) << 16);
}
constexpr Pixel rgbPixel(int r, int g, int b)
{
    return (Pixel(r & 0xff) << 16) | (Pixel(g & 0xff) << 8) | Pixel(b & 0xff);
}

// Pixel storage aligned to a cache line, so that rows of a width divisible
// by 16 start on one and wide copies can use whole aligned vector stores.
template <class T>
struct CacheAligned {
    using value_type = T;
    CacheAligned() = default;
    template <class U>
    CacheAligned(const CacheAligned<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(64))); }
    void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t(64)); }
    template <class U>
    bool operator==(const CacheAligned<U>&) const { return true; }
};

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height, Pixel fill = 0);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return width_; } // pixels per row
    Pixel* row(int y) { return pixels_.data() + std::size_t(y) * std::size_t(width_); }
    const Pixel* row(int y) const { return pixels_.data() + std::size_t(y) * std::size_t(width_); }
    Pixel pixel(int x, int y) const { return row(y)[x]; }
    void setPixel(int x, int y, Pixel p) { row(y)[x] = p; }
    void fill(Pixel p);
    bool operator==(const Bitmap& o) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<Pixel, CacheAligned<Pixel>> pixels_;
};

// Creates a bitmap for a context, or nothing when the size is negative or
// larger than any screen buffer we would ever need (the allocation would fail).
std::unique_ptr<Bitmap> CreateCompatibleBitmap(int width, int height);

enum class StretchMode { BlackOnWhite = 1, WhiteOnBlack = 2, ColorOnColor = 3, Halftone = 4 };

// Test hook: makes the n-th raster call (counted from 1) on a context that
// carries it fail, so callers' error words can be checked.
struct FaultHook {
    int failAt = 0; // 0 = never
    int calls = 0;
    bool tick() { return ++calls == failAt; }
};

// The part of a bitmap drawn since it was last reset: a window's picture
// box presents only that.
struct Damage {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return left >= right || top >= bottom; }
    void add(int l, int t, int r, int b);
    void reset() { *this = Damage{}; }
};

class Dc {
public:
    Dc();
    // Selects a bitmap and returns the one it displaces; selecting nothing
    // fails and yields nothing.
    Bitmap* select(Bitmap* bitmap);
    Bitmap* bitmap() const { return selected_; }
    StretchMode stretchMode = StretchMode::BlackOnWhite;
    FaultHook* faultHook = nullptr;
    // When set, every operation drawing into this context adds its rectangle.
    Damage* damage = nullptr;
    // Row bands an operation drawing here is split into: 0 = as many as help
    // (screen-sized work on idle cores), n = up to n whatever the size (tests).
    int bands = 0;

private:
    Bitmap stock_{1, 1}; // what a fresh context holds, like a system's stock bitmap
    Bitmap* selected_ = &stock_;
};

std::unique_ptr<Dc> CreateCompatibleDC(const Dc* like);

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct SolidBrush {
    ColorRef color = 0;
};
inline SolidBrush CreateSolidBrush(ColorRef c) { return SolidBrush{c}; }

// Plain source copy, clipped to both bitmaps; correct when source and
// destination overlap inside one bitmap. A negative size copies nothing.
bool BitBlt(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy);

// Nearest-neighbour stretch; a size of opposite sign to its partner mirrors.
bool StretchBlt(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy, int sw, int sh);

// Constant-alpha source-over blend (0 keeps the destination, 255 copies).
bool AlphaBlend(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy, int sw, int sh,
                int alpha);

// Single columns over the same rows, in one pass: destination column x + i
// takes source column cols[i] (none when negative), rows y to y + h - 1
// from rows sy onwards. The result is that of one BitBlt(dst, x + i, y, 1,
// h, src, cols[i], sy) per column in the order of i; one call, one failure.
bool CopyColumns(Dc* dst, int x, int y, int h, const Dc* src, const int* cols, int n, int sy);

bool FillRect(Dc* dst, const Rect& r, const SolidBrush& brush);

// A context, the bitmap selected into it and the object that the selection
// displaced. release() puts the displaced object back and frees the rest;
// it is safe to call twice and runs on destruction.
class BufferTriple {
public:
    BufferTriple() = default;
    BufferTriple(BufferTriple&&) noexcept = default;
    BufferTriple& operator=(BufferTriple&& o) noexcept;
    BufferTriple(const BufferTriple&) = delete;
    BufferTriple& operator=(const BufferTriple&) = delete;
    ~BufferTriple() { release(); }

    // Context compatible with `like`, a bitmap of w x h selected into it.
    // Returns false when the bitmap could not be created or selected: the
    // context then stays, holding its stock bitmap.
    bool create(const Dc* like, int w, int h);
    void release();
    bool exists() const { return dc_ != nullptr; }

    Dc* dc() const { return dc_.get(); }
    Bitmap* bitmap() const { return bitmap_.get(); }
    Bitmap* displaced() const { return alt_; }

private:
    std::unique_ptr<Dc> dc_;
    std::unique_ptr<Bitmap> bitmap_;
    Bitmap* alt_ = nullptr;
};

} // namespace vm
