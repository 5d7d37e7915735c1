// Foreign windows: the host window a preview lives in, or the window a
// screen-saver daemon hands us.
#pragma once

#include <QSize>

#include <array>
#include <cstdint>

namespace vm {

// Whether a native window with that id exists (always false for 0).
bool IsWindow(long long id);
// Its client size in pixels; empty when it is gone.
QSize nativeWindowSize(long long id);
// The id of the whole screen's root window, or 0 where there is none.
long long rootWindowId();

// A look at the whole screen's keyboard and pointer: a bit per key that is
// down, and where the pointer is. Not valid where the system cannot say.
struct InputState {
    bool valid = false;
    int x = 0;
    int y = 0;
    std::array<std::uint8_t, 32> keys{};
};
InputState queryInputState();

} // namespace vm
