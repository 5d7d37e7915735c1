// velmirano-tool: looks inside what the show reads and does, without a window.
#include "cmd_stamp.h"
#include "pictures/decoding.h"
#include "pictures/picturelist.h"
#include "platform/registry.h"
#include "start/startup.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"

#include <QDir>
#include <QApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTextStream>
#include <QWindow>

#include <cstdio>

namespace vm {
int cmdRun(const QStringList& args);
int cmdGallery(const QStringList& args);
int cmdBench(const QStringList& args);
int cmdFrames(const QStringList& args);
}

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

int usage()
{
    std::fputs("Aufruf: velmirano-tool settings\n"
               "       velmirano-tool effects\n"
               "       velmirano-tool get SUBKEY NAME\n"
               "       velmirano-tool enum SUBKEY\n"
               "       velmirano-tool host-window\n"
               "       velmirano-tool run EFFEKT [Optionen]\n"
               "       velmirano-tool gallery AUSGABE.png [--size BxH] [--effects LISTE]\n"
               "       velmirano-tool bench [--size BxH] [--window [--monitors N]] [--effects LISTE] [--pictures N]\n"
               "       velmirano-tool frames [--check DATEI | --write DATEI]\n"
               "       velmirano-tool stamp BILD AUSGABE.png [--size BxH] [--text TEXT]\n"
               "       velmirano-tool list\n"
               "       velmirano-tool load DATEI [--fit BxH] [--out BILD.png]\n",
               stderr);
    return 2;
}

// Loads exactly as the program's start does and prints what it read.
int cmdSettings()
{
    vm::RunState state;
    vm::Registry registry;
    vm::loadStartState(state, registry, QDir::currentPath());
    for (const vm::SettingField& f : vm::settingFieldsInLoadOrder()) {
        out() << f.subkey << '\\' << f.name << " = ";
        if (f.number)
            out() << state.settings.*(f.number);
        else
            out() << state.settings.*(f.text);
        out() << '\n';
    }
    out() << "folders = \n";
    for (const QString& folder : state.Folders) out() << "folder = " << folder << '\n';
    out() << "enabled =";
    for (int n = 1; n <= vm::kEffectCount; ++n)
        if (state.effekte[std::size_t(n)].aktiv == 1) out() << ' ' << n;
    out() << '\n';
    return 0;
}

// The catalogue: number, routine, whether it is built, group and name.
int cmdEffects()
{
    vm::Effekte effekte;
    vm::effekte_anlegen(effekte);
    int unbuilt = 0;
    for (int n = 1; n <= vm::kEffectCount; ++n) {
        const bool built = vm::routineBuilt(n);
        unbuilt += built ? 0 : 1;
        out() << n << '\t' << vm::routineName(n) << '\t' << (built ? "built" : "unbuilt") << '\t'
              << effekte[std::size_t(n)].gruppe << '\t' << effekte[std::size_t(n)].name << '\n';
    }
    out() << "unbuilt = " << unbuilt << '\n';
    return 0;
}

// One stored value as it is, between brackets so trailing blanks show.
int cmdGet(const QString& subkey, const QString& name)
{
    vm::Registry registry;
    const QString missing = QStringLiteral("\x01missing");
    const QString v = registry.ReadSetting(subkey, name, missing);
    if (v == missing) return 1;
    out() << '[' << v << "]\n";
    return 0;
}

// Every name = value pair of a subkey, in the store's order.
int cmdEnum(const QString& subkey)
{
    vm::Registry registry;
    for (const auto& [name, data] : registry.EnumSettings(subkey)) out() << name << " = " << data << '\n';
    return 0;
}

// A plain window that stands in for a host (the display settings' small
// monitor): prints its native id and lives until it is closed or killed.
int cmdHostWindow()
{
    QWindow window;
    window.setTitle(QStringLiteral("Velmirano-Host"));
    window.resize(320, 240);
    window.show();
    out() << window.winId() << Qt::endl;
    return QGuiApplication::exec();
}

// The picture list exactly as the current settings build it.
int cmdList()
{
    vm::RunState state;
    vm::Registry registry;
    vm::loadStartState(state, registry, QDir::currentPath());
    vm::BuildPictureList(state);
    out() << state.PictureCount() << '\n';
    for (const vm::PictureEntry& e : state.pictureList) out() << e.filePath << '\n';
    return 0;
}

// Loads one picture as the show step does, in the decoder process, and
// prints its size (fitted with --fit), or the message and the explanation
// of the library's error number.
int cmdLoad(const QStringList& args)
{
    QString file, outFile;
    std::optional<QSize> fit;
    for (int i = 2; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") && i + 1 < args.size()) {
            outFile = args[++i];
        } else if (args[i] == QLatin1String("--fit") && i + 1 < args.size()) {
            const QStringList wh = args[++i].split(QLatin1Char('x'));
            if (wh.size() != 2 || wh[0].toInt() <= 0 || wh[1].toInt() <= 0) return usage();
            fit = QSize(wh[0].toInt(), wh[1].toInt());
        } else if (file.isEmpty()) {
            file = args[i];
        } else {
            return usage();
        }
    }
    if (file.isEmpty()) return usage();
    vm::Settings settings;
    vm::Registry registry;
    vm::loadSettings(registry, settings);
    vm::RgbImage image;
    QSize original;
    vm::PictureDecoder decoder;
    const QString message = vm::DecodePicture(decoder, file, settings.exifrotate == 1,
                                              fit ? std::optional<QSizeF>(*fit) : std::nullopt,
                                              settings.expand == 1, image, &original);
    if (!message.isEmpty()) {
        out() << message << '\n';
        out().flush();
        const auto m = QRegularExpression(QStringLiteral("^Fehler (\\d+) in")).match(message);
        if (m.hasMatch()) std::fprintf(stderr, "%s\n", vm::ImageLibraryErrorText(m.captured(1).toInt()));
        return 1;
    }
    out() << image.width << ' ' << image.height << '\n';
    if (fit) out() << "original " << original.width() << ' ' << original.height() << '\n';
    if (!outFile.isEmpty()) {
        const QImage view(image.rgb.data(), image.width, image.height, int(image.rowBytes()),
                          QImage::Format_RGB888);
        if (!view.save(outFile)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(outFile));
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The tool draws into memory only; it needs no display unless a
    // subcommand shows a real window.
    bool needsDisplay = argc > 1 && qstrcmp(argv[1], "host-window") == 0;
    for (int i = 2; i < argc; ++i) needsDisplay = needsDisplay || qstrcmp(argv[i], "--window") == 0;
    if (!needsDisplay && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) return usage();
    const QString cmd = args[1];
    if (cmd == QLatin1String("settings")) return cmdSettings();
    if (cmd == QLatin1String("effects")) return cmdEffects();
    if (cmd == QLatin1String("host-window")) return cmdHostWindow();
    if (cmd == QLatin1String("get") && args.size() == 4) return cmdGet(args[2], args[3]);
    if (cmd == QLatin1String("enum") && args.size() == 3) return cmdEnum(args[2]);
    if (cmd == QLatin1String("run")) return vm::cmdRun(args);
    if (cmd == QLatin1String("gallery")) return vm::cmdGallery(args);
    if (cmd == QLatin1String("bench")) return vm::cmdBench(args);
    if (cmd == QLatin1String("frames")) return vm::cmdFrames(args);
    if (cmd == QLatin1String("stamp")) return cmdStamp(args);
    if (cmd == QLatin1String("list")) return cmdList();
    if (cmd == QLatin1String("load")) return cmdLoad(args);
    return usage();
}
