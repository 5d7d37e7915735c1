#include "platform/gdi.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VM_GATHER_BY_PERMUTE 1
#endif

namespace vm {

namespace {

// Large enough for an 8K screen, small enough that a wrong size cannot ask
// for gigabytes.
constexpr long long kMaxBitmapPixels = 8192LL * 8192LL;

bool usable(const Dc* dc) { return dc != nullptr && dc->bitmap() != nullptr; }

// Adds a destination rectangle (sizes of either sign) to the context's damage.
void noteDamage(const Dc* dst, long long x, long long y, long long w, long long h)
{
    if (!dst->damage) return;
    if (w < 0) { x += w; w = -w; }
    if (h < 0) { y += h; h = -h; }
    const Bitmap& b = *dst->bitmap();
    const long long l = std::max(x, 0LL), t = std::max(y, 0LL);
    const long long r = std::min(x + w, (long long)b.width()), bt = std::min(y + h, (long long)b.height());
    if (l < r && t < bt) dst->damage->add(int(l), int(t), int(r), int(bt));
}

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

// Work below this many pixels per band stays on the calling thread: starting
// a thread costs tens of microseconds, and an effect that copies cards or
// bands thousands of times would pay that at every copy.
constexpr long long kPixelsPerThread = 1LL << 19;

// Runs body(first, end) over the rows [0, rows) split into bands, one per
// hardware thread, when the rectangle is large enough to gain from it (or
// into as many as the destination context asks for).
// Every band writes rows of its own, so the result is that of one pass.
template <class Body>
void forRowBands(const Dc* dst, long long rows, long long width, const Body& body)
{
    long long bands = 1;
    if (dst->bands > 0) {
        bands = std::min<long long>(dst->bands, rows);
    } else if (rows * width >= 2 * kPixelsPerThread) {
        // Most calls are small (a line, a block, a pixel) and never get here
        // to ask how many threads there are, which is a system call.
        const long long hw = std::max(1u, std::thread::hardware_concurrency());
        bands = std::min({hw, rows, rows * width / kPixelsPerThread});
#if defined(__linux__) || defined(__APPLE__)
        // Bands only help on idle cores: on a busy machine a helper thread
        // waits for its turn and the copy waits for it.
        double load = 0;
        if (getloadavg(&load, 1) == 1 && load > double(hw) - 0.5) bands = 1;
#endif
    }
    if (bands <= 1) {
        body(0LL, rows);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(std::size_t(bands - 1));
    for (long long b = 1; b < bands; ++b) {
        const long long first = rows * b / bands, end = rows * (b + 1) / bands;
        try {
            helpers.emplace_back([&body, first, end] { body(first, end); });
        } catch (const std::system_error&) {
            body(first, end); // no thread to be had: this band here
        }
    }
    body(0LL, rows / bands);
    for (std::thread& t : helpers) t.join();
}

// Destinations of at least a whole screen do not stay in the cache: their
// rows are written with stores that bypass it, which saves reading every
// line before it is overwritten (about three times faster on a 4K copy).
// Smaller pieces, which the next step often draws again, stay cached.
constexpr long long kStreamFrom = 1LL << 21;

// out[0, n) = in[0, n), the two not overlapping.
void copyPixels(Pixel* __restrict out, const Pixel* __restrict in, std::size_t n, bool stream)
{
#ifdef VM_GATHER_BY_PERMUTE
    if (stream) {
        std::size_t c = 0;
        for (; c < n && reinterpret_cast<std::uintptr_t>(out + c) % 16 != 0; ++c) out[c] = in[c];
        for (; c + 4 <= n; c += 4)
            _mm_stream_si128(reinterpret_cast<__m128i*>(out + c),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + c)));
        for (; c < n; ++c) out[c] = in[c];
        return;
    }
#endif
    (void)stream;
    std::memcpy(out, in, n * sizeof(Pixel));
}

// Makes streamed stores visible before another thread looks at the pixels.
void endStream(bool stream)
{
#ifdef VM_GATHER_BY_PERMUTE
    if (stream) _mm_sfence();
#endif
    (void)stream;
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

void Damage::add(int l, int t, int r, int b)
{
    if (empty()) {
        *this = Damage{l, t, r, b};
        return;
    }
    left = std::min(left, l);
    top = std::min(top, t);
    right = std::max(right, r);
    bottom = std::max(bottom, b);
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
    const bool sameBitmap = &d == &s;
    if (sameBitmap && y0 != sy0) {
        // Overlapping rows in one bitmap: walk bottom-up when moving down,
        // on one thread, since a row may read what another one writes.
        if (y0 > sy0) {
            for (long long r = hh - 1; r >= 0; --r)
                std::memmove(d.row(int(y0 + r)) + x0, s.row(int(sy0 + r)) + sx0, bytes);
        } else {
            for (long long r = 0; r < hh; ++r)
                std::memmove(d.row(int(y0 + r)) + x0, s.row(int(sy0 + r)) + sx0, bytes);
        }
        return;
    }
    if (!sameBitmap && ww * hh < 4096) {
        // Blocks, lines and single pixels, which some effects copy by the
        // ten thousand per step: the plain loop and nothing else.
        for (long long r = 0; r < hh; ++r) {
            Pixel* out = d.row(int(y0 + r)) + x0;
            const Pixel* in = s.row(int(sy0 + r)) + sx0;
            if (ww <= 4)
                for (long long c = 0; c < ww; ++c) out[c] = in[c];
            else
                std::memcpy(out, in, bytes);
        }
        return;
    }
    // Rows are independent now (a sideways move within one bitmap stays
    // inside each row).
    const bool stream = !sameBitmap && ww >= 64 && ww * hh >= kStreamFrom;
    forRowBands(dst, hh, ww, [&](long long first, long long end) {
        for (long long r = first; r < end; ++r) {
            Pixel* out = d.row(int(y0 + r)) + x0;
            const Pixel* in = s.row(int(sy0 + r)) + sx0;
            if (sameBitmap) {
                std::memmove(out, in, bytes);
            } else if (ww <= 4) {
                // Narrow columns: a library call per row would cost more than the pixels.
                for (long long c = 0; c < ww; ++c) out[c] = in[c];
            } else {
                copyPixels(out, in, std::size_t(ww), stream);
            }
        }
        endStream(stream);
    });
}

// How the columns [c0, c1) of a stretch are fetched from a source row, the
// same for every row. An identity map is a plain copy. Where eight
// neighbouring columns sample a span of at most eight source pixels (any
// enlargement, the zoom's steps), one load of those eight and a permutation
// give all of them at once.
struct RowPlan {
    std::size_t c0 = 0, c1 = 0;
    bool contiguous = false;
    std::vector<int> base;                 // per block of 8: first source pixel, -1 = one by one
    std::vector<std::array<int, 8>> perm;  // per block: index of each column in the eight loaded
    bool everyBlock = false;               // no block one by one: the row may be streamed
};

RowPlan planRow(const std::vector<int>& cols, std::size_t c0, std::size_t c1, int srcWidth)
{
    RowPlan p;
    p.c0 = c0;
    p.c1 = c1;
    p.contiguous = true;
    for (std::size_t c = c0 + 1; c < c1 && p.contiguous; ++c) p.contiguous = cols[c] == cols[c - 1] + 1;
#ifdef VM_GATHER_BY_PERMUTE
    if (p.contiguous || c1 - c0 < 16 || !__builtin_cpu_supports("avx2")) return p;
    for (std::size_t c = c0; c + 8 <= c1; c += 8) {
        const auto [lo, hi] = std::minmax_element(cols.begin() + std::ptrdiff_t(c), cols.begin() + std::ptrdiff_t(c + 8));
        std::array<int, 8> perm{};
        const bool fits = *hi - *lo < 8 && *lo + 8 <= srcWidth;
        for (int k = 0; k < 8; ++k) perm[std::size_t(k)] = cols[c + std::size_t(k)] - *lo;
        p.base.push_back(fits ? *lo : -1);
        p.perm.push_back(perm);
    }
    p.everyBlock = std::find(p.base.begin(), p.base.end(), -1) == p.base.end();
#else
    (void)srcWidth;
#endif
    return p;
}

#ifdef VM_GATHER_BY_PERMUTE
__attribute__((target("avx2"))) void permuteRow(Pixel* __restrict out, const Pixel* __restrict in,
                                                const int* __restrict cols, const RowPlan& p, bool stream)
{
    std::size_t c = p.c0, b = 0;
    // Streamed and cached stores must not share a cache line, or each such
    // line is written piecewise to memory.
    stream = stream && p.everyBlock && reinterpret_cast<std::uintptr_t>(out + c) % 32 == 0;
    for (; c + 8 <= p.c1; c += 8, ++b) {
        if (p.base[b] >= 0) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + p.base[b]));
            const __m256i idx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.perm[b].data()));
            const __m256i got = _mm256_permutevar8x32_epi32(v, idx);
            if (stream)
                _mm256_stream_si256(reinterpret_cast<__m256i*>(out + c), got);
            else
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), got);
        } else {
            for (std::size_t k = c; k < c + 8; ++k) out[k] = in[cols[k]];
        }
    }
    for (; c < p.c1; ++c) out[c] = in[cols[c]];
}
#endif

