// The text stamp drawn over a picture once its transition is complete.
#pragma once

#include "pictures/picturelist.h"
#include "imaging/protocol.h"

namespace vm {

struct RunState;
class Target;

// The stamp step of the show step: draws the configured text over the
// composed picture on the target. Its failures are not reported.
void StampPicture(RunState& state, Target& target, const PictureEntry& entry, const PictureMetadata& metadata);

} // namespace vm
