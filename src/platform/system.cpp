#include "platform/system.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLockFile>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>

#include <unistd.h>

namespace vm {

OsVersion currentOsVersion() { return OsVersion{2, 10, 0}; }

bool OsHasAlphaBlend(const OsVersion& v)
{
    if (v.platformId == 2) return v.major >= 5;
    if (v.platformId == 1) {
        if (v.major >= 5) return true;
        return v.major == 4 && (v.minor == 10 || v.minor == 90);
    }
    return false;
}

ScreenSize primaryScreenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    // Device pixels: a scaled desktop still shows the show at full resolution.
    const QSize s = screen->geometry().size() * screen->devicePixelRatio();
    return {s.width(), s.height()};
}

DesktopLayout desktopLayout()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const qreal ratio = screen->devicePixelRatio();
    const QRect all = screen->virtualGeometry(), primary = screen->geometry();
    return {int(all.width() * ratio), int(all.height() * ratio), int((primary.x() - all.x()) * ratio),
            int((primary.y() - all.y()) * ratio)};
}

bool captureDesktop(Dc* into)
{
    if (!into || !into->bitmap()) return false;
    Bitmap display(into->bitmap()->width(), into->bitmap()->height());
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        // The root window: all monitors at once, one consistent moment.
        const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        const int w = std::min(shot.width(), display.width());
        const int h = std::min(shot.height(), display.height());
        for (int y = 0; y < h; ++y) {
            const auto* in = reinterpret_cast<const Pixel*>(shot.constScanLine(y));
            for (int x = 0; x < w; ++x) display.row(y)[x] = in[x] & 0x00ffffffu;
        }
    }
    Dc displayDc;
    displayDc.select(&display);
    return BitBlt(into, 0, 0, display.width(), display.height(), &displayDc, 0, 0);
}

InstanceGuard::InstanceGuard() = default;
InstanceGuard::~InstanceGuard() = default;

bool InstanceGuard::IsOnlyInstance(const QString& title)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    const QString path =
        dir + u'/' + title + u'-' + QString::number(qulonglong(::getuid())) + QStringLiteral(".lock");
    auto lock = std::make_unique<QLockFile>(path);
    // A mark left by a show that crashed is taken over (the owner is gone).
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return false;
    lock_ = std::move(lock);
    return true;
}

void PwdChangePassword(const QString&, long long) {}

bool VerifyScreenSavePwd(long long) { return true; }

bool ScreenSaveUsePassword() { return false; }

} // namespace vm
