#include "start/showwindow.h"

#include "platform/nativewindow.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "start/monitors.h"
#include "start/shutdown.h"
#include "state/runstate.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

namespace vm {

PasswordService systemPasswordService()
{
    return {[] { return ScreenSaveUsePassword() && currentOsVersion().platformId != 2; },
            [](QWidget* w) { return VerifyScreenSavePwd(w ? (long long)w->winId() : 0); }};
}

bool mouseMoveEndsShow(QPoint reference, QPoint now)
{
    return std::abs(reference.y() - now.y()) + std::abs(reference.x() - now.x()) > 2;
}

namespace {

// Puts a top-level widget inside a foreign native window, filling it.
void embed(QWidget& w, long long host, QSize size)
{
    w.setAttribute(Qt::WA_NativeWindow);
    w.winId();
    if (QWindow* foreign = QWindow::fromWinId(WId(host))) w.windowHandle()->setParent(foreign);
    w.setGeometry(0, 0, size.width(), size.height());
}

// The cursor is hidden for the whole application, so that the error form's
// "show the cursor" undoes it the same way.
void hideCursor()
{
    if (!QGuiApplication::overrideCursor()) QGuiApplication::setOverrideCursor(Qt::BlankCursor);
}
void showCursor()
{
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

// A screen's place in the desktop copy, in device pixels.
QRect areaInDesktop(const QScreen& screen)
{
    const qreal ratio = screen.devicePixelRatio();
    const QRect all = screen.virtualGeometry(), g = screen.geometry();
    return QRect(int((g.x() - all.x()) * ratio), int((g.y() - all.y()) * ratio), int(g.width() * ratio),
                 int(g.height() * ratio));
}

} // namespace

MainScreen::MainScreen(RunState& state, Registry& registry, Mode mode, long long hostWindow,
                       PasswordService passwords)
    : state_(state), registry_(registry), mode_(mode), hostWindow_(hostWindow),
      passwords_(std::move(passwords)), picture_(new PictureBox(this))
{
    setWindowTitle(QStringLiteral("VelmiranoMainScreen"));
    state_.abbruch = false;
    usePassword_ = passwords_.required && passwords_.required();
    slideshow_ = std::make_unique<Slideshow>(state_, registry_, *picture_, [this] { close(); },
                                             [this] {
                                                 return mode_ == Mode::Embedded && hostWindow_ != 0 &&
                                                        !IsWindow(hostWindow_);
                                             });
    if (mode_ == Mode::Embedded) {
        const QSize size = nativeWindowSize(hostWindow_);
        embed(*this, hostWindow_, size);
        picture_->setGeometry(0, 0, size.width(), size.height());
        show();
    } else {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        // Without a window manager a full-screen request alone gives 640x480.
        setGeometry(screen);
        picture_->setGeometry(0, 0, screen.width(), screen.height());
        hideCursor();
        picture_->installEventFilter(this);
        showFullScreen();
        raise();
        activateWindow();
        picture_->setFocus();
        // Every other monitor gets a window of its own; they take turns.
        screen_ = QGuiApplication::primaryScreen();
        monitors_ = std::make_unique<MonitorSet>(state_, registry_);
        monitors_->add(*picture_, QRect(state_.ScreenLeft, state_.ScreenTop, state_.ScreenWidth, state_.ScreenHeight),
                       true, screen_);
        for (QScreen* s : QGuiApplication::screens())
            if (s != screen_) addMonitorWindow(s);
        slideshow_->setMonitors(monitors_.get());
        connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen* s) {
            if (!unloaded_) addMonitorWindow(s);
        });
        connect(qApp, &QGuiApplication::screenRemoved, this, [this](QScreen* s) {
            monitors_->remove(s);
            // This window stays (it holds the show) but leaves no picture behind.
            if (s == screen_) hide();
        });
    }
    slideshow_->start();
}

MainScreen::~MainScreen() = default;

