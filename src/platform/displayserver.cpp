#include "platform/displayserver.h"

#include <QtGlobal>

namespace vm {

DisplayChoice chooseDisplay(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                            const QByteArray& sessionType, const QByteArray& x11Display)
{
    if (!qpaPlatform.trimmed().isEmpty()) return {};
    const bool wayland = !waylandDisplay.isEmpty() || sessionType.trimmed().toLower() == "wayland";
    if (!wayland) return {};
    if (!x11Display.isEmpty()) return {QByteArrayLiteral("xcb"), {}};
    return {{}, QStringLiteral("Velmirano zeigt seine Bilder nur über X11: diese Wayland-Sitzung hat keine "
                               "X-Anzeige (DISPLAY ist leer). Bitte XWayland einschalten oder die Show in "
                               "einer X11-Sitzung starten.")};
}

DisplayChoice chooseDisplayFromEnvironment()
{
    return chooseDisplay(qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_SESSION_TYPE"),
                         qgetenv("DISPLAY"));
}

} // namespace vm
