#include "pictures/showstep.h"

#include "pictures/loading.h"
#include "platform/imagelib.h"
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/choice.h"
#include "transitions/frame.h"

namespace vm {

namespace {

// The image library reports no error number of its own for a failed
// resize; this is the one its message carries.
constexpr int kResizeError = 1;

// Releases what one picture made, whichever way the step ends.
struct PerPictureCleanup {
    RunState& state;
    ~PerPictureCleanup()
    {
        state.bild.bild_dc.release();
        state.puffer1.release();
        state.puffer2.release();
        state.bild.hintergrund_pinsel = SolidBrush{};
    }
};

QString withPath(const char* message, const QString& path)
{
    return QLatin1String(message) + u'\n' + path;
}

// Scales `image` to w x h in place.
enum class Fit { Ok, NoMemory, ResizeFailed };
Fit resample(RgbImage& image, std::int32_t w, std::int32_t h)
{
    RgbImage scaled;
    if (!scaled.allocate(w, h)) return Fit::NoMemory;
    if (!ResizeImage(image, scaled)) return Fit::ResizeFailed;
    image = std::move(scaled);
    return Fit::Ok;
}

ColorRef colorRefOf(const RgbImage& sample)
{
    return ColorRef(sample.rgb[0]) | ColorRef(sample.rgb[1]) << 8 | ColorRef(sample.rgb[2]) << 16;
}

} // namespace

QString DrawPicture(RunState& state, Target& target, const PictureEntry& entry, const StampStep& stamp)
{
    PerPictureCleanup cleanup{state};
    PictureState& bild = state.bild;
    const QString& path = entry.filePath;

    // Decoding may stop at the fitted size; position and size below are
    // computed from the size as stored, so they equal those of a full decode.
    RgbImage bild_rgb;
    QSize original;
    // The stamp's metadata is read with the picture, not again after the transition.
    PictureMetadata metadata;
    const QString loaded = LoadPicture(path, path.right(3).toUpper(), state.settings.exifrotate == 1, bild_rgb,
                                       QSize(targetW(target), targetH(target)), &original,
                                       state.settings.ausgeben == 1 ? &metadata : nullptr);
    if (!loaded.isEmpty()) return loaded;
    if (original.isEmpty()) original = QSize(bild_rgb.width, bild_rgb.height);
    bild.bild_breite = original.width();
    bild.bild_hoehe = original.height();

    effekt_waehlen(state);

    // Fit inside the target, aspect kept; the ratios are single precision.
    const float rx = float(double(bild.bild_breite) / target.width());
    const float ry = float(double(bild.bild_hoehe) / target.height());
    const float s = rx > ry ? rx : ry;
    const bool shrink = s > 1.0f;
    if (shrink || state.settings.expand == 1) {
        // A picture far thinner than the target would round to no pixel at all.
        bild.neue_breite = Maximum({px(double(bild.bild_breite) / double(s)), 1});
        bild.neue_hoehe = Maximum({px(double(bild.bild_hoehe) / double(s)), 1});
        switch (resample(bild_rgb, bild.neue_breite, bild.neue_hoehe)) {
        case Fit::NoMemory:
            return QStringLiteral("GlobalAlloc fehlgeschlagen ") + (shrink ? QStringLiteral("\n") : QString()) +
                   path;
        case Fit::ResizeFailed:
            return QStringLiteral("Fehler %1 in IS_ResizeImage\n").arg(kResizeError) + path;
        case Fit::Ok:
            break;
        }
        bild.bild_breite = bild.neue_breite;
        bild.bild_hoehe = bild.neue_hoehe;
    } else if (bild_rgb.width != bild.bild_breite || bild_rgb.height != bild.bild_hoehe) {
        // The picture keeps its size; a reduced decode is brought back to it.
        if (resample(bild_rgb, bild.bild_breite, bild.bild_hoehe) != Fit::Ok)
            return QStringLiteral("Fehler %1 in IS_ResizeImage\n").arg(kResizeError) + path;
    }

    // The picture alone; a bitmap that cannot be made leaves bild_dc empty,
    // so the copy below reports it.
    if (auto converted = RgbToBitmap(bild_rgb); converted && bild.bild_dc.create(target.dc(), 0, 0))
        *bild.bild_dc.bitmap() = std::move(*converted);

    ColorRef colour = ColorRef(state.settings.hgfarbe);
    if (state.settings.passende_farbe == 1) {
        RgbImage sample;
        if (!sample.allocate(1, 1) || !ResizeImage(bild_rgb, sample)) return {};
        colour = colorRefOf(sample);
    }
    bild.hintergrund_pinsel = CreateSolidBrush(colour);

    Dc* neu = state.neues_bild_dc.dc();
    if (state.settings.desktop == 1) {
        if (!BitBlt(neu, 0, 0, targetW(target), targetH(target), state.desktop_dc.dc(), 0, 0))
            return withPath("Fehler in BitBlt in DrawPicture", path);
    } else if (!FillRect(neu, Rect{0, 0, targetW(target), targetH(target)}, bild.hintergrund_pinsel)) {
        return withPath("Fehler in FillRect in DrawPicture", path);
    }

    bild.bild_x = px((target.width() - bild.bild_breite) / 2.0);
    bild.bild_y = px((target.height() - bild.bild_hoehe) / 2.0);
    if (!BitBlt(neu, bild.bild_x, bild.bild_y, bild.bild_breite, bild.bild_hoehe, bild.bild_dc.dc(), 0, 0))
        return withPath("Fehler in BitBlt in DrawPicture", path);

    // The transition frame.
    state.aktuelles_delay = state.current().verzoegerung;
    state.fehlertext.clear();
    state.stoppuhr.StartWatch();
    const bool done = dispatchEffect(state, target);
    target.present();
    if (!done) {
        if (state.fehlertext.isEmpty()) return {}; // stopped by the user
        const Effekteintrag& e = state.current();
        return QStringLiteral("Blendengruppe: ") + e.gruppe + QStringLiteral("\nBlende: ") + e.name +
               QStringLiteral("\n\n") + state.fehlertext + u'\n' + path;
    }
    // Time spent in a form during the transition is no transition time.
    if (state.messung_auslassen) {
        state.messung_auslassen = false;
        return {};
    }
    if (state.aktueller_effekt != 1) zeitmessung(state);
    // Album and pinboard leave their own arrangement that a text would spoil.
    if (state.settings.ausgeben == 1 && state.aktueller_effekt != 68 && state.aktueller_effekt != 69) {
        stamp(state, target, entry, metadata);
        target.present();
    }
    return {};
}

} // namespace vm
