#include "start/windows.h"

#include "state/runstate.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace vm {

namespace {

// The window of a mode, still without its show: it carries the mode's
// caption and ends the run on any key.
class ModeWindow : public QWidget {
public:
    explicit ModeWindow(const QString& title)
    {
        setWindowTitle(title);
        setAttribute(Qt::WA_DeleteOnClose, false);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::black);
        setPalette(p);
        setAutoFillBackground(true);
    }

protected:
    void keyPressEvent(QKeyEvent*) override { close(); }
};

} // namespace

bool AppServices::openWindow(RunState&, const QString& modeWord)
{
    if (modeWord == QLatin1String("/S")) {
        window_ = std::make_unique<ModeWindow>(QStringLiteral("VelmiranoMainScreen"));
        window_->setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        if (QScreen* s = QGuiApplication::primaryScreen()) window_->setGeometry(s->geometry());
        window_->showFullScreen();
    } else if (modeWord == QLatin1String("/P")) {
        window_ = std::make_unique<ModeWindow>(QStringLiteral("VelmiranoControlScreen"));
        window_->resize(152, 112);
        window_->show();
    } else {
        window_ = std::make_unique<ModeWindow>(QStringLiteral("Velmirano - Optionen"));
        window_->resize(640, 480);
        window_->show();
    }
    return true;
}

} // namespace vm
