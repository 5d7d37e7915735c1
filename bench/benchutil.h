// What the benchmarks share: the median time of repeated runs, a picture
// that compresses like a photograph, and how busy the machine was.
#pragma once

#include <QFile>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

template <class F>
double medianMs(int runs, F f)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Smooth gradients and fine noise: about 1.5 bits per pixel at quality 90.
inline QImage photoLike(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    std::uint32_t seed = 7;
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int n = int(seed >> 28) - 8;
            const double u = double(x) / w, v = double(y) / h;
            row[x] = qRgb(std::clamp(int(120 + 100 * std::sin(6 * u + 2 * v)) + n, 0, 255),
                          std::clamp(int(110 + 90 * std::cos(4 * v - 3 * u)) + n, 0, 255),
                          std::clamp(int(140 + 80 * std::sin(9 * u * v + 1)) + n, 0, 255));
        }
    }
    return img;
}

// Other work on the machine skews timings: say how busy it was.
inline void printLoad()
{
    QFile f("/proc/loadavg");
    if (f.open(QIODevice::ReadOnly)) std::printf("load average: %s", f.readLine().constData());
}