void MainScreen::addMonitorWindow(QScreen* screen)
{
    if (!screen) return;
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window->setWindowTitle(windowTitle());
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* box = new PictureBox(window.get());
    const QRect g = screen->geometry();
    window->setScreen(screen);
    window->setGeometry(g);
    box->setGeometry(0, 0, g.width(), g.height());
    // Black until its first change; input on it ends the show as on this one.
    window->installEventFilter(this);
    box->installEventFilter(this);
    window->showFullScreen();
    window->raise();
    monitors_->add(*box, areaInDesktop(*screen), false, screen, std::move(window));
}

void MainScreen::requestEnd(const QString& reason)
{
    endReason_ += reason;
    close();
}

bool MainScreen::eventFilter(QObject* watched, QEvent* event)
{
    // Only this window's picture box and the other monitors' windows and
    // boxes are watched.
    if (mode_ == Mode::FullScreen) {
        if (event->type() == QEvent::KeyPress) {
            const bool box = dynamic_cast<PictureBox*>(watched) != nullptr;
            requestEnd(box ? QStringLiteral("PICTURE_KEYDOWN ") : QStringLiteral("FORM_KEYDOWN "));
            return true;
        }
        if (event->type() == QEvent::MouseMove) {
            // Screen positions: a move from one monitor to the next counts whole.
            const QPoint pos = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
            if (mouseRef_.x() == 0) mouseRef_ = pos;
            if (mouseMoveEndsShow(mouseRef_, pos)) requestEnd(QStringLiteral("PICTURE_MOUSEMOVE "));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainScreen::keyPressEvent(QKeyEvent*)
{
    if (mode_ == Mode::FullScreen) requestEnd(QStringLiteral("FORM_KEYDOWN "));
}

void MainScreen::closeEvent(QCloseEvent* event)
{
    if (unloaded_) return event->accept();
    if (usePassword_) {
        const bool timerWasOn = slideshow_->timerEnabled();
        if (timerWasOn) {
            slideshow_->disableTimer();
            state_.abbruch = true;
        }
        showCursor();
        const bool accepted = passwords_.verify && passwords_.verify(this);
        if (accepted && !slideshow_->tickRunning()) {
            unload();
            return event->accept();
        }
        event->ignore();
        if (accepted) {
            // A tick is running: it ends its transition and unloads us.
            usePassword_ = false;
            state_.abbruch = true;
            return;
        }
        hideCursor();
        state_.abbruch = false;
        mouseRef_ = QPoint(0, 0);
        if (timerWasOn) slideshow_->enableTimer();
        return;
    }
    if (!slideshow_->queryUnload()) return event->ignore();
    unload();
    event->accept();
}

void MainScreen::unload()
{
    if (unloaded_) return;
    unloaded_ = true;
    showCursor();
    Shutdown(state_, registry_, QStringLiteral("delay"), endReason_);
    if (afterUnload) afterUnload();
}

ControlScreen::ControlScreen(RunState& state, Registry& registry, long long parentWindow)
    : state_(state), registry_(registry), parentWindow_(parentWindow), picture_(new PictureBox(this))
{
    setWindowTitle(QStringLiteral("VelmiranoControlScreen"));
    slideshow_ = std::make_unique<Slideshow>(state_, registry_, *picture_, [this] { close(); },
                                             [this] { return !IsWindow(parentWindow_); });
    if (IsWindow(parentWindow_)) {
        // One pixel more than the client area each way, as the host expects.
        const QSize client = nativeWindowSize(parentWindow_);
        const QSize size(client.width() + 1, client.height() + 1);
        embed(*this, parentWindow_, size);
        picture_->setGeometry(0, 0, size.width(), size.height());
        show();
    }
    slideshow_->start();
}

void ControlScreen::closeEvent(QCloseEvent* event)
{
    if (unloaded_) return event->accept();
    if (!slideshow_->queryUnload()) return event->ignore();
    unload();
    event->accept();
}

void ControlScreen::unload()
{
    if (unloaded_) return;
    unloaded_ = true;
    Shutdown(state_, registry_, QStringLiteral("pdelay"), QStringLiteral("OK"));
    if (afterUnload) afterUnload();
}

} // namespace vm
