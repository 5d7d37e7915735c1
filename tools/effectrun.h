// One effect run as the show runs it, headless or in a real window: the
// desktop, an old picture brought in by a cut, then the new picture through
// the effect. Shared by the tool's run, gallery and bench commands.
#pragma once

#include "platform/gdi.h"
#include "platform/target.h"
#include "state/runstate.h"

#include <QImage>
#include <QString>

#include <optional>

namespace vm {

QImage bitmapToImage(const Bitmap& b);
// Two pictures that differ everywhere, so every uncovered pixel shows.
QImage generatedPicture(int w, int h, bool second);

struct EffectRunSetup {
    int width = 800;
    int height = 600;
    std::uint32_t seed = 1;
    std::int32_t delay = 0;
    std::optional<std::int32_t> schritt;
    std::int32_t tdauer = 2;
    int expand = 0;
    bool noAlpha = false;
    ColorRef oldBackground = 0;
    ColorRef newBackground = 0;
};

class EffectRunner {
public:
    EffectRunner(const EffectRunSetup& setup, Target& target);
    // Puts the desktop and then `oldPicture` on the target (by a cut).
    QString prepare(const QString& oldPicture);
    // Runs `effect` with `picture` through the show step; "" or the message.
    QString run(int effect, const QString& picture);
    RunState& state() { return state_; }

private:
    EffectRunSetup setup_;
    Target& target_;
    RunState state_;
};

} // namespace vm
