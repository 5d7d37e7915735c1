// Which window system the show draws on, decided before Qt starts. Qt
// prefers its Wayland plugin on a Wayland session, but there the show's
// full-screen window stays white: it must go through XWayland instead.
#pragma once

#include <QByteArray>
#include <QString>

namespace vm {

struct DisplayChoice {
    QByteArray platform; // the Qt platform to use; empty = Qt's own choice
    QString problem;     // why nothing can be shown; empty when all is well
};

// From the environment: QT_QPA_PLATFORM (the person's own choice wins),
// WAYLAND_DISPLAY, XDG_SESSION_TYPE and DISPLAY.
DisplayChoice chooseDisplay(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                            const QByteArray& sessionType, const QByteArray& x11Display);
DisplayChoice chooseDisplayFromEnvironment();

} // namespace vm