// out[c] = in[cols[c]] for the plan's columns.
void gatherRow(Pixel* __restrict out, const Pixel* __restrict in, const int* __restrict cols, const RowPlan& p,
               bool stream)
{
    if (p.contiguous) {
        copyPixels(out + p.c0, in + cols[p.c0], p.c1 - p.c0, stream);
        return;
    }
#ifdef VM_GATHER_BY_PERMUTE
    if (!p.base.empty()) {
        permuteRow(out, in, cols, p, stream);
        return;
    }
#endif
    // Four loads before four stores, which the processor overlaps better
    // than a load-store chain.
    std::size_t c = p.c0;
    for (; c + 4 <= p.c1; c += 4) {
        const Pixel a = in[cols[c]], b = in[cols[c + 1]], d = in[cols[c + 2]], e = in[cols[c + 3]];
        out[c] = a;
        out[c + 1] = b;
        out[c + 2] = d;
        out[c + 3] = e;
    }
    for (; c < p.c1; ++c) out[c] = in[cols[c]];
}

// Plain = the result does not depend on the destination, so a destination
// row that samples the same source row as the one before is a row copy.
template <bool Plain, class Op>
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
    // The map is monotonic, so the columns inside the source form one run.
    std::size_t c0 = 0, c1 = cols.size();
    while (c0 < c1 && cols[c0] < 0) ++c0;
    while (c1 > c0 && cols[c1 - 1] < 0) --c1;
    if (c0 == c1) return true;
    const RowPlan plan = Plain ? planRow(cols, c0, c1, from->width()) : RowPlan{};
    // A streamed row is no longer in the cache: a repeated row is then
    // fetched again from its source row, which is.
    const bool stream = Plain && (long long)(c1 - c0) * (long long)rows.size() >= kStreamFrom && c1 - c0 >= 64 &&
                        (plan.contiguous || plan.everyBlock);
    forRowBands(dst, static_cast<long long>(rows.size()), static_cast<long long>(c1 - c0), [&](long long first, long long end) {
        const Pixel* lastIn = nullptr;
        const Pixel* lastOut = nullptr;
        for (std::size_t r = std::size_t(first); r < std::size_t(end); ++r) {
            if (rows[r] < 0) continue;
            const Pixel* in = from->row(rows[r]);
            Pixel* out = d.row(firstY + int(r)) + firstX;
            if (Plain && in == lastIn && !stream) {
                std::memcpy(out + c0, lastOut + c0, (c1 - c0) * sizeof(Pixel));
            } else if (Plain) {
                gatherRow(out, in, cols.data(), plan, stream);
            } else {
                for (std::size_t c = c0; c < c1; ++c) out[c] = op(in[cols[c]], out[c]);
            }
            lastIn = in;
            lastOut = out;
        }
        endStream(stream);
    });
    return true;
}

