// What every transition shares: the step prologue, step-width adaptation,
// the error words, the screen buffers' creation, the uncovered cut
// (blende_000) and the small numeric helpers.
#pragma once

#include "platform/gdi.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>

namespace vm {

struct RunState;
class Target;

// A floating-point size used as a pixel count: nearest, halves to even.
// Beyond the range of int (a stored step width gone wild) it stays at the
// range's end; not a number counts as 0.
inline std::int32_t px(double v)
{
    const double r = std::nearbyint(v);
    if (r != r) return 0;
    if (r <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    if (r >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    return std::int32_t(r);
}

// "Fehler in BitBlt in blende_001"
QString errorWords(const char* operation, int routine);
// "Fehler in StretchBlt in Modul blende_030"
QString moduleErrorWords(const char* operation, int routine);

// Counts `rounds` times; the optimiser cannot remove the loop.
void busyWait(std::int32_t rounds);

// Runs before every step: lets events through, stops when the show ends or
// the dialog interrupts, then waits aktuelles_delay rounds. False = stop.
bool stepPrologue(RunState& state, Target& target);

// Widens the current effect's step while there is no time to wait and
// narrows it towards `floor` once there is. Returns the new width.
std::int32_t adaptStepWidth(RunState& state, std::int32_t increment = 1, std::int32_t floor = 1);

// Target width and height as whole pixels.
std::int32_t targetW(const Target& target);
std::int32_t targetH(const Target& target);

// Creates desktop_dc (the start-up screen copy scaled to the target) and
// neues_bild_dc, puts the desktop on the target; "" or the error words.
QString Init_Screen(RunState& state, Target& target);

bool blende_000(RunState& state, Target& target);

std::int32_t Minimum(std::initializer_list<std::int32_t> values);
std::int32_t Maximum(std::initializer_list<std::int32_t> values);
double MaximumDbl(std::initializer_list<double> values);
// Replaces x by x - 1 and returns the arc cosine of the new value, or 0
// outside (-1, 1). The change of the caller's variable is deliberate: some
// transitions rely on it.
double ArcCos(double& x);

} // namespace vm
