#include "transitions/album.h"

#include "pictures/decoding.h"
#include "platform/imagelib.h"
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace vm {

namespace {

constexpr int kAlbum = 68;
constexpr int kPinboardMinimumMs = 15000;
constexpr int kPinboardMinimumPictures = 25;
// The image library reports no error number of its own for a failed
// reduction; this is the one the loader uses for its failures too.
constexpr int kResizeErrorNumber = 1;

// Desktop copy or the picture's background colour over the whole target.
bool paintBackground(RunState& state, Target& target, int routine)
{
    const int w = targetW(target), h = targetH(target);
    if (state.settings.desktop == 1) {
        if (BitBlt(target.dc(), 0, 0, w, h, state.desktop_dc.dc(), 0, 0)) return true;
        state.fehlertext = errorWords("BitBlt", routine);
        return false;
    }
    if (FillRect(target.dc(), Rect{0, 0, w, h}, state.bild.hintergrund_pinsel)) return true;
    state.fehlertext = errorWords("FillRect", routine);
    return false;
}

// Remembers the pictures found no larger than a cell, so that they are not
// loaded again and the routine can tell when the list holds nothing usable.
class SmallPictures {
public:
    void add(const QString& path) { paths_.insert(path); }
    bool contains(const QString& path) const { return paths_.contains(path); }
    void usableFound() { fruitless_ = 0; }
    // Called after each draw that laid nothing: true when every entry of the
    // list is known to be too small. The list may have been rebuilt
    // meanwhile, so it is looked at as it is now, but only once per as many
    // fruitless draws as it has entries, which keeps each draw cheap.
    bool nothingUsable(const PictureList& list)
    {
        if (++fruitless_ < list.size()) return false;
        fruitless_ = 0;
        return std::all_of(list.begin(), list.end(),
                           [this](const PictureEntry& e) { return paths_.contains(e.filePath); });
    }

private:
    QSet<QString> paths_;
    std::size_t fruitless_ = 0;
};

// Cells already decoded in this transition: a short list draws the same
// pictures again and again, and a file's decode costs a decoder run.
struct DecodedCell {
    QSize stored;
    RgbImage picture;
};
constexpr int kCellsKept = 64;

// How many cells are decoded at once, the one waited for among them: each
// decoder spends most of its time starting, and two keep two cores busy.
constexpr int kCellsInParallel = 2;
constexpr int kCellsGuessed = 3;

// The pictures the next cells will draw, as the random sequence will pick
// them, so that they are decoded beside the one waited for. A guess that
// turns out wrong (a picture too small for a cell takes fewer numbers on
// the pinboard) costs only a decoder run.
// The list entry (1 to count) a cell draws; the guesses draw the same way.
int drawEntry(Random& random, int count) { return std::clamp(int(std::floor(random.next() * count + 1)), 1, count); }

std::vector<DecodeRequest> nextCells(const RunState& state, double cell, bool album, int left,
                                     const SmallPictures& small, const QHash<QString, DecodedCell>& decoded)
{
    std::vector<DecodeRequest> upcoming;
    const int count = state.PictureCount();
    if (count <= 0) return upcoming;
    Random peek = state.random;
    int laid = 0;
    for (int k = 0; k < kCellsGuessed && laid < left; ++k) {
        const int i = drawEntry(peek, count);
        const QString& path = state.pictureList[std::size_t(i - 1)].filePath;
        if (small.contains(path)) continue;
        ++laid;
        if (!decoded.contains(path))
            upcoming.push_back(
                MakeDecodeRequest(path, state.settings.exifrotate == 1, QSizeF(cell, cell), false, false));
        if (!album) {
            peek.next();
            peek.next();
        }
    }
    return upcoming;
}

} // namespace

bool blende_047(RunState& state, Target& target)
{
    constexpr int kRoutine = 47;
    const bool album = state.aktueller_effekt == kAlbum;
    // On a target a few pixels wide the cell would round to 0.
    const int s = std::max(px(target.width() / 6), 1);
    const int nx = px(target.width() - 1) / s + 1;
    const int ny = px(target.height() - 1) / s + 1;
    const int cells = std::max(nx, 1) * std::max(ny, 1);

    if (!paintBackground(state, target, kRoutine)) return false;

    RgbImage bild_rgb, hilfs_rgb;
    SmallPictures small;
    QHash<QString, DecodedCell> decoded;
    // Whatever way the routine ends, no guessed cell goes on decoding.
    struct DropGuesses {
        PictureDecoder& decoder;
        ~DropGuesses() { decoder.dropSoon(); }
    } dropGuesses{state.decoder};
    int n = 1;
    for (;;) {
        target.pumpMessages();
        if (state.abbruch || state.unterbrechung) return false;
        state.decoder.decodeSoon(
            nextCells(state, s, album, album ? cells - n + 1 : kCellsGuessed, small, decoded), kCellsInParallel);

        // The list may be empty, or rebuilt while events ran: draw from it
        // as it is now, and end with what is laid when nothing is usable.
        const int count = state.PictureCount();
        if (count <= 0) return true;
        const int i = drawEntry(state.random, count);
        const QString path = state.pictureList[std::size_t(i - 1)].filePath;
        bild_rgb = {};
        hilfs_rgb = {};
        if (small.contains(path)) {
            if (small.nothingUsable(state.pictureList)) return true;
            continue;
        }

        QSize stored;
        if (const auto known = decoded.constFind(path); known != decoded.cend()) {
            stored = known->stored;
            bild_rgb = known->picture;
        } else {
            state.fehlertext = DecodePicture(state.decoder, path, state.settings.exifrotate == 1, QSizeF(s, s), false,
                                             bild_rgb, &stored, nullptr,
                                             [&state] { return state.abbruch || state.unterbrechung; });
            if (!state.fehlertext.isEmpty() || state.abbruch || state.unterbrechung) return false;
            if (decoded.size() < kCellsKept) decoded.insert(path, DecodedCell{stored, bild_rgb});
        }
        // Whether the picture is larger than a cell is judged by its size as
        // stored, not by the reduced scale it may have been decoded at.
        state.bild.bild_breite = stored.isValid() ? stored.width() : bild_rgb.width;
        state.bild.bild_hoehe = stored.isValid() ? stored.height() : bild_rgb.height;
        const double f = MaximumDbl({double(float(double(state.bild.bild_breite) / s)),
                                     double(float(double(state.bild.bild_hoehe) / s))});
        if (f <= 1) {
            // Small pictures are never used.
            small.add(path);
            if (small.nothingUsable(state.pictureList)) return true;
            continue;
        }
        small.usableFound();

        // At least one pixel each way, also for a picture of a single row.
        const int tw = std::max(px(state.bild.bild_breite / f), 1);
        const int th = std::max(px(state.bild.bild_hoehe / f), 1);
        if (!hilfs_rgb.allocate(tw, th)) {
            state.fehlertext = QStringLiteral("GlobalAlloc fehlgeschlagen");
            return false;
        }
        if (!ResizeImage(bild_rgb, hilfs_rgb)) {
            state.fehlertext = QStringLiteral("Fehler %1 in IS_ResizeImage in blende_047").arg(kResizeErrorNumber);
            return false;
        }

        state.puffer1.release();
        state.puffer1.create(target.dc(), tw, th);
        std::unique_ptr<Bitmap> thumbnail = RgbToBitmap(hilfs_rgb);
        if (!thumbnail || !state.puffer1.bitmap()) {
            // Without the thumbnail's bitmap there is nothing to copy.
            state.fehlertext = errorWords("BitBlt", kRoutine);
            return false;
        }
        *state.puffer1.bitmap() = std::move(*thumbnail);

        int x = 0, y = 0;
        if (album) {
            const int column = (n - 1) % nx, row = (n - 1) / nx;
            x = px((s - tw) / 2.0 + column * s);
            y = px((s - th) / 2.0 + row * s);
        } else {
            x = int(std::floor((target.width() - tw) * state.random.next() + 1));
            y = int(std::floor((target.height() - th) * state.random.next() + 1));
        }
        if (!BitBlt(target.dc(), x, y, tw, th, state.puffer1.dc(), 0, 0)) {
            state.fehlertext = errorWords("BitBlt", kRoutine);
            return false;
        }
        ++n;

        if (album) {
            if (n > cells) return true;
        } else if (state.stoppuhr.StopWatch(false, false) > kPinboardMinimumMs && n > kPinboardMinimumPictures) {
            return true;
        }
    }
}

bool blende_048(RunState& state, Target& target)
{
    constexpr int kRoutine = 48;
    state.puffer1.create(target.dc(), targetW(target), targetH(target));
    if (!paintBackground(state, target, kRoutine)) return false;
    state.puffer1.dc()->stretchMode = StretchMode::ColorOnColor;
    target.dc()->stretchMode = StretchMode::ColorOnColor;

    const PictureState& p = state.bild;
    // A picture without width has no mosaic; the final copy still shows it.
    if (p.bild_breite > 0) {
        int w = 1;
        double g = 1.0;
        for (;;) {
            const int h = std::max(px(double(p.bild_hoehe) * w / p.bild_breite), 1);
            if (!(p.bild_breite / 2.0 >= w && p.bild_hoehe / 2.0 >= h)) break;
            if (!stepPrologue(state, target)) return false;
            // The picture reduced to w x h pixels, then each pixel drawn as a block.
            if (!StretchBlt(state.puffer1.dc(), 0, 0, w, h, p.bild_dc.dc(), 0, 0, p.bild_breite, p.bild_hoehe) ||
                !StretchBlt(target.dc(), p.bild_x, p.bild_y, p.bild_breite, p.bild_hoehe, state.puffer1.dc(), 0, 0,
                            w, h)) {
                state.fehlertext = errorWords("StretchBlt", kRoutine);
                return false;
            }
            w = px((w + 1) * g);
            g *= 1.01;
        }
    }
    if (!BitBlt(target.dc(), 0, 0, targetW(target), targetH(target), state.neues_bild_dc.dc(), 0, 0)) {
        state.fehlertext = errorWords("BitBlt", kRoutine);
        return false;
    }
    return true;
}

} // namespace vm
