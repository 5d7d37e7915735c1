#include "platform/gdi.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vm {

namespace {

// Large enough for an 8K screen, small enough that a wrong size cannot ask
// for gigabytes.
constexpr long long kMaxBitmapPixels = 8192LL * 8192LL;

bool usable(const Dc* dc) { return dc != nullptr && dc->bitmap() != nullptr; }

bool faulted(const Dc* a, const Dc* b)
{
    bool fail = false;
    if (a && a->faultHook) fail = a->faultHook->tick() || fail;
    if (b && b != a && b->faultHook) fail = b->faultHook->tick() || fail;
    return fail;
}

// Source column (or row) for each destination column of a stretch: the
// destination index i samples floor(i * |s| / |d|), mirrored when the signs
// differ. Negative results mean "outside the source".
void buildMap(std::vector<int>& map, int d0, int dn, int s0, int sn, int srcLimit, int dstLimit,
              int& firstDst)
{
    const bool mirror = (dn < 0) != (sn < 0);
    const int dAbs = dn < 0 ? -dn : dn;
    const int sAbs = sn < 0 ? -sn : sn;
    const int dStart = dn < 0 ? d0 + dn : d0;
    const int sStart = sn < 0 ? s0 + sn : s0;
    const int lo = std::max(dStart, 0);
    const int hi = std::min(dStart + dAbs, dstLimit);
    map.clear();
    firstDst = lo;
    for (int d = lo; d < hi; ++d) {
        const long long i = d - dStart;
        long long k = i * sAbs / dAbs;
        if (mirror) k = sAbs - 1 - k;
        const long long s = sStart + k;
        map.push_back(s >= 0 && s < srcLimit ? int(s) : -1);
    }
}

} // namespace

Bitmap::Bitmap(int width, int height, Pixel fill)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(std::size_t(width_) * std::size_t(height_), fill)
{
}

void Bitmap::fill(Pixel p) { std::fill(pixels_.begin(), pixels_.end(), p); }

std::unique_ptr<Bitmap> CreateCompatibleBitmap(int width, int height)
{
    if (width < 0 || height < 0 || (long long)width * height > kMaxBitmapPixels) return nullptr;
    try {
        return std::make_unique<Bitmap>(width, height);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Dc::Dc() = default;

Bitmap* Dc::select(Bitmap* bitmap)
{
    if (!bitmap) return nullptr;
    Bitmap* previous = selected_;
    selected_ = bitmap;
    return previous;
}

std::unique_ptr<Dc> CreateCompatibleDC(const Dc*) { return std::make_unique<Dc>(); }

namespace {

void copyRect(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy)
{
    if (w <= 0 || h <= 0) return;
    Bitmap& d = *dst->bitmap();
    const Bitmap& s = *src->bitmap();
    // Clip against the destination, then the source, moving both origins.
    long long x0 = x, y0 = y, sx0 = sx, sy0 = sy, ww = w, hh = h;
    auto clip = [](long long& a, long long& b, long long& len, long long limitA, long long limitB) {
        if (a < 0) { b -= a; len += a; a = 0; }
        if (b < 0) { a -= b; len += b; b = 0; }
        len = std::min({len, limitA - a, limitB - b});
    };
    clip(x0, sx0, ww, d.width(), s.width());
    clip(y0, sy0, hh, d.height(), s.height());
    if (ww <= 0 || hh <= 0) return;
    const std::size_t bytes = std::size_t(ww) * sizeof(Pixel);
    // Overlapping rows in one bitmap: walk bottom-up when moving down.
    const bool sameBitmap = &d == &s;
    if (sameBitmap && y0 > sy0) {
        for (long long r = hh - 1; r >= 0; --r)
            std::memmove(d.row(int(y0 + r)) + x0, s.row(int(sy0 + r)) + sx0, bytes);
    } else if (sameBitmap) {
        for (long long r = 0; r < hh; ++r)
            std::memmove(d.row(int(y0 + r)) + x0, s.row(int(sy0 + r)) + sx0, bytes);
    } else {
        for (long long r = 0; r < hh; ++r)
            std::memcpy(d.row(int(y0 + r)) + x0, s.row(int(sy0 + r)) + sx0, bytes);
    }
}

template <class Op>
bool stretchEach(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy, int sw, int sh,
                 Op op)
{
    if (w == 0 || h == 0 || sw == 0 || sh == 0) return true;
    Bitmap& d = *dst->bitmap();
    const Bitmap& s = *src->bitmap();
    std::vector<int> cols, rows;
    int firstX = 0, firstY = 0;
    buildMap(cols, x, w, sx, sw, s.width(), d.width(), firstX);
    buildMap(rows, y, h, sy, sh, s.height(), d.height(), firstY);
    if (cols.empty() || rows.empty()) return true;
    // A same-bitmap stretch would read what it just wrote; sample a copy.
    Bitmap copy;
    const Bitmap* from = &s;
    if (&d == &s) {
        copy = s;
        from = &copy;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r] < 0) continue;
        const Pixel* in = from->row(rows[r]);
        Pixel* out = d.row(firstY + int(r)) + firstX;
        for (std::size_t c = 0; c < cols.size(); ++c)
            if (cols[c] >= 0) out[c] = op(in[cols[c]], out[c]);
    }
    return true;
}

} // namespace

