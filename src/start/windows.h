// The windows of the run modes, opened by start-up.
#pragma once

#include "start/startup.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

namespace vm {

class Registry;
class TerminationWatcher;
struct RunState;

// Opens the settings dialog for "/C" and no switch. The dialogs sit above
// start-up (they drive its preview), so the program hands this in.
using OpenSettingsDialog = std::function<std::unique_ptr<QWidget>(RunState&, Registry&)>;

// The window an XScreenSaver-style daemon asks us to draw into:
// "-window-id <id>" (decimal or 0x hex), else the environment's
// XSCREENSAVER_WINDOW, else "-root" (`rootId`). A switch of our own on the
// command line (anything not starting with "-") wins: then 0, as when we
// were not started that way.
long long screenSaverHostWindow(const QStringList& arguments, const QByteArray& xscreensaverWindowEnv,
                                long long rootId);

// Start-up services of the real program: real screen, real windows.
class AppServices : public StartServices {
public:
    AppServices(Registry& registry, OpenSettingsDialog openSettingsDialog);
    ~AppServices() override;
    bool openWindow(RunState& state, const QString& modeWord) override;

private:
    Registry& registry_;
    OpenSettingsDialog openSettingsDialog_;
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<TerminationWatcher> terminate_;
};

} // namespace vm
