// velmirano-tool gallery and bench: a contact sheet of every built effect,
// and the time of one whole run of each.
#include "effectrun.h"

#include "platform/clock.h"
#include "platform/qttarget.h"
#include "transitions/catalogue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace vm {

namespace {

bool parseSize(const QString& v, int& w, int& h)
{
    const QStringList wh = v.split(u'x');
    bool ok1 = false, ok2 = false;
    if (wh.size() != 2) return false;
    w = wh[0].toInt(&ok1);
    h = wh[1].toInt(&ok2);
    return ok1 && ok2 && w >= 8 && h >= 8 && w <= 8192 && h <= 8192;
}

// The built effects of a list like "2,5,10-12", or all of them.
std::vector<int> effectList(const QString& wanted)
{
    std::vector<int> effects;
    auto add = [&](int n) {
        if (n >= 1 && n <= kEffectCount && routineBuilt(n) &&
            std::find(effects.begin(), effects.end(), n) == effects.end())
            effects.push_back(n);
    };
    if (wanted.isEmpty()) {
        for (int n = 1; n <= kEffectCount; ++n) add(n);
        return effects;
    }
    for (const QString& part : wanted.split(u',', Qt::SkipEmptyParts)) {
        const QStringList range = part.split(u'-');
        const int a = range[0].toInt(), b = range.size() > 1 ? range[1].toInt() : a;
        for (int n = a; n <= b; ++n) add(n);
    }
    return effects;
}

// Pictures for the sheet: the new one smaller than the target, so its
// background and centring show; the old one fills the target.
struct Pictures {
    QTemporaryDir dir;
    QString oldPicture, newPicture;
    Pictures(int w, int h)
    {
        oldPicture = dir.filePath(QStringLiteral("old.png"));
        newPicture = dir.filePath(QStringLiteral("new.png"));
        generatedPicture(w, h, false).save(oldPicture);
        generatedPicture(w * 2 / 3, h * 2 / 3, true).save(newPicture);
    }
};

// Forwards to another target, counts the steps (event pumps) and notes
// when the show step presents the finished transition.
class CountingTarget : public Target {
public:
    explicit CountingTarget(Target& inner) : inner_(inner) {}
    Dc* dc() override { return inner_.dc(); }
    double width() const override { return inner_.width(); }
    double height() const override { return inner_.height(); }
    void pumpMessages() override
    {
        ++pumps;
        inner_.pumpMessages();
    }
    void present() override
    {
        inner_.present();
        if (!presented) presented = timeGetTime();
    }
    int pumps = 0;
    std::optional<std::uint32_t> presented;

private:
    Target& inner_;
};

EffectRunSetup sheetSetup(int w, int h)
{
    EffectRunSetup s;
    s.width = w;
    s.height = h;
    s.oldBackground = 0x203040;
    s.newBackground = 0x5a1010; // dark blue behind the new picture
    s.tdauer = 1;
    return s;
}

} // namespace

int cmdGallery(const QStringList& args)
{
    QString outFile, effects;
    int w = 320, h = 240;
    for (qsizetype i = 2; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            if (!parseSize(args[++i], w, h)) return 2;
        } else if (args[i] == QLatin1String("--effects") && i + 1 < args.size()) {
            effects = args[++i];
        } else if (outFile.isEmpty()) {
            outFile = args[i];
        } else {
            return 2;
        }
    }
    if (outFile.isEmpty()) {
        std::fputs("Aufruf: velmirano-tool gallery AUSGABE.png [--size BxH] [--effects LISTE]\n", stderr);
        return 2;
    }
    const std::vector<int> list = effectList(effects);
    Pictures pictures(w, h);
    Effekte names;
    effekte_anlegen(names);
    const int label = 220, gap = 4, cols = 4;
    QImage sheet(label + cols * (w + gap), int(list.size()) * (h + gap) + gap, QImage::Format_RGB32);
    sheet.fill(qRgb(250, 250, 250));
    QPainter p(&sheet);
    QTextStream out(stdout);
    for (std::size_t row = 0; row < list.size(); ++row) {
        const int n = list[row];
        // First run counts the steps, second captures at the quarters.
        int steps = 0;
        {
            HeadlessTarget t(w, h);
            EffectRunner r(sheetSetup(w, h), t);
            r.prepare(pictures.oldPicture);
            t.resetPumps();
            r.run(n, pictures.newPicture);
            steps = t.pumps();
        }
        HeadlessTarget t(w, h);
        EffectRunner r(sheetSetup(w, h), t);
        r.prepare(pictures.oldPicture);
        t.resetPumps();
        std::vector<QImage> frames;
        const int marks[3] = {std::max(1, steps / 4), std::max(1, steps / 2), std::max(1, steps * 3 / 4)};
        t.onPump = [&](int pump) {
            for (int m : marks)
                if (pump == m && frames.size() < 3) frames.push_back(bitmapToImage(t.bitmap()));
        };
        const QString message = r.run(n, pictures.newPicture);
        t.onPump = nullptr;
        while (frames.size() < 3) frames.push_back(bitmapToImage(t.bitmap()));
        frames.push_back(bitmapToImage(t.bitmap()));
        const int y = gap + int(row) * (h + gap);
        p.setPen(Qt::black);
        p.drawText(QRect(6, y, label - 12, h), Qt::AlignVCenter | Qt::TextWordWrap,
                   QStringLiteral("%1  %2\n%3\n%4\n%5 Schritte")
                       .arg(n)
                       .arg(names[std::size_t(n)].name, names[std::size_t(n)].gruppe, routineName(n))
                       .arg(steps));
        for (int c = 0; c < cols; ++c) p.drawImage(label + c * (w + gap), y, frames[std::size_t(c)]);
        out << "effect=" << n << " steps=" << steps << (message.isEmpty() ? "" : " failed") << '\n';
    }
    p.end();
    return sheet.save(outFile) ? 0 : 1;
}

