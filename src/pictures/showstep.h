// The show step: one picture from file to screen. Has it decoded and fitted, lays
// it on its background in neues_bild_dc, runs the chosen transition onto
// the target, calibrates the effect's timing and stamps the text.
#pragma once

#include "pictures/picturelist.h"
#include "pictures/stamp.h"

#include <QString>

#include <functional>

namespace vm {

struct RunState;
class Target;

// The text stamp step as the show step calls it; tests put a recorder here.
using StampStep = std::function<void(RunState&, Target&, const PictureEntry&, const PictureMetadata&)>;

// "" when the step ended normally (also when the transition was stopped
// by the user, or a matched colour could not be computed), else the
// message for the error log. Everything made for the picture (bild_dc,
// the brush, the scratch buffers puffer1 and puffer2) is released on every
// path; the target and neues_bild_dc keep the picture.
QString DrawPicture(RunState& state, Target& target, const PictureEntry& entry,
                    const StampStep& stamp = StampPicture);

// Starts decoding the picture the next step will show, so that the step
// finds it ready; a step that asks for anything else decodes afresh.
void DecodeNextAhead(RunState& state, const Target& target);
// The same for the picture at `index` (1-based, wrapped into the list).
void DecodeAheadAt(RunState& state, const Target& target, int index);

} // namespace vm
