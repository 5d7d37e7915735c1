// Foreign windows: the host window a preview lives in, or the window a
// screen-saver daemon hands us.
#pragma once

#include <QSize>

namespace vm {

// Whether a native window with that id exists (always false for 0).
bool IsWindow(long long id);
// Its client size in pixels; empty when it is gone.
QSize nativeWindowSize(long long id);
// The id of the whole screen's root window, or 0 where there is none.
long long rootWindowId();

} // namespace vm
