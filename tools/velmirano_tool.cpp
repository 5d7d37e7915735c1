// velmirano-tool: looks inside what the show reads and does, without a window.
#include "cmd_stamp.h"
#include "platform/registry.h"
#include "start/startup.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

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
               "       velmirano-tool stamp BILD AUSGABE.png [--size BxH] [--text TEXT]\n",
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

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) return usage();
    const QString cmd = args[1];
    if (cmd == QLatin1String("settings")) return cmdSettings();
    if (cmd == QLatin1String("effects")) return cmdEffects();
    if (cmd == QLatin1String("stamp")) return cmdStamp(args);
    return usage();
}
