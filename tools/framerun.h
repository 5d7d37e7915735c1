// One effect run on a headless target from a fixed scene, and the hashes of
// every frame it shows. The committed frame table (tests/data/frames.txt)
// is made of these runs; the frames test and `velmirano-tool frames` share
// this code so that both run exactly the same thing.
#pragma once

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/choice.h"
#include "transitions/frame.h"

#include <QFile>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdint>
#include <map>
#include <vector>

// The hashing and pattern loops read only bitmaps they own; sanitizer
// checks there would cost more than the code under test.
#if defined(__GNUC__) || defined(__clang__)
#define VM_UNCHECKED_LOOP __attribute__((no_sanitize("address", "undefined")))
#else
#define VM_UNCHECKED_LOOP
#endif

namespace vm::frames {

// Patterns that differ everywhere, so a pixel tells where it came from.
inline Pixel oldPixel(int x, int y) { return 0x400000u | Pixel((x * 7 + y * 3) & 0xff); }
inline Pixel picturePixel(int x, int y) { return 0x008000u | Pixel(((x * 5) ^ (y * 11)) & 0xff) | (Pixel(y & 0x3f) << 18); }
inline Pixel desktopPixel(int x, int y) { return 0x000040u | (Pixel((x + y) & 0xff) << 16); }
constexpr ColorRef kBackground = 0x00a0a0; // behind the new picture
constexpr std::uint32_t kSeed = 7;
// The stop watch advances this much per step, so waits that end by time
// (the pinboard, the grey hold) end after the same number of steps.
constexpr std::uint32_t kMsPerStep = 1000;

// The show's state around one transition: the old picture on the target,
// the new one composed in neues_bild_dc exactly as the show step does it
// (background, the picture alone of two thirds the size centred on it), the
// desktop in desktop_dc, the stored step widths and no busy-wait.
class Scene {
public:
    // `picture`: the picture alone's size; empty = two thirds of the target.
    Scene(int w, int h, int effect, const QStringList& pictures = {}, QSize picture = {}) : target(w, h)
    {
        effekte_anlegen(st.effekte);
        effektzeiten_vorgabe_show(st.effekte);
        st.effekte[std::size_t(effect)].verzoegerung = 0;
        st.aktueller_effekt = effect;
        st.alphablend_verfuegbar = true;
        st.settings.tdauer = 2;
        st.random.seedWith(kSeed);
        st.stoppuhr = CStopWatch([this] { return std::uint32_t(target.pumps()) * kMsPerStep; });
        for (const QString& p : pictures) st.pictureList.push_back(PictureEntry{p, {}});

        Dc* like = target.dc();
        st.desktop_dc.create(like, w, h);
        st.neues_bild_dc.create(like, w, h);
        const int bw = picture.isEmpty() ? std::max(w * 2 / 3, 1) : picture.width();
        const int bh = picture.isEmpty() ? std::max(h * 2 / 3, 1) : picture.height();
        st.bild.bild_dc.create(like, bw, bh);
        st.bild.bild_breite = bw;
        st.bild.bild_hoehe = bh;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                target.bitmap().setPixel(x, y, oldPixel(x, y));
                st.desktop_dc.bitmap()->setPixel(x, y, desktopPixel(x, y));
            }
        for (int y = 0; y < bh; ++y)
            for (int x = 0; x < bw; ++x) st.bild.bild_dc.bitmap()->setPixel(x, y, picturePixel(x, y));
        st.bild.hintergrund_pinsel = CreateSolidBrush(kBackground);
        FillRect(st.neues_bild_dc.dc(), Rect{0, 0, w, h}, st.bild.hintergrund_pinsel);
        st.bild.bild_x = px((target.width() - bw) / 2.0);
        st.bild.bild_y = px((target.height() - bh) / 2.0);
        BitBlt(st.neues_bild_dc.dc(), st.bild.bild_x, st.bild.bild_y, bw, bh, st.bild.bild_dc.dc(), 0, 0);
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    Effekteintrag& entry() { return st.current(); }

    // The frame the show step puts around a transition.
    bool run()
    {
        st.aktuelles_delay = st.current().verzoegerung;
        st.fehlertext.clear();
        st.stoppuhr.StartWatch();
        return dispatchEffect(st, target);
    }

    bool showsNewPicture() const { return target.bitmap() == *st.neues_bild_dc.bitmap(); }

