#include "platform/system.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

namespace {

// A folder of this user that nobody else may enter or write to (a link is
// not followed: its target could be anybody's).
bool isPrivateFolder(const QByteArray& path)
{
    struct stat st {};
    if (path.isEmpty() || ::lstat(path.constData(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// The user's cache folder, absolute, without relying on Qt's guess.
QByteArray cacheHome()
{
    const QByteArray xdg = qgetenv("XDG_CACHE_HOME");
    if (xdg.startsWith('/')) return xdg;
    const QByteArray home = QFile::encodeName(QDir::homePath());
    if (!home.startsWith('/')) return {};
    return home + "/.cache";
}

} // namespace

QString InstanceLockFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && isPrivateFolder(runtime)) return QFile::decodeName(runtime);
    const QByteArray cache = cacheHome();
    if (cache.isEmpty()) return {};
    ::mkdir(cache.constData(), 0700); // an existing one stays as it is
    const QByteArray own = cache + "/velmirano";
    ::mkdir(own.constData(), 0700);
    return isPrivateFolder(own) ? QFile::decodeName(own) : QString();
}

InstanceGuard::InstanceGuard() = default;
InstanceGuard::~InstanceGuard()
{
    if (lockFd_ >= 0) ::close(lockFd_);
}

bool InstanceGuard::IsOnlyInstance(const QString& title)
{
    const QString folder = InstanceLockFolder();
    // Without a private place for the mark the show runs unguarded: a
    // second show is a smaller harm than none at all.
    if (folder.isEmpty()) return true;
    const QByteArray path = QFile::encodeName(folder + u'/' + title + u'-' +
                                              QString::number(qulonglong(::geteuid())) + QStringLiteral(".lock"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        if (fd < 0) {
            // A link or some other thing in its place: remove it and try once more.
            ::unlink(path.constData());
            continue;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            ::close(fd);
            ::unlink(path.constData());
            continue;
        }
        // The kernel drops the lock with its process: a show that crashed
        // leaves nothing that blocks the next one.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool taken = errno == EWOULDBLOCK;
            ::close(fd);
            return !taken;
        }
        if (lockFd_ >= 0) ::close(lockFd_);
        lockFd_ = fd;
        return true;
    }
    return true;
}

void PwdChangePassword(const QString&, long long) {}

bool VerifyScreenSavePwd(long long) { return true; }

bool ScreenSaveUsePassword() { return false; }

} // namespace vm
