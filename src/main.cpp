#include "dialogs/optionsdialog.h"
#include "platform/displayserver.h"
#include "platform/nativewindow.h"
#include "platform/registry.h"
#include "start/startup.h"
#include "start/windows.h"
#include "state/runstate.h"

#include <QApplication>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    // On a Wayland session the show goes through XWayland; without it,
    // say so instead of showing a white screen.
    const vm::DisplayChoice display = vm::chooseDisplayFromEnvironment();
    std::vector<char*> args(argv, argv + argc);
    char platformSwitch[] = "-platform";
    std::vector<char> platformName(display.platform.begin(), display.platform.end());
    platformName.push_back('\0');
    if (!display.platform.isEmpty()) {
        args.insert(args.begin() + 1, {platformSwitch, platformName.data()});
    } else if (!display.problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", display.problem.toLocal8Bit().constData());
        QStringList words;
        for (int i = 0; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
        if (vm::modeWord(vm::rawCommandLine(words)) == QLatin1String("/S")) return 1;
    }
    int count = int(args.size());
    args.push_back(nullptr);
    QApplication app(count, args.data());
    vm::RunState state;
    vm::Registry registry;
    vm::AppServices services(registry, vm::openEinstellungen);
    const QStringList arguments = QCoreApplication::arguments();
    // Started as an XScreenSaver hack: the show runs in the window it gives.
    const long long host =
        vm::screenSaverHostWindow(arguments, qgetenv("XSCREENSAVER_WINDOW"), vm::rootWindowId());
    const QString line = host ? QStringLiteral("/S") : vm::rawCommandLine(arguments);
    if (vm::Main(line, state, registry, services, host) == vm::StartResult::Ended) return 0;
    return app.exec();
}