// Constant-alpha blend of two equally sized rectangles in different
// bitmaps, clipped like a plain copy. Each channel byte is
// (s * a + d * (255 - a) + 127) / 255, the division done in 16 bits as
// (v + 1 + (v >> 8)) >> 8, which is exact below 65535; byte-wise so that the
// compiler can use vector instructions. The unused top byte is cleared after.
void blendRow(Pixel* __restrict out, const Pixel* __restrict in, std::size_t n, unsigned a)
{
    auto* o = reinterpret_cast<unsigned char*>(out);
    const auto* i = reinterpret_cast<const unsigned char*>(in);
    const std::uint16_t sa = std::uint16_t(a), da = std::uint16_t(255u - a);
    std::size_t k = 0;
#ifdef VM_GATHER_BY_PERMUTE
    // The same arithmetic on four pixels at a time, in 16-bit lanes.
    const __m128i zero = _mm_setzero_si128(), vsa = _mm_set1_epi16(short(sa)), vda = _mm_set1_epi16(short(da));
    const __m128i round = _mm_set1_epi16(127), one = _mm_set1_epi16(1);
    auto mix = [&](__m128i sv, __m128i dv) {
        const __m128i v = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(sv, vsa), _mm_mullo_epi16(dv, vda)), round);
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(v, one), _mm_srli_epi16(v, 8)), 8);
    };
    for (; k + 16 <= n * 4; k += 16) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(i + k));
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(o + k));
        const __m128i lo = mix(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero));
        const __m128i hi = mix(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + k), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; k < n * 4; ++k) {
        const std::uint16_t v = std::uint16_t(i[k] * sa + o[k] * da + 127);
        o[k] = static_cast<unsigned char>((v + 1 + (v >> 8)) >> 8);
    }
    for (std::size_t c = 0; c < n; ++c) out[c] &= 0xffffffu;
}

