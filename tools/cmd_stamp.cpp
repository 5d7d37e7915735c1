// velmirano-tool stamp PICTURE OUT.png [--size WxH] [--text T]
// Composes one picture as the show does (fitted, centred on the background
// colour) and stamps it with the stamp settings of the store, or with the
// text given, so a stamp can be tried without waiting for the show.
#include "cmd_stamp.h"

#include "pictures/decoding.h"
#include "pictures/textstamp.h"
#include "platform/registry.h"
#include "platform/target.h"
#include "settings/settings.h"
#include "state/runstate.h"

#include <QFileInfo>
#include <QImage>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return 1;
}

int stampUsage()
{
    std::fputs("Aufruf: velmirano-tool stamp BILD AUSGABE.png [--size BxH] [--text TEXT]\n", stderr);
    return 2;
}

std::optional<QSize> parseSize(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2) return std::nullopt;
    bool okW = false, okH = false;
    const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
    if (!okW || !okH || w <= 0 || h <= 0 || w > 16384 || h > 16384) return std::nullopt;
    return QSize(w, h);
}

int nearest(double v) { return int(std::nearbyint(v)); }

} // namespace

int cmdStamp(const QStringList& args)
{
    QStringList positional;
    QSize size(1024, 768);
    std::optional<QString> text;
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--size") && i + 1 < args.size()) {
            const auto s = parseSize(args[++i]);
            if (!s) return fail(QStringLiteral("Größe nicht lesbar: ") + args[i]);
            size = *s;
        } else if (a == QLatin1String("--text") && i + 1 < args.size()) {
            text = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            return stampUsage();
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2) return stampUsage();
    const QString path = QFileInfo(positional[0]).absoluteFilePath();
    const QString outPath = positional[1];

    vm::RunState state;
    vm::Registry registry;
    vm::loadSettings(registry, state.settings);
    vm::Settings& settings = state.settings;
    if (text) settings.text = *text;

    // Loading and fitting as the show step does.
    vm::RgbImage picture;
    vm::PictureMetadata metadata;
    const QString loaded = vm::DecodePicture(state.decoder, path, settings.exifrotate == 1, QSizeF(size),
                                             settings.expand == 1, picture, nullptr, &metadata);
    if (!loaded.isEmpty()) return fail(loaded);
    const double W = size.width(), H = size.height();
    const float s = std::max(float(picture.width) / float(W), float(picture.height) / float(H));
    if (s > 1 || settings.expand == 1) {
        vm::RgbImage scaled;
        if (!scaled.allocate(nearest(picture.width / double(s)), nearest(picture.height / double(s))) ||
            !vm::ResizeImage(picture, scaled))
            return fail(QStringLiteral("Fehler beim Skalieren von ") + path);
        picture = std::move(scaled);
    }

    vm::ColorRef background = vm::ColorRef(settings.hgfarbe);
    if (settings.passende_farbe == 1) {
        vm::RgbImage sample;
        if (sample.allocate(1, 1) && vm::ResizeImage(picture, sample))
            background = vm::ColorRef(sample.rgb[0]) | vm::ColorRef(sample.rgb[1]) << 8 |
                         vm::ColorRef(sample.rgb[2]) << 16;
    }
    if (settings.desktop == 1)
        std::fputs("Hinweis: ohne Bildschirmbild wird die Hintergrundfarbe verwendet.\n", stderr);

    vm::HeadlessTarget target(size.width(), size.height());
    if (!state.neues_bild_dc.create(target.dc(), size.width(), size.height()))
        return fail(QStringLiteral("Kein Speicher für ") + QString::number(size.width()) + QLatin1Char('x') +
                    QString::number(size.height()));
    vm::FillRect(state.neues_bild_dc.dc(), vm::Rect{0, 0, size.width(), size.height()},
                 vm::CreateSolidBrush(background));
    const std::unique_ptr<vm::Bitmap> bitmap = vm::RgbToBitmap(picture);
    if (!bitmap) return fail(QStringLiteral("Fehler in RGBToHBITMAP"));
    const std::unique_ptr<vm::Dc> pictureDc = vm::CreateCompatibleDC(target.dc());
    pictureDc->select(bitmap.get());
    vm::BitBlt(state.neues_bild_dc.dc(), nearest((W - picture.width) / 2), nearest((H - picture.height) / 2),
               picture.width, picture.height, pictureDc.get(), 0, 0);
    // The transition "Ohne Effekt": the composed frame straight onto the target.
    vm::BitBlt(target.dc(), 0, 0, size.width(), size.height(), state.neues_bild_dc.dc(), 0, 0);

    const QDateTime fileTime = QFileInfo(path).lastModified();
    const vm::PictureEntry entry{path, fileTime.addMSecs(-fileTime.time().msec())};
    QTextStream(stdout) << vm::expandPlaceholders(settings.text, entry.filePath, entry.fileTime, metadata) << '\n';
    if (settings.ausgeben != 1)
        std::fputs("Hinweis: ausgeben = 0, die Schau zeigt diesen Stempel nicht.\n", stderr);
    const QString stamped = vm::stampPicture(state, target, entry, metadata);
    if (!stamped.isEmpty()) return fail(stamped);

    const vm::Bitmap& shown = target.bitmap();
    QImage image(shown.width(), shown.height(), QImage::Format_RGB32);
    for (int y = 0; y < shown.height(); ++y)
        std::copy_n(shown.row(y), shown.width(), reinterpret_cast<QRgb*>(image.scanLine(y)));
    if (!image.save(outPath, "PNG")) return fail(QStringLiteral("Kann nicht schreiben: ") + outPath);
    return 0;
}
