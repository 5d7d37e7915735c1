#include "pictures/showstep.h"

#include "pictures/decoding.h"
#include "platform/imagelib.h"
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/choice.h"
#include "transitions/frame.h"

namespace vm {

namespace {

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

// What the step asks of the decoder for a picture on this target now.
DecodeRequest showRequest(const RunState& state, const Target& target, const QString& path)
{
    return MakeDecodeRequest(path, state.settings.exifrotate == 1, QSizeF(target.width(), target.height()),
                             state.settings.expand == 1, state.settings.ausgeben == 1);
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

    // Usually decoded ahead during the previous interval; otherwise the
    // event loop runs while the decoder works, so input ends the show.
    std::optional<DecodedPicture> decoded = state.decoder.obtain(
        showRequest(state, target, path), [&state] { return state.abbruch || state.unterbrechung; });
    if (!decoded) return {}; // stopped by the user
    if (!decoded->loadError.isEmpty()) return decoded->loadError;
    // Size and position are those of the picture as stored, however it was decoded.
    bild.bild_breite = decoded->stored.width();
    bild.bild_hoehe = decoded->stored.height();

    effekt_waehlen(state);

    // Fitted in the decoder; the sizes are the step's own as well.
    if (const auto fitted = FitSize(decoded->stored, target.width(), target.height(), state.settings.expand == 1)) {
        bild.neue_breite = fitted->size.width();
        bild.neue_hoehe = fitted->size.height();
    }
    if (!decoded->fitError.isEmpty()) return decoded->fitError;
    const RgbImage bild_rgb = std::move(decoded->picture);
    bild.bild_breite = bild_rgb.width;
    bild.bild_hoehe = bild_rgb.height;

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
        stamp(state, target, entry, decoded->metadata);
        target.present();
    }
    return {};
}

void DecodeNextAhead(RunState& state, const Target& target)
{
    DecodeAheadAt(state, target, state.CurrentPictureIndex + 1);
}

void DecodeAheadAt(RunState& state, const Target& target, int index)
{
    const int n = state.PictureCount();
    if (n < 1) return;
    if (index > n || index < 1) index = 1;
    state.decoder.decodeAhead(showRequest(state, target, state.pictureList[std::size_t(index - 1)].filePath));
}

} // namespace vm
