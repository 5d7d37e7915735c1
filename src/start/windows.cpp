#include "start/windows.h"

#include "platform/signals.h"
#include "start/showwindow.h"
#include "state/runstate.h"

#include <QCoreApplication>
#include <QTimer>

namespace vm {

namespace {

void endProgram() { QTimer::singleShot(0, qApp, &QCoreApplication::quit); }

long long parseWindowId(const QString& text)
{
    bool ok = false;
    const QString t = text.trimmed();
    const long long id = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toLongLong(&ok, 16)
                                                                                  : t.toLongLong(&ok, 10);
    return ok && id > 0 ? id : 0;
}

// The settings dialog's place until it exists: a window of its caption.
class OptionsWindow : public QWidget {
public:
    OptionsWindow() { setWindowTitle(QStringLiteral("Velmirano - Optionen")); }
};

} // namespace

long long screenSaverHostWindow(const QStringList& arguments, const QByteArray& env, long long rootId)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("-window-id") && i + 1 < arguments.size())
            return parseWindowId(arguments[i + 1]);
        if (arguments[i] == QLatin1String("-root")) return rootId;
    }
    return env.isEmpty() ? 0 : parseWindowId(QString::fromLatin1(env));
}

AppServices::AppServices(Registry& registry) : registry_(registry) {}
AppServices::~AppServices() = default;

bool AppServices::openWindow(RunState& state, const QString& modeWord)
{
    if (modeWord == QLatin1String("/S")) {
        const auto mode = state.ParentWindow ? MainScreen::Mode::Embedded : MainScreen::Mode::FullScreen;
        auto* show = new MainScreen(state, registry_, mode, state.ParentWindow);
        show->afterUnload = endProgram;
        window_.reset(show);
        terminate_ = std::make_unique<TerminationWatcher>(
            [show] { show->requestEnd(QStringLiteral("SIGTERM ")); });
    } else if (modeWord == QLatin1String("/P")) {
        auto* preview = new ControlScreen(state, registry_, state.ParentWindow);
        preview->afterUnload = endProgram;
        window_.reset(preview);
        terminate_ = std::make_unique<TerminationWatcher>([preview] { preview->close(); });
    } else {
        window_ = std::make_unique<OptionsWindow>();
        window_->resize(640, 480);
        window_->show();
        QWidget* w = window_.get();
        terminate_ = std::make_unique<TerminationWatcher>([w] { w->close(); });
    }
    return true;
}

} // namespace vm
