// The machinery that every window showing pictures shares: the timer that
// drives the show one picture per tick, and the step of one picture.
#pragma once

#include "platform/qttarget.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace vm {

class MonitorSet;
class Registry;
struct RunState;

// Shows the next picture of the list on the box; a failure goes to the
// error log and the box shows a random plain colour for this interval.
void ShowNextPicture(RunState& state, Registry& registry, Target& box);

// The colour a failed interval shows: 1 to 16777215, red in the low byte.
ColorRef randomBackground(RunState& state);

class Slideshow : public QObject {
public:
    // `hostGone` tells whether the window we live in has disappeared (asked
    // every 50 ms, also during a transition); `onEnd` unloads the window
    // when the show ends.
    Slideshow(RunState& state, Registry& registry, PictureBox& box, std::function<void()> onEnd,
              std::function<bool()> hostGone = {});

    // Arms the first tick.
    void start();
    // The timer is off exactly while a tick runs (and after the show ended).
    bool tickRunning() const { return running_; }
    bool timerEnabled() const { return Timer1.isActive(); }
    void disableTimer() { Timer1.stop(); }
    // An unload request: true when the window may unload now. During a tick
    // it only asks the transition to stop (abbruch); the tick unloads at its
    // end, so nothing draws into released buffers.
    bool queryUnload();
    void enableTimer() { Timer1.start(); }
    // Several monitors: every tick changes the next one's picture instead
    // of the box's, and the next tick follows after its share of the interval.
    void setMonitors(MonitorSet* monitors) { monitors_ = monitors; }

    QTimer Timer1;

private:
    void tick();
    void tickMonitors();
    void watchHost();
    void end();

    RunState& state_;
    Registry& registry_;
    PictureBox& box_;
    std::function<void()> onEnd_;
    std::function<bool()> hostGone_;
    QTimer hostWatch_;
    MonitorSet* monitors_ = nullptr;
    bool firstTick_ = true;
    bool running_ = false;
};

} // namespace vm