    RunState st;
    HeadlessTarget target;
};

// 64-bit hash of a bitmap's size and pixels: four independent lanes of
// two pixels each, so that the multiplications overlap.
VM_UNCHECKED_LOOP inline std::uint64_t hashBitmap(const Bitmap& b)
{
    constexpr std::uint64_t p1 = 0x9e3779b185ebca87ull, p2 = 0xc2b2ae3d27d4eb4full;
    auto round = [](std::uint64_t h, std::uint64_t v) {
        h ^= v * p2;
        h = (h << 31) | (h >> 33);
        return h * p1;
    };
    std::uint64_t lane[4] = {0x27d4eb2f165667c5ull, p1, p2, 0x165667b19e3779f9ull};
    const std::size_t n = std::size_t(b.width()) * std::size_t(b.height()); // rows have no gaps
    const Pixel* px = n ? b.row(0) : nullptr;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        for (int l = 0; l < 4; ++l)
            lane[l] = round(lane[l], std::uint64_t(px[i + 2 * l]) | std::uint64_t(px[i + 2 * l + 1]) << 32);
    std::uint64_t h = round(lane[0], (std::uint64_t(b.width()) << 32) | std::uint32_t(b.height()));
    for (int l = 1; l < 4; ++l) h = round(h, lane[l]);
    for (; i < n; ++i) h = round(h, px[i]);
    h ^= h >> 29;
    return h * p2;
}

inline std::uint64_t chainHash(std::uint64_t chain, std::uint64_t frame)
{
    return (chain ^ frame) * 0x100000001b3ull + 0x9e3779b97f4a7c15ull;
}

struct Record {
    int effect = 0;
    int w = 0, h = 0;
    int steps = 0;
    std::uint64_t chain = 0; // every frame shown at a step, in order
    std::uint64_t final = 0; // the frame left at the end
    bool ok = false;

    QString key() const { return QStringLiteral("%1 %2x%3").arg(effect).arg(w).arg(h); }
    QString line() const
    {
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(key())
            .arg(steps)
            .arg(chain, 16, 16, QLatin1Char('0'))
            .arg(final, 16, 16, QLatin1Char('0'))
            .arg(ok ? QStringLiteral("true") : QStringLiteral("false"));
    }
};

inline Record record(int effect, int w, int h, const QStringList& pictures)
{
    Scene sc(w, h, effect, pictures);
    Record r{effect, w, h};
    sc.target.onPump = [&](int) { r.chain = chainHash(r.chain, hashBitmap(sc.target.bitmap())); };
    r.ok = sc.run();
    r.steps = sc.target.pumps();
    r.final = hashBitmap(sc.target.bitmap());
    return r;
}

// Pictures for the album and the pinboard, all larger than a cell at the
// table's sizes, of different shapes so that their cells differ.
class AlbumPictures {
public:
    AlbumPictures()
    {
        const QSize sizes[] = {{300, 200}, {120, 260}, {240, 240}};
        for (int i = 0; i < 3; ++i) {
            QImage img(sizes[i], QImage::Format_RGB32);
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    img.setPixel(x, y, qRgb(60 * i + (x & 63), (y * 3) & 255, (x ^ y) & 255));
            files_ << dir_.filePath(QStringLiteral("album%1.png").arg(i));
            img.save(files_.back());
        }
    }
    const QStringList& files() const { return files_; }

private:
    QTemporaryDir dir_;
    QStringList files_;
};

// The table: every effect at an odd size that no effect treats specially;
// at a larger one the radar, which refines its angles only above a
// 640-pixel radius, and two effects whose squares and cells grow with the
// size (more rows there would make the test slow under the sanitizers).
struct TableRow {
    int effect;
    QSize size;
};
inline std::vector<TableRow> tableRows()
{
    std::vector<TableRow> rows;
    for (int n = 1; n <= kEffectCount; ++n) rows.push_back({n, QSize(91, 53)});
    for (int n : {6, 7, 40, 65}) rows.push_back({n, QSize(1283, 721)});
    return rows;
}

inline std::vector<Record> table()
{
    AlbumPictures pictures;
    std::vector<Record> rows;
    for (const TableRow& r : tableRows())
        rows.push_back(record(r.effect, r.size.width(), r.size.height(), pictures.files()));
    return rows;
}

// Key ("7 91x53") -> line, from a table file.
inline std::map<QString, QString> readTable(const QString& path, bool* found = nullptr)
{
    std::map<QString, QString> lines;
    QFile f(path);
    if (found) *found = f.open(QIODevice::ReadOnly | QIODevice::Text);
    if (found && !*found) return lines;
    if (!found && !f.open(QIODevice::ReadOnly | QIODevice::Text)) return lines;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const QStringList parts = line.split(u' ');
        if (parts.size() >= 2) lines[parts[0] + u' ' + parts[1]] = line;
    }
    return lines;
}

// What differs between a recorded line and a committed one, in words.
inline QString difference(const QString& now, const QString& committed)
{
    const QStringList a = now.split(u' '), b = committed.split(u' ');
    if (a.size() != 6 || b.size() != 6) return QStringLiteral("line malformed");
    QStringList what;
    if (a[2] != b[2]) what << QStringLiteral("step count %1 (table %2)").arg(a[2], b[2]);
    if (a[3] != b[3]) what << QStringLiteral("step chain");
    if (a[4] != b[4]) what << QStringLiteral("final frame");
    if (a[5] != b[5]) what << QStringLiteral("result %1 (table %2)").arg(a[5], b[5]);
    return what.join(QStringLiteral(", "));
}

} // namespace vm::frames