void blendRect(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy, unsigned a)
{
    if (w <= 0 || h <= 0) return;
    Bitmap& d = *dst->bitmap();
    const Bitmap& s = *src->bitmap();
    long long x0 = x, y0 = y, sx0 = sx, sy0 = sy, ww = w, hh = h;
    auto clip = [](long long& p, long long& q, long long& len, long long limitP, long long limitQ) {
        if (p < 0) { q -= p; len += p; p = 0; }
        if (q < 0) { p -= q; len += q; q = 0; }
        len = std::min({len, limitP - p, limitQ - q});
    };
    clip(x0, sx0, ww, d.width(), s.width());
    clip(y0, sy0, hh, d.height(), s.height());
    if (ww <= 0 || hh <= 0) return;
    forRowBands(dst, hh, ww, [&](long long first, long long end) {
        for (long long r = first; r < end; ++r)
            blendRow(d.row(int(y0 + r)) + x0, s.row(int(sy0 + r)) + sx0, std::size_t(ww), a);
    });
}

// One column of `src` per destination column, all over the same rows:
// dst column x + i takes src column cols[i] (negative: none). Different
// bitmaps only; each destination column is written by one entry.
void copyColumns(const Dc* dst, int x, int y, int h, const Bitmap& s, const int* cols, int n, int sy)
{
    Bitmap& d = *dst->bitmap();
    long long y0 = y, sy0 = sy, hh = h;
    if (y0 < 0) { sy0 -= y0; hh += y0; y0 = 0; }
    if (sy0 < 0) { y0 -= sy0; hh += sy0; sy0 = 0; }
    hh = std::min({hh, d.height() - y0, s.height() - sy0});
    if (hh <= 0) return;
    // The pairs that lie inside both bitmaps, so the row loop needs no tests.
    std::vector<int> to, from;
    for (int i = 0; i < n; ++i) {
        const long long dx = (long long)x + i;
        if (dx < 0 || dx >= d.width() || cols[i] < 0 || cols[i] >= s.width()) continue;
        to.push_back(int(dx));
        from.push_back(cols[i]);
    }
    const std::size_t m = to.size();
    forRowBands(dst, hh, static_cast<long long>(m), [&](long long first, long long end) {
        for (long long r = first; r < end; ++r) {
            Pixel* __restrict out = d.row(int(y0 + r));
            const Pixel* __restrict in = s.row(int(sy0 + r));
            for (std::size_t k = 0; k < m; ++k) out[to[k]] = in[from[k]];
        }
    });
}

} // namespace

