// Times the raster operations that transition steps are made of, at
// screen size: many small copies, whole-screen copies, stretches, blends.
#include "platform/gdi.h"

#include <chrono>
#include <cstdio>
#include <vector>

using namespace vm;
using Clock = std::chrono::steady_clock;

template <class F>
double msPer(int reps, F f)
{
    const auto t0 = Clock::now();
    for (int i = 0; i < reps; ++i) f(i);
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / reps;
}

int main()
{
    const int w = 1920, h = 1080;
    Bitmap a(w, h, 0x112233), b(w, h, 0x445566);
    Dc da, db;
    da.select(&a);
    db.select(&b);
    std::printf("bitblt full screen        %.3f ms\n", msPer(200, [&](int) { BitBlt(&da, 0, 0, w, h, &db, 0, 0); }));
    std::printf("bitblt 1-pixel column x%d %.3f ms\n", w,
                msPer(50, [&](int) { for (int x = 0; x < w; ++x) BitBlt(&da, x, 0, 1, h, &db, x, 0); }));
    std::vector<int> roll(std::size_t(w / 6));
    for (std::size_t j = 0; j < roll.size(); ++j) roll[j] = int(w / 3 - j / 2);
    std::printf("copycolumns %zu (a roll)  %.3f ms\n", roll.size(),
                msPer(200, [&](int) { CopyColumns(&da, w / 2, 0, h, &db, roll.data(), int(roll.size()), 0); }));
    std::printf("stretchblt zoom 1.5x      %.3f ms\n",
                msPer(50, [&](int) { StretchBlt(&da, 0, 0, w, h, &db, w / 6, h / 6, w * 2 / 3, h * 2 / 3); }));
    std::printf("bitblt 8x8 blocks (all)   %.3f ms\n", msPer(20, [&](int) {
        for (int y = 0; y < h; y += 8)
            for (int x = 0; x < w; x += 8) BitBlt(&da, x, y, 8, 8, &db, x, y);
    }));
    std::printf("bitblt scroll in place    %.3f ms\n", msPer(200, [&](int) { BitBlt(&da, 0, 4, w, h - 4, &da, 0, 0); }));
    std::printf("stretchblt half to full   %.3f ms\n", msPer(50, [&](int) { StretchBlt(&da, 0, 0, w, h, &db, 0, 0, w / 2, h / 2); }));
    std::printf("alphablend full screen    %.3f ms\n", msPer(50, [&](int i) { AlphaBlend(&da, 0, 0, w, h, &db, 0, 0, w, h, i % 256); }));
    std::printf("fillrect full screen      %.3f ms\n", msPer(200, [&](int) { FillRect(&da, {0, 0, w, h}, SolidBrush{0xff}); }));
    return 0;
}
