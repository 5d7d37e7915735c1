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
    vm::AppServices services;
    if (vm::Main(vm::rawCommandLine(QCoreApplication::arguments()), state, registry, services) ==
        vm::StartResult::Ended)
        return 0;
    return app.exec();
}
