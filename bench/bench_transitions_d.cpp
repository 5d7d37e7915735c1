// Times the album, pinboard, mosaic, memory and honeycomb effects at
// 1920 x 1080 without any busy-wait: what remains is the drawing itself
// (and for the album and pinboard the loading of the pictures).
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <ctime>

using namespace vm;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kW = 1920, kH = 1080;

// A photo-like picture: gradients with some texture, so JPEG has work to do.
QImage photo(int w, int h, int seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = ((x * 7 + y * 13 + seed * 31) ^ (x * y)) & 31;
            row[x] = qRgb((x * 255 / w + n) & 0xff, (y * 255 / h + seed * 40) & 0xff, ((x + y) / 8 + n) & 0xff);
        }
    }
    return img;
}

struct Scene {
    RunState st;
    HeadlessTarget target{kW, kH, 0x102030};

    Scene(int effect, const PictureList& pictures)
    {
        effekte_anlegen(st.effekte);
        st.aktueller_effekt = effect;
        st.effekte[std::size_t(effect)].schritt = 1; // the stored default of these effects
        st.effekte[std::size_t(effect)].verzoegerung = 0;
        st.aktuelles_delay = 0;
        st.random.seedWith(std::uint32_t(effect));
        st.pictureList = pictures;
        Dc* like = target.dc();
        st.desktop_dc.create(like, kW, kH);
        st.neues_bild_dc.create(like, kW, kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) st.desktop_dc.bitmap()->setPixel(x, y, rgbPixel(x / 8, y / 5, 90));
        // A 4:3 photo fitted to the screen, centred on the background colour.
        const QImage pic = photo(1440, 1080, effect);
        PictureState& p = st.bild;
        p.bild_dc.create(like, pic.width(), pic.height());
        for (int y = 0; y < pic.height(); ++y)
            for (int x = 0; x < pic.width(); ++x) p.bild_dc.bitmap()->setPixel(x, y, pic.pixel(x, y) & 0xffffff);
        p.bild_breite = pic.width();
        p.bild_hoehe = pic.height();
        p.bild_x = px((kW - p.bild_breite) / 2.0);
        p.bild_y = px((kH - p.bild_hoehe) / 2.0);
        p.hintergrund_pinsel = CreateSolidBrush(0x303030);
        FillRect(st.neues_bild_dc.dc(), Rect{0, 0, kW, kH}, p.hintergrund_pinsel);
        BitBlt(st.neues_bild_dc.dc(), p.bild_x, p.bild_y, p.bild_breite, p.bild_hoehe, p.bild_dc.dc(), 0, 0);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    PictureList pictures;
    // Camera-sized photos (6 megapixels) and a few smaller ones.
    for (int i = 0; i < 6; ++i) {
        const QString path = dir.path() + QStringLiteral("/photo%1.jpg").arg(i);
        const bool portrait = i % 3 == 2;
        if (!photo(portrait ? 2000 : 3000, portrait ? 3000 : 2000, i).save(path, "JPG", 85)) return 1;
        pictures.push_back(PictureEntry{path, {}});
    }
    for (int i = 0; i < 2; ++i) {
        const QString path = dir.path() + QStringLiteral("/small%1.png").arg(i);
        if (!photo(800, 600, 10 + i).save(path)) return 1;
        pictures.push_back(PictureEntry{path, {}});
    }

    for (int effect : {60, 61, 62, 65, 66, 67, 68, 69, 70}) {
        Scene scene(effect, pictures);
        if (effect == 69) {
            // The pinboard lasts at least 15 s by design; a clock that runs
            // a second per look lets it end after its 25 pictures, so what
            // is timed is their loading and drawing.
            std::uint32_t fake = 0;
            scene.st.stoppuhr = CStopWatch([&fake] { return fake += 1000; });
        }
        scene.st.stoppuhr.StartWatch();
        scene.st.fehlertext.clear();
        const std::clock_t c0 = std::clock();
        const auto t0 = Clock::now();
        const bool ok = dispatchEffect(scene.st, scene.target);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        // Processor time too: on a busy machine the wall clock says little.
        const double cpuMs = 1000.0 * double(std::clock() - c0) / CLOCKS_PER_SEC;
        std::printf("effect=%d steps=%d ms=%.1f cpu_ms=%.1f%s%s\n", effect, scene.target.pumps(), ms, cpuMs,
                    ok ? "" : " FAILED ", qPrintable(scene.st.fehlertext));
    }
    return 0;
}
