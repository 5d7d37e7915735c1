// The full-screen show ("VelmiranoMainScreen") and the preview inside a
// host window ("VelmiranoControlScreen").
#pragma once

#include "platform/qttarget.h"
#include "start/slideshow.h"

#include <QPoint>
#include <QScreen>
#include <QWidget>

#include <functional>
#include <memory>

namespace vm {

class MonitorSet;
class Registry;
struct RunState;

// The Windows 9x screen-saver password; elsewhere never asked.
struct PasswordService {
    std::function<bool()> required;          // the system asks for a password
    std::function<bool(QWidget*)> verify;    // the user gave the right one
};
PasswordService systemPasswordService();

class MainScreen : public QWidget {
public:
    enum class Mode { FullScreen, Embedded };

    // Embedded: the show runs inside a window a screen-saver daemon gave us
    // (`hostWindow`), without hiding the cursor or taking input.
    MainScreen(RunState& state, Registry& registry, Mode mode = Mode::FullScreen,
               long long hostWindow = 0, PasswordService passwords = systemPasswordService());
    ~MainScreen() override;

    // Ends the show as a key press would (used for SIGTERM/SIGINT).
    void requestEnd(const QString& reason);

    PictureBox& Picture1() { return *picture_; }
    Slideshow& slideshow() { return *slideshow_; }
    // The full-screen show's monitors (none when embedded).
    MonitorSet* monitors() { return monitors_.get(); }
    const QString& endReason() const { return endReason_; }
    bool unloaded() const { return unloaded_; }
    // Runs after the window's unload saved everything; the program uses it
    // to end (a window inside a foreign one does not end the loop by itself).
    std::function<void()> afterUnload;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void unload();
    // A window of its own for a monitor other than this window's.
    void addMonitorWindow(QScreen* screen);

    RunState& state_;
    Registry& registry_;
    Mode mode_;
    long long hostWindow_;
    PasswordService passwords_;
    PictureBox* picture_;
    std::unique_ptr<Slideshow> slideshow_;
    std::unique_ptr<MonitorSet> monitors_; // goes before the slideshow that uses it
    QScreen* screen_ = nullptr;            // the screen this window covers
    QString endReason_;
    QPoint mouseRef_{0, 0};
    bool usePassword_ = false;
    bool unloaded_ = false;
};

class ControlScreen : public QWidget {
public:
    ControlScreen(RunState& state, Registry& registry, long long parentWindow);

    PictureBox& Picture1() { return *picture_; }
    Slideshow& slideshow() { return *slideshow_; }
    bool unloaded() const { return unloaded_; }
    std::function<void()> afterUnload;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void unload();

    RunState& state_;
    Registry& registry_;
    long long parentWindow_;
    PictureBox* picture_;
    std::unique_ptr<Slideshow> slideshow_;
    bool unloaded_ = false;
};

// Whether ending a show by mouse needs this move: more than 2 pixels
// (x and y distances added) away from the first position seen.
bool mouseMoveEndsShow(QPoint reference, QPoint now);

} // namespace vm
