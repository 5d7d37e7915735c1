#include "effectrun.h"

#include "pictures/showstep.h"
#include "transitions/choice.h"
#include "transitions/frame.h"

namespace vm {

QImage bitmapToImage(const Bitmap& b)
{
    QImage img(b.width(), b.height(), QImage::Format_RGB32);
    for (int y = 0; y < b.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        const Pixel* in = b.row(y);
        for (int x = 0; x < b.width(); ++x) line[x] = 0xff000000u | in[x];
    }
    return img;
}

QImage generatedPicture(int w, int h, bool second)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (second)
                line[x] = qRgb(40, 60 + (x * 150) / w, ((x + y) / 16) % 2 ? 230 : 170);
            else
                line[x] = qRgb(200 + (y * 50) / h, ((x / 24 + y / 24) % 2) ? 140 : 90, 30);
        }
    }
    return img;
}

EffectRunner::EffectRunner(const EffectRunSetup& setup, Target& target) : setup_(setup), target_(target)
{
    effekte_anlegen(state_.effekte);
    effektzeiten_vorgabe_show(state_.effekte);
    // Set once: repeated runs of one runner calibrate as a show does.
    for (int n = 1; n <= kEffectCount; ++n) {
        Effekteintrag& entry = state_.effekte[std::size_t(n)];
        entry.aktiv = 1;
        entry.verzoegerung = setup.delay;
        if (setup.schritt) entry.schritt = *setup.schritt;
    }
    state_.settings.tdauer = setup.tdauer;
    state_.settings.expand = setup.expand;
    state_.settings.ausgeben = 0;
    state_.settings.effekt_nutzung = 1;
    state_.alphablend_verfuegbar = !setup.noAlpha;
    state_.laufmodus = QStringLiteral("Saver");
    state_.random.seedWith(setup.seed);
}

QString EffectRunner::prepare(const QString& oldPicture)
{
    const int w = setup_.width, h = setup_.height;
    state_.ScreenWidth = w;
    state_.ScreenHeight = h;
    Dc display;
    state_.bildschirmkopie_dc.create(&display, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            state_.bildschirmkopie_dc.bitmap()->setPixel(x, y, rgbPixel(20 + (x * 60) / w, 20 + (y * 60) / h, 90));
    if (QString failed = Init_Screen(state_, target_); !failed.isEmpty()) return failed;
    // The album and the pinboard lay thumbnails of the picture list.
    state_.pictureList = {PictureEntry{oldPicture, {}}};
    state_.settings.blende = 1;
    state_.settings.hgfarbe = std::int32_t(setup_.oldBackground);
    return DrawPicture(state_, target_, PictureEntry{oldPicture, {}});
}

QString EffectRunner::run(int effect, const QString& picture)
{
    state_.settings.blende = effect;
    state_.settings.hgfarbe = std::int32_t(setup_.newBackground);
    if (state_.pictureList.size() < 2) state_.pictureList.push_back(PictureEntry{picture, {}});
    return DrawPicture(state_, target_, PictureEntry{picture, {}});
}

} // namespace vm
