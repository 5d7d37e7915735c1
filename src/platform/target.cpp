#include "platform/target.h"

namespace vm {

void Target::clearTo(Pixel colour)
{
    FillRect(dc(), Rect{0, 0, int(width() + 0.5), int(height() + 0.5)}, SolidBrush{colorRefFromPixel(colour)});
    present();
}

HeadlessTarget::HeadlessTarget(int width, int height, Pixel fill) : bitmap_(width, height, fill)
{
    dc_.select(&bitmap_);
}

void HeadlessTarget::pumpMessages()
{
    ++pumps_;
    if (onPump) onPump(pumps_);
}

} // namespace vm
