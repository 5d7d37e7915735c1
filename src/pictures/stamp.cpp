#include "pictures/stamp.h"

namespace vm {

// The stamp's drawing comes with the text stamp module; until then a show
// runs without text.
void StampPicture(RunState&, Target&, const PictureEntry&) {}

} // namespace vm
