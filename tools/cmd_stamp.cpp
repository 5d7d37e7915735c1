// velmirano-tool stamp PICTURE OUT.png [--size WxH] [--text T]
// Composes one picture through the show step (fitted, centred on the
// background colour) and stamps it with the stamp settings of the store, or
// with the text given, so a stamp can be tried without waiting for the show.
#include "cmd_stamp.h"

#include "pictures/showstep.h"
#include "pictures/textstamp.h"
#include "platform/registry.h"
#include "platform/target.h"
#include "settings/settings.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <QFileInfo>
#include <QImage>
#include <QTextStream>

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
    if (settings.desktop == 1) {
        std::fputs("Hinweis: ohne Bildschirmbild wird die Hintergrundfarbe verwendet.\n", stderr);
        settings.desktop = 0;
    }
    if (settings.ausgeben != 1) {
        std::fputs("Hinweis: ausgeben = 0, die Schau zeigt diesen Stempel nicht.\n", stderr);
        settings.ausgeben = 1;
    }
    // The show step itself, with the transition "Ohne Effekt": the composed
    // frame goes straight onto the target, then the stamp step draws on it.
    vm::effekte_anlegen(state.effekte);
    settings.effekt_nutzung = 1;
    settings.blende = 1;
    // No desktop is shown, so a one-pixel stand-in will do.
    vm::Dc display;
    state.ScreenWidth = state.ScreenHeight = 1;
    state.bildschirmkopie_dc.create(&display, 1, 1);
    vm::HeadlessTarget target(size.width(), size.height());
    if (const QString failed = vm::Init_Screen(state, target); !failed.isEmpty()) return fail(failed);

    const QDateTime fileTime = QFileInfo(path).lastModified();
    const vm::PictureEntry entry{path, fileTime.addMSecs(-fileTime.time().msec())};
    QString stamped = QStringLiteral("kein Stempel");
    const auto stamp = [&](vm::RunState& s, vm::Target& t, const vm::PictureEntry& e,
                           const vm::PictureMetadata& metadata) {
        QTextStream(stdout) << vm::expandPlaceholders(s.settings.text, e.filePath, e.fileTime, metadata) << '\n';
        stamped = vm::stampPicture(s, t, e, metadata);
    };
    if (const QString failed = vm::DrawPicture(state, target, entry, stamp); !failed.isEmpty()) return fail(failed);
    if (!stamped.isEmpty()) return fail(stamped);

    const vm::Bitmap& shown = target.bitmap();
    QImage image(shown.width(), shown.height(), QImage::Format_RGB32);
    for (int y = 0; y < shown.height(); ++y)
        std::copy_n(shown.row(y), shown.width(), reinterpret_cast<QRgb*>(image.scanLine(y)));
    if (!image.save(outPath, "PNG")) return fail(QStringLiteral("Kann nicht schreiben: ") + outPath);
    return 0;
}