int cmdBench(const QStringList& args)
{
    QString effects;
    int w = 1920, h = 1080;
    bool window = false;
    int monitors = 1;
    int extra = 0;
    for (qsizetype i = 2; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            if (!parseSize(args[++i], w, h)) return 2;
        } else if (args[i] == QLatin1String("--effects") && i + 1 < args.size()) {
            effects = args[++i];
        } else if (args[i] == QLatin1String("--window")) {
            window = true;
        } else if (args[i] == QLatin1String("--pictures") && i + 1 < args.size()) {
            // The album and the pinboard draw from the list: this many more
            // files of their own, as a folder of photos gives them.
            extra = args[++i].toInt();
            if (extra < 0 || extra > 1000) return 2;
        } else if (args[i] == QLatin1String("--monitors") && i + 1 < args.size()) {
            monitors = args[++i].toInt();
            if (monitors < 1 || monitors > 4) return 2;
        } else {
            std::fputs("Aufruf: velmirano-tool bench [--size BxH] [--window [--monitors N]] [--effects LISTE] [--pictures N]\n", stderr);
            return 2;
        }
    }
    // Several monitors: one window of the given size each, side by side,
    // taking turns as the show's monitors do.
    std::vector<std::unique_ptr<PictureBox>> boxes;
    if (window) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 2;
        for (int k = 0; k < monitors; ++k) {
            auto box = std::make_unique<PictureBox>();
            box->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
            if (QScreen* s = QGuiApplication::primaryScreen(); s && monitors == 1) {
                box->setGeometry(s->geometry());
                w = s->geometry().width();
                h = s->geometry().height();
            } else {
                box->setGeometry(k * w, 0, w, h);
            }
            monitors == 1 ? box->showFullScreen() : box->show();
            boxes.push_back(std::move(box));
        }
        QCoreApplication::processEvents();
    }
    if (!window) monitors = 1;
    Pictures pictures(w, h);
    std::vector<PictureEntry> photos;
    if (extra > 0) {
        const QImage photo = generatedPicture(w, h, false);
        for (int k = 0; k < extra; ++k) {
            const QString path = pictures.dir.filePath(QStringLiteral("foto%1.jpg").arg(k));
            if (!photo.save(path, "JPEG", 90)) return 1;
            photos.push_back(PictureEntry{path, {}});
        }
    }
    QTextStream out(stdout);
    // The time of an effect is what the show's stop watch sees, from the
    // start of the transition (for 72 from the end of its grey hold) to the
    // finished picture on screen; "total" adds loading and composing.
    std::vector<qint64> all;
    int slowest = 0;
    qint64 slowestMs = -1;
    for (int n : effectList(effects)) {
        std::vector<qint64> times, totals;
        int steps = 0;
        qint64 ms = 0, total = 0;
        // The slowest monitor's middle run counts.
        for (int k = 0; k < monitors; ++k) {
        times.clear();
        totals.clear();
        for (int rep = 0; rep < 3; ++rep) {
            HeadlessTarget headless(w, h);
            CountingTarget target(boxes.empty() ? static_cast<Target&>(headless) : *boxes[std::size_t(k)]);
            EffectRunSetup setup = sheetSetup(w, h);
            setup.delay = 0;
            EffectRunner r(setup, target);
            r.prepare(pictures.oldPicture);
            if (!photos.empty()) r.state().pictureList = photos;
            target.pumps = 0;
            target.presented.reset();
            QElapsedTimer clock;
            clock.start();
            r.run(n, rep % 2 ? pictures.oldPicture : pictures.newPicture);
            target.present();
            totals.push_back(clock.elapsed());
            times.push_back(elapsedMs(std::uint32_t(r.state().stoppuhr.StartTime()), *target.presented));
            steps = target.pumps;
        }
        std::sort(times.begin(), times.end());
        std::sort(totals.begin(), totals.end());
        ms = std::max(ms, times[1]);
        total = std::max(total, totals[1]);
        }
        // The pinboard lays pictures for a fixed time; it is no measure of drawing.
        if (n != 69) {
            all.push_back(ms);
            if (ms > slowestMs) {
                slowestMs = ms;
                slowest = n;
            }
        }
        out << "effect=" << n << " steps=" << steps << " ms=" << ms << " total=" << total << Qt::endl;
    }
    if (!all.empty()) {
        std::sort(all.begin(), all.end());
        out << "slowest effect=" << slowest << " ms=" << slowestMs << " median ms=" << all[all.size() / 2]
            << " (without 69)" << Qt::endl;
    }
    return 0;
}

} // namespace vm
