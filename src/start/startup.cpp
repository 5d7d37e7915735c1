#include "start/startup.h"

#include "pictures/decoding.h"
#include "platform/imagelib.h"
#include "platform/registry.h"
#include "start/errinfo.h"
#include "start/errorlog.h"
#include "start/showwindow.h"
#include "start/shutdown.h"
#include "transitions/choice.h"
#include "state/runstate.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <cstdio>

namespace vm {

// Without the decoder process no picture can be shown either.
bool StartServices::initImageLibrary() { return ImageLibraryInitialize() && DecoderAvailable(); }
OsVersion StartServices::osVersion() { return currentOsVersion(); }
ScreenSize StartServices::screenSize() { return primaryScreenSize(); }
DesktopLayout StartServices::desktopLayout() { return vm::desktopLayout(); }
bool StartServices::captureDesktop(Dc* into) { return vm::captureDesktop(into); }
bool StartServices::isOnlyInstance(const QString& title) { return instance_.IsOnlyInstance(title); }
void StartServices::changePassword(long long parentWindow)
{
    PwdChangePassword(QStringLiteral("SCRSAVE"), parentWindow);
}
void StartServices::showErrorInfo(RunState& state, const QString& message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    ShowErrorInfo(state, message);
}
QString StartServices::currentDirectory() { return QDir::currentPath(); }
bool StartServices::openWindow(RunState&, const QString&) { return false; }
bool StartServices::inputDuringStart()
{
    const InputState now = queryInputState();
    if (!now.valid) return false;
    if (!startInput_) {
        startInput_ = now;
        return false;
    }
    return inputSince(*startInput_, now);
}

bool inputSince(const InputState& first, const InputState& now)
{
    if (!first.valid || !now.valid) return false;
    for (std::size_t i = 0; i < now.keys.size(); ++i)
        if (now.keys[i] & ~first.keys[i]) return true;
    return mouseMoveEndsShow(QPoint(first.x, first.y), QPoint(now.x, now.y));
}

namespace {

QString withSeparator(QString path)
{
    if (!path.endsWith(u'/')) path += u'/';
    return path;
}

} // namespace

QString folderProblem(const QString& folder)
{
    if (folder.isEmpty()) return QStringLiteral("Bildordner ist kein vollständiger Pfad: (leer)");
    // Relative to whatever directory the show was started from ("~" included:
    // no shell expands it here).
    if (!QDir::isAbsolutePath(folder)) return QStringLiteral("Bildordner ist kein vollständiger Pfad: ") + folder;
    const QFileInfo info(withSeparator(folder));
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return QStringLiteral("Bildordner nicht gefunden oder nicht lesbar: ") + folder;
    return {};
}

QString rawCommandLine(const QStringList& arguments) { return arguments.mid(1).join(u' '); }

QString modeWord(const QString& rawLine)
{
    QString line = rawLine.trimmed().toUpper();
    if (line.isEmpty()) line = QStringLiteral("/C");
    return line.left(2);
}

long long parseWindowHandle(const QString& rawLine)
{
    const QString rest = rawLine.mid(2);
    qsizetype i = 0;
    while (i < rest.size() && (rest[i] == u' ' || rest[i] == u'\t')) ++i;
    bool negative = false;
    if (i < rest.size() && (rest[i] == u'-' || rest[i] == u'+')) negative = rest[i++] == u'-';
    long long value = 0;
    for (; i < rest.size() && rest[i].isDigit() && rest[i].unicode() < 128; ++i) {
        if (value > (LLONG_MAX - 9) / 10) break; // far beyond any window number
        value = value * 10 + (rest[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

void loadStartState(RunState& state, Registry& registry, const QString& currentDirectory)
{
    loadSettings(registry, state.settings);
    state.neues_bild_dc.release();

    // A folder entry that names no folder adds nothing: never the current
    // directory's files in its place, which may be anybody's private ones.
    // Each is named once in the error log.
    state.Folders.clear();
    const SettingPairs paths = registry.EnumSettings(QStringLiteral("path"));
    for (const auto& [name, data] : paths) {
        const QString problem = folderProblem(data);
        if (problem.isEmpty())
            state.Folders.append(withSeparator(data));
        else
            LogError(registry, problem);
    }

    if (state.settings.blende < 1 || state.settings.blende > kEffectCount) state.settings.blende = 1;

    const SettingPairs enabled = registry.EnumSettings(QStringLiteral("zblenden"));
    for (int n = 1; n <= kEffectCount; ++n) state.effekte[std::size_t(n)].aktiv = enabled.empty() ? 1 : 0;
    for (const auto& [name, data] : enabled) {
        const auto n = parseStoredInt(data);
        if (n && *n >= 1 && *n <= kEffectCount) state.effekte[std::size_t(*n)].aktiv = 1;
    }

    // Only a store that names no folder at all shows the current directory.
    if (paths.empty()) state.Folders.append(withSeparator(currentDirectory));

    effekte_anlegen(state.effekte);
}

StartResult Main(const QString& rawLine, RunState& state, Registry& registry,
                 StartServices& services, long long hostWindow)
{
    if (!services.initImageLibrary()) {
        services.showErrorInfo(state, QString::fromUtf8(kMissingLibraryMessage));
        return StartResult::Ended;
    }
    state.abbruch = false;
    state.unterbrechung = false;
    state.alphablend_verfuegbar = OsHasAlphaBlend(services.osVersion());
    state.messung_auslassen = false;
    state.stoppuhr.StartWatch();
    state.random.seedWith(seedFromClock());

    const ScreenSize screen = services.screenSize();
    state.ScreenWidth = screen.width;
    state.ScreenHeight = screen.height;

    // The desktop as it is now, over every monitor: the show starts from it
    // and may lay pictures on it; each window takes its own part.
    DesktopLayout desk = services.desktopLayout();
    if (desk.primaryLeft < 0 || desk.primaryTop < 0 || desk.primaryLeft + state.ScreenWidth > desk.width ||
        desk.primaryTop + state.ScreenHeight > desk.height)
        desk = {state.ScreenWidth, state.ScreenHeight, 0, 0};
    state.ScreenLeft = desk.primaryLeft;
    state.ScreenTop = desk.primaryTop;
    Dc display;
    state.bildschirmkopie_dc.create(&display, desk.width, desk.height);
    if (!services.captureDesktop(state.bildschirmkopie_dc.dc())) {
        Shutdown(state, registry, QString(), QStringLiteral("OK"));
        services.showErrorInfo(state, QStringLiteral("Fehler in BitBlt in MAIN"));
        return StartResult::Ended;
    }

    loadStartState(state, registry, services.currentDirectory());

    const QString mode = modeWord(rawLine);
    if (mode == QLatin1String("/C")) {
        state.CurrentPictureIndex = state.settings.letztes_bild;
        effektzeiten_laden(state, registry, QStringLiteral("pdelay"));
        state.laufmodus = QStringLiteral("Settings");
        return services.openWindow(state, mode) ? StartResult::WindowOpen : StartResult::Ended;
    }
    if (mode == QLatin1String("/S")) {
        // A screen-saver daemon starts one show per monitor, each in its
        // own window: only a show of our own full screen must be alone.
        if (hostWindow == 0 && !services.isOnlyInstance(QStringLiteral("VelmiranoMainScreen"))) {
            Shutdown(state, registry, QString(), QStringLiteral("NOT_UNIQUE"));
            return StartResult::Ended;
        }
        state.ParentWindow = hostWindow;
        state.CurrentPictureIndex = state.settings.letztes_bild;
        // A slow scan must not swallow the key that was meant to end the
        // show: input during it ends the start the way it ends a show. A
        // daemon's window gets its input from the daemon.
        if (hostWindow == 0) state.scanStop = [&services] { return services.inputDuringStart(); };
        effektzeiten_laden(state, registry, QStringLiteral("delay"));
        state.scanStop = nullptr;
        state.laufmodus = QStringLiteral("Saver");
        if (state.abbruch) {
            Shutdown(state, registry, QStringLiteral("delay"), QStringLiteral("SCAN_INPUT "));
            return StartResult::Ended;
        }
        return services.openWindow(state, mode) ? StartResult::WindowOpen : StartResult::Ended;
    }
    if (mode == QLatin1String("/P")) {
        state.ParentWindow = parseWindowHandle(rawLine);
        state.CurrentPictureIndex = state.settings.letztes_bild;
        effektzeiten_laden(state, registry, QStringLiteral("pdelay"));
        state.laufmodus = QStringLiteral("Preferences");
        return services.openWindow(state, mode) ? StartResult::WindowOpen : StartResult::Ended;
    }
    if (mode == QLatin1String("/A")) {
        state.laufmodus = QStringLiteral("Password");
        state.ParentWindow = parseWindowHandle(rawLine);
        services.changePassword(state.ParentWindow);
        return StartResult::Ended;
    }
    return StartResult::Ended;
}

} // namespace vm
