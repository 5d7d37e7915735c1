#include "pictures/stamp.h"

#include "pictures/textstamp.h"

namespace vm {

// A stamp that cannot be drawn leaves the picture as it is; the show goes on.
void StampPicture(RunState& state, Target& target, const PictureEntry& entry, const PictureMetadata& metadata)
{
    stampPicture(state, target, entry, metadata);
}

} // namespace vm
