// Placeholder so the dialog branch links before the show machinery lands;
// the lead replaces it with the real slideshow at merge.
#include "start/slideshow.h"
#include "state/runstate.h"

namespace vm {
ColorRef randomBackground(RunState& state) { return ColorRef(state.random.next() * 16777215 + 1); }
void ShowNextPicture(RunState&, Registry&, PictureBox& box) { box.clearTo(0x336699); }
Slideshow::Slideshow(RunState& state, Registry& registry, PictureBox& box, std::function<void()> onEnd,
                     std::function<bool()> hostGone)
    : state_(state), registry_(registry), box_(box), onEnd_(std::move(onEnd)), hostGone_(std::move(hostGone))
{
    Timer1.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, [this] {
        running_ = true;
        ShowNextPicture(state_, registry_, box_);
        running_ = false;
        if (!state_.abbruch) Timer1.start(state_.settings.delay * 1000);
        else if (onEnd_) onEnd_();
    });
}
void Slideshow::start() { Timer1.start(1); }
} // namespace vm
