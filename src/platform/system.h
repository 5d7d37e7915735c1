// System services that start-up needs: version, screen, desktop capture,
// the single-show check and the password services.
#pragma once

#include "platform/gdi.h"

#include <QString>

#include <memory>

namespace vm {

struct OsVersion {
    int platformId = 0; // 1 = Windows 9x family, 2 = NT family
    int major = 0;
    int minor = 0;
};

// What this machine reports. Linux and macOS count as the NT family with a
// current version: they blend.
OsVersion currentOsVersion();

// Whether the system offers constant-alpha blending, from its version.
bool OsHasAlphaBlend(const OsVersion& v);

struct ScreenSize {
    int width = 0;
    int height = 0;
};
ScreenSize primaryScreenSize();

// The whole desktop over every monitor, in device pixels, and where the
// primary monitor lies in it.
struct DesktopLayout {
    int width = 0;
    int height = 0;
    int primaryLeft = 0;
    int primaryTop = 0;
};
DesktopLayout desktopLayout();

// Copies the whole desktop (every monitor, from its top-left corner) into
// `into` (a context holding a bitmap of that size) through a context over
// the display. Where the platform cannot
// show the screen (offscreen, or capture refused) the copy is black.
// False only when the copy itself failed.
bool captureDesktop(Dc* into);

// Holds the per-user mark of a running show so a second one can see it.
class InstanceGuard {
public:
    InstanceGuard();
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;
    // True when no window of that title runs for this user; the guard then
    // holds the mark until it is destroyed.
    bool IsOnlyInstance(const QString& title);

private:
    int lockFd_ = -1;
};

// The folder for the user's single-show mark: the runtime folder when it
// is the user's own and closed to others (mode 700), else "velmirano" in
// the user's cache folder, made or found so. Empty when there is none: a
// folder someone else owns or may write to is never used.
QString InstanceLockFolder();

// Windows 9x password services. Only that family asks them; elsewhere the
// change is a no-op and the check always passes.
void PwdChangePassword(const QString& provider, long long parentWindow);
// Whether the user asked for a screen-saver password (only the 9x family keeps it here).
bool ScreenSaveUsePassword();
bool VerifyScreenSavePwd(long long window);

} // namespace vm
