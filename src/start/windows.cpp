#include "start/windows.h"

#include "pictures/picturelist.h"
#include "platform/signals.h"
#include "settings/effecttree.h"
#include "settings/optionsdialog.h"
#include "start/shutdown.h"
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
        auto dialog = std::make_unique<Einstellungen>(state, registry_);
        dialog->buildPictureList = [](RunState& s) { BuildPictureList(s); };
        dialog->sortPictureList = [](RunState& s) {
            SortPictureList(s.pictureList, s.settings.reihenfolge, s.random);
        };
        dialog->shutdown = [](RunState& s, Registry& r, const QString& key, const QString& message) {
            Shutdown(s, r, key, message);
        };
        dialog->fill();
        state.CurrentPictureIndex = state.settings.letztes_bild;
        // The preview's sequence follows the tree as the dialog shows it.
        EffectTree& tree = dialog->tree();
        const std::vector<int> order = tree.displayOrder();
        state.effektbaum.displayOrder.assign(order.begin(), order.end());
        state.effektbaum.mark = [&tree](std::int32_t previous, std::int32_t current, bool track) {
            tree.markRunning(previous, current, track);
        };
        dialog->show();
        dialog->startPreview();
        QWidget* w = dialog.get();
        window_ = std::move(dialog);
        terminate_ = std::make_unique<TerminationWatcher>([w] { w->close(); });
    }
    return true;
}

} // namespace vm
