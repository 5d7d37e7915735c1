// Times the stamp step's text work over the worst texts a picture, its name
// or its folders can hand it: expansion plus drawing on a 1920x1080 frame,
// each case the median of several runs, against a 100 ms budget.
// Usage: bench_stamp [runs]   (default 5)
#include "pictures/textstamp.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include "benchutil.h"

using namespace vm;

namespace {

struct Case {
    const char* name;
    QString text;
    QString path;
    int height;
    int direction;
};

// A Windows title of 8000 times "%i25" and keywords that name the title.
PictureMetadata hostileMetadata()
{
    PictureMetadata m;
    ExifField title;
    title.tag = 40091;
    title.group = QStringLiteral("Image");
    const QString t = QStringLiteral("%i25").repeated(8000);
    title.bytes = QByteArray(reinterpret_cast<const char*>(t.utf16()), t.size() * 2);
    m.exif.push_back(title);
    for (int i = 0; i < 1000; ++i) m.iptc.push_back({2, 25, "%e40091 %i25"});
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const PictureMetadata metadata = hostileMetadata();
    const QString percentFolders = QStringLiteral("/%p%n").repeated(40) + QStringLiteral("/") + QStringLiteral("%a").repeated(100) + ".jpg";
    const QList<Case> cases{
        {"title of 8000 x %i25", QStringLiteral("Titel: %e40091"), QStringLiteral("/b/a.jpg"), 15, 0},
        {"name of %e270 x 5", QStringLiteral("%n"), QStringLiteral("/b/%e270%e270%e270%e270%e270.jpg"), 15, 0},
        {"folders of %p%n, stamp %k", QStringLiteral("%k"), percentFolders, 15, 0},
        {"all of it, height 100", QStringLiteral("%k %n %p %e40091 %i25"), percentFolders, 100, 0},
        {"1000 line breaks", QStringLiteral("x%\\").repeated(1000), QStringLiteral("/b/a.jpg"), 15, 0},
        {"one long line, height 100, turned", QStringLiteral("%e40091"), QStringLiteral("/b/a.jpg"), 100, 1},
        {"1000 line breaks, height 100, turned", QStringLiteral("Wort %\\").repeated(1000), QStringLiteral("/b/a.jpg"), 100, 3},
    };
    printLoad();
    bool over = false;
    for (const Case& c : cases) {
        Settings settings;
        settings.hoehe = c.height;
        settings.richtung = c.direction;
        settings.hintergrund = 1;
        settings.rahmen = 1;
        settings.position = 5;
        RgbImage frame;
        frame.allocate(1920, 1080);
        qsizetype length = 0;
        const double ms = medianMs(runs, [&] {
            const QString text = expandPlaceholders(c.text, c.path, QDateTime::currentDateTime(), metadata);
            length = text.size();
            drawStamp(frame, settings, text);
        });
        over = over || ms >= 100;
        std::printf("%-40s %6lld chars %8.2f ms%s\n", c.name, (long long)length, ms, ms >= 100 ? "  OVER 100 ms" : "");
    }
    return over ? 1 : 0;
}
