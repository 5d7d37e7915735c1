// Start-up: from the command line to the one window of the requested mode.
#pragma once

#include "platform/nativewindow.h"
#include "platform/system.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace vm {

class Registry;
struct RunState;

// What start-up asks of the system and of the windows; tests replace it.
class StartServices {
public:
    virtual ~StartServices() = default;
    virtual bool initImageLibrary();
    virtual OsVersion osVersion();
    virtual ScreenSize screenSize();
    virtual DesktopLayout desktopLayout();
    virtual bool captureDesktop(Dc* into);
    virtual bool isOnlyInstance(const QString& title);
    virtual void changePassword(long long parentWindow);
    virtual void showErrorInfo(RunState& state, const QString& message);
    virtual QString currentDirectory();
    // Opens the window of the mode ("/C", "/S" or "/P"); false if none opened.
    virtual bool openWindow(RunState& state, const QString& modeWord);
    // Whether a key went down or the pointer moved since the first call:
    // asked while the show's picture list is built, before its window opens.
    virtual bool inputDuringStart();

private:
    InstanceGuard instance_;
    std::optional<InputState> startInput_;
};

enum class StartResult { Ended, WindowOpen };

constexpr const char* kMissingLibraryMessage = "VelmiranoIS.DLL fehlt im Windows-Systemverzeichnis!!!";

// The arguments after the program name as one line, the way a screen saver
// receives its command line.
QString rawCommandLine(const QStringList& arguments);
// The first two characters of the trimmed, upper-cased line; "/C" for none.
QString modeWord(const QString& rawLine);
// The window number after "/P" or "/A": skip blanks, read decimal digits,
// stop at the first other character; 0 when there is no number.
long long parseWindowHandle(const QString& rawLine);

// A key down now that was not at `first`, or the pointer moved as far as
// ends a show.
bool inputSince(const InputState& first, const InputState& now);

// Why a stored folder entry adds no pictures ("" when it names a folder
// that can be searched): empty, relative, missing or not a readable folder.
QString folderProblem(const QString& folder);

// Reads everything a run starts from: the settings, the folders (existing
// ones, each ending with "/"; the others named in the error log; the
// current directory only when the store names no folder at all), the single
// effect corrected into range, the enabled effects and the catalogue.
void loadStartState(RunState& state, Registry& registry, const QString& currentDirectory);

// The entry routine. Returns whether a window is open (the caller then runs
// the event loop) or the run has ended. `hostWindow`: the window a
// screen-saver daemon gave us to show in (the line is then "/S").
StartResult Main(const QString& rawLine, RunState& state, Registry& registry,
                 StartServices& services, long long hostWindow = 0);

} // namespace vm