bool BitBlt(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy)
{
    if (!usable(dst) || !usable(src)) return false;
    if (faulted(dst, src)) return false;
    if (w > 0 && h > 0) noteDamage(dst, x, y, w, h);
    copyRect(dst, x, y, w, h, src, sx, sy);
    return true;
}

bool StretchBlt(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy, int sw, int sh)
{
    if (!usable(dst) || !usable(src)) return false;
    if (faulted(dst, src)) return false;
    noteDamage(dst, x, y, w, h);
    if (w == sw && h == sh && w > 0 && h > 0) {
        copyRect(dst, x, y, w, h, src, sx, sy);
        return true;
    }
    return stretchEach<true>(dst, x, y, w, h, src, sx, sy, sw, sh, [](Pixel in, Pixel) { return in; });
}

bool AlphaBlend(Dc* dst, int x, int y, int w, int h, const Dc* src, int sx, int sy, int sw, int sh,
                int alpha)
{
    if (!usable(dst) || !usable(src)) return false;
    if (w < 0 || h < 0 || sw < 0 || sh < 0 || alpha < 0 || alpha > 255) return false;
    if (faulted(dst, src)) return false;
    noteDamage(dst, x, y, w, h);
    const unsigned a = unsigned(alpha), na = 255u - a;
    if (w == sw && h == sh && dst->bitmap() != src->bitmap()) {
        blendRect(dst, x, y, w, h, src, sx, sy, a);
        return true;
    }
    return stretchEach<false>(dst, x, y, w, h, src, sx, sy, sw, sh, [a, na](Pixel in, Pixel out) {
        auto mix = [a, na](unsigned s, unsigned d) { return (s * a + d * na + 127u) / 255u; };
        return (mix((in >> 16) & 0xff, (out >> 16) & 0xff) << 16) |
               (mix((in >> 8) & 0xff, (out >> 8) & 0xff) << 8) | mix(in & 0xff, out & 0xff);
    });
}

bool CopyColumns(Dc* dst, int x, int y, int h, const Dc* src, const int* cols, int n, int sy)
{
    if (!usable(dst) || !usable(src)) return false;
    if (faulted(dst, src)) return false;
    if (h <= 0 || n <= 0) return true;
    noteDamage(dst, x, y, n, h);
    if (dst->bitmap() != src->bitmap()) {
        copyColumns(dst, x, y, h, *src->bitmap(), cols, n, sy);
    } else {
        // Within one bitmap a column may be read after another one wrote
        // it: one column at a time, in order.
        for (int i = 0; i < n; ++i)
            if (cols[i] >= 0) copyRect(dst, x + i, y, 1, h, src, cols[i], sy);
    }
    return true;
}

bool FillRect(Dc* dst, const Rect& r, const SolidBrush& brush)
{
    if (!usable(dst)) return false;
    if (faulted(dst, nullptr)) return false;
    Bitmap& d = *dst->bitmap();
    const int l = std::max(r.left, 0), t = std::max(r.top, 0);
    const int rt = std::min(r.right, d.width()), b = std::min(r.bottom, d.height());
    if (l >= rt || t >= b) return true;
    noteDamage(dst, l, t, rt - l, b - t);
    const Pixel p = pixelFromColorRef(brush.color);
    forRowBands(dst, b - t, rt - l, [&](long long first, long long end) {
        for (long long yy = t + first; yy < t + end; ++yy) std::fill(d.row(int(yy)) + l, d.row(int(yy)) + rt, p);
    });
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
