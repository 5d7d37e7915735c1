#include "platform/target.h"

namespace vm {

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