bool BitBlt(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy)
{
    if (!usable(dst) || !usable(src)) return false;
    if (faulted(dst, src)) return false;
    copyRect(dst, x, y, w, h, src, sx, sy);
    return true;
}

bool StretchBlt(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy, int sw, int sh)
{
    if (!usable(dst) || !usable(src)) return false;
    if (faulted(dst, src)) return false;
    if (w == sw && h == sh && w > 0 && h > 0) {
        copyRect(dst, x, y, w, h, src, sx, sy);
        return true;
    }
    return stretchEach(dst, x, y, w, h, src, sx, sy, sw, sh, [](Pixel in, Pixel) { return in; });
}

bool AlphaBlend(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy, int sw, int sh,
                int alpha)
{
    if (!usable(dst) || !usable(src)) return false;
    if (w < 0 || h < 0 || sw < 0 || sh < 0 || alpha < 0 || alpha > 255) return false;
    if (faulted(dst, src)) return false;
    const unsigned a = unsigned(alpha), na = 255u - a;
    return stretchEach(dst, x, y, w, h, src, sx, sy, sw, sh, [a, na](Pixel in, Pixel out) {
        auto mix = [a, na](unsigned s, unsigned d) { return (s * a + d * na + 127u) / 255u; };
        return (mix((in >> 16) & 0xff, (out >> 16) & 0xff) << 16) |
               (mix((in >> 8) & 0xff, (out >> 8) & 0xff) << 8) | mix(in & 0xff, out & 0xff);
    });
}

bool FillRect(Dc* dst, const Rect& r, const SolidBrush& brush)
{
    if (!usable(dst)) return false;
    if (faulted(dst, nullptr)) return false;
    Bitmap& d = *dst->bitmap();
    const int l = std::max(r.left, 0), t = std::max(r.top, 0);
    const int rt = std::min(r.right, d.width()), b = std::min(r.bottom, d.height());
    if (l >= rt || t >= b) return true;
    const Pixel p = pixelFromColorRef(brush.color);
    for (int yy = t; yy < b; ++yy) std::fill(d.row(yy) + l, d.row(yy) + rt, p);
    return true;
}

BufferTriple& BufferTriple::operator=(BufferTriple&& o) noexcept
{
    if (this != &o) {
        release();
        dc_ = std::move(o.dc_);
        bitmap_ = std::move(o.bitmap_);
        alt_ = o.alt_;
        o.alt_ = nullptr;
    }
    return *this;
}

bool BufferTriple::create(const Dc* like, int w, int h)
{
    release();
    dc_ = CreateCompatibleDC(like);
    bitmap_ = CreateCompatibleBitmap(w, h);
    alt_ = dc_->select(bitmap_.get());
    return alt_ != nullptr;
}

void BufferTriple::release()
{
    if (dc_ && alt_) dc_->select(alt_);
    bitmap_.reset();
    dc_.reset();
    alt_ = nullptr;
}

} // namespace vm
