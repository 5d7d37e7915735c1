#include "start/windows.h"

#include "platform/choosers.h"
#include "platform/signals.h"
#include "start/showwindow.h"
#include "state/runstate.h"

#include <QCoreApplication>
#include <QTimer>

#include <optional>

namespace vm {

namespace {

// exit, not quit: quit first asks every window to close, and a window whose
// foreign parent was destroyed may never answer.
void endProgram() { QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); }); }

long long parseWindowId(const QString& text)
{
    bool ok = false;
    const QString t = text.trimmed();
    const long long id = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toLongLong(&ok, 16)
                                                                                  : t.toLongLong(&ok, 10);
    return ok && id > 0 ? id : 0;
}

} // namespace

long long screenSaverHostWindow(const QStringList& arguments, const QByteArray& env, long long rootId)
{
    std::optional<long long> windowId;
    bool root = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (word == QLatin1String("-window-id") || word == QLatin1String("-visual")) {
            // Both carry a value of their own.
            if (word == QLatin1String("-window-id") && !windowId && i + 1 < arguments.size())
                windowId = parseWindowId(arguments[i + 1]);
            ++i;
        } else if (word == QLatin1String("-root")) {
            root = true;
        } else if (!word.startsWith(u'-')) {
            // A switch of our own (/S, /C, /P 123, ...): the command line decides.
            return 0;
        }
    }
    if (windowId) return *windowId;
    // The daemon's window stands in for the root it names, as its hacks expect.
    if (const long long id = env.isEmpty() ? 0 : parseWindowId(QString::fromLatin1(env))) return id;
    return root ? rootId : 0;
}

AppServices::AppServices(Registry& registry, OpenSettingsDialog openSettingsDialog)
    : registry_(registry), openSettingsDialog_(std::move(openSettingsDialog))
{
}
AppServices::~AppServices() = default;

bool AppServices::openWindow(RunState& state, const QString& modeWord)
{
    if (modeWord == QLatin1String("/S")) {
        const auto mode = state.ParentWindow ? MainScreen::Mode::Embedded : MainScreen::Mode::FullScreen;
        auto* show = new MainScreen(state, registry_, mode, state.ParentWindow);
        show->afterUnload = endProgram;
        window_.reset(show);
        terminate_ = std::make_unique<TerminationWatcher>([show] {
            closeModalDialogs();
            show->requestEnd(QStringLiteral("SIGTERM "));
        });
    } else if (modeWord == QLatin1String("/P")) {
        auto* preview = new ControlScreen(state, registry_, state.ParentWindow);
        preview->afterUnload = endProgram;
        window_.reset(preview);
        terminate_ = std::make_unique<TerminationWatcher>([preview] {
            closeModalDialogs();
            preview->close();
        });
    } else {
        window_ = openSettingsDialog_(state, registry_);
        QWidget* w = window_.get();
        // An open Info, Textstempel or chooser ends too, so the running
        // transition sees the stop and the tick can unload the dialog.
        terminate_ = std::make_unique<TerminationWatcher>([w] {
            closeModalDialogs();
            w->close();
        });
    }
    return true;
}

} // namespace vm
