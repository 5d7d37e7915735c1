#include "dialogs/optionsdialog.h"
#include "platform/nativewindow.h"
#include "platform/registry.h"
#include "start/startup.h"
#include "start/windows.h"
#include "state/runstate.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    vm::RunState state;
    vm::Registry registry;
    vm::AppServices services(registry, vm::openEinstellungen);
    const QStringList args = QCoreApplication::arguments();
    // Started as an XScreenSaver hack: the show runs in the window it gives.
    const long long host =
        vm::screenSaverHostWindow(args, qgetenv("XSCREENSAVER_WINDOW"), vm::rootWindowId());
    const QString line = host ? QStringLiteral("/S") : vm::rawCommandLine(args);
    if (vm::Main(line, state, registry, services, host) == vm::StartResult::Ended) return 0;
    return app.exec();
}
