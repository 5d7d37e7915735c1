#include "start/slideshow.h"

#include "pictures/showstep.h"
#include "platform/choosers.h"
#include "platform/registry.h"
#include "start/errinfo.h"
#include "start/errorlog.h"
#include "start/monitors.h"
#include "state/runstate.h"
#include "transitions/frame.h"

#include <utility>

namespace vm {

ColorRef randomBackground(RunState& state) { return ColorRef(state.random.next() * 16777215 + 1); }

void ShowNextPicture(RunState& state, Registry& registry, Target& box)
{
    const int n = state.PictureCount();
    if (n >= 1) {
        state.CurrentPictureIndex += 1;
        if (state.CurrentPictureIndex > n || state.CurrentPictureIndex < 1) state.CurrentPictureIndex = 1;
        // A copy: a transition may rebuild the list while it runs.
        const PictureEntry entry = state.pictureList[std::size_t(state.CurrentPictureIndex - 1)];
        const QString message = DrawPicture(state, box, entry);
        box.present();
        // A decoder that runs less confined than it should says so once a run.
        if (const QString warning = state.decoder.takeConfinementWarning(); !warning.isEmpty())
            LogError(registry, warning);
        if (message.isEmpty()) return;
        LogError(registry, message);
    }
    if (state.abbruch) return; // never draw into a window that is going away
    box.clearTo(pixelFromColorRef(randomBackground(state)));
}

Slideshow::Slideshow(RunState& state, Registry& registry, PictureBox& box, std::function<void()> onEnd,
                     std::function<bool()> hostGone)
    : state_(state), registry_(registry), box_(box), onEnd_(std::move(onEnd)),
      hostGone_(std::move(hostGone))
{
    Timer1.setSingleShot(true);
    Timer1.setInterval(1);
    connect(&Timer1, &QTimer::timeout, this, [this] { tick(); });
    // Also fires while a transition lets events run, so a vanished host
    // ends the transition early instead of after it.
    hostWatch_.setInterval(50);
    connect(&hostWatch_, &QTimer::timeout, this, [this] { watchHost(); });
}

void Slideshow::start()
{
    firstTick_ = true;
    Timer1.start(1);
    if (hostGone_) hostWatch_.start();
}

bool Slideshow::queryUnload()
{
    state_.abbruch = true;
    if (running_) return false;
    Timer1.stop();
    return true;
}

void Slideshow::tick()
{
    running_ = true;
    Timer1.stop();
    if (hostGone_ && hostGone_()) state_.abbruch = true;
    if (monitors_) return tickMonitors();
    if (!state_.abbruch && firstTick_) {
        firstTick_ = false;
        const QString text = Init_Screen(state_, box_);
        box_.present();
        if (!text.isEmpty()) {
            state_.abbruch = true;
            ShowErrorInfo(state_, text);
        }
    }
    if (!state_.abbruch) ShowNextPicture(state_, registry_, box_);
    running_ = false;
    if (!state_.abbruch) {
        // A change in the settings dialog cut the transition short: the
        // next picture comes at once, and later transitions run in full.
        const int interval = state_.unterbrechung ? 1 : state_.settings.delay * 1000;
        state_.unterbrechung = false;
        // The next picture is decoded while this one is shown.
        DecodeNextAhead(state_, box_);
        Timer1.start(interval);
        return;
    }
    end();
}

void Slideshow::tickMonitors()
{
    // Runs with the timer off, so no other monitor's change can start
    // while this one's transition lets events through.
    MonitorSet::Change change;
    if (!state_.abbruch) change = monitors_->changeNext();
    if (!change.initError.isEmpty()) {
        state_.abbruch = true;
        ShowErrorInfo(state_, change.initError);
    }
    running_ = false;
    if (state_.abbruch) return end();
    // A monitor that went away cut its transition short: go on at once.
    Timer1.start(std::exchange(state_.unterbrechung, false) ? 1 : change.waitMs);
}

void Slideshow::watchHost()
{
    if (!hostGone_()) return;
    // Nobody is left to answer a form, and a transition must not run on
    // invisibly to its end.
    closeModalDialogs();
    state_.abbruch = true;
    if (!running_) end();
}

void Slideshow::end()
{
    hostWatch_.stop();
    Timer1.stop();
    state_.decoder.drop();
    if (onEnd_) onEnd_();
}

} // namespace vm
