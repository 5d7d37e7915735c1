// The picture box a show draws into: the show window, the preview, the
// dialog's preview area, or a headless bitmap for tests and the tool.
#pragma once

#include "platform/gdi.h"

#include <functional>

namespace vm {

class Target {
public:
    virtual ~Target() = default;
    virtual Dc* dc() = 0;
    // Sizes in pixels as floating-point values; callers round them.
    virtual double width() const = 0;
    virtual double height() const = 0;
    // Lets pending window events run (input, close requests, timers).
    virtual void pumpMessages() = 0;
    // Says that the whole transition is drawn, so the visible picture must
    // now match the bitmap; implementations that present lazily catch up.
    virtual void present() {}
    // Fills the whole surface with one colour (0x00RRGGBB) and shows it.
    virtual void clearTo(Pixel colour);
};

// Draws into its own bitmap and never presents; counts how often events were
// let through, which is the number of steps a transition ran.
class HeadlessTarget : public Target {
public:
    HeadlessTarget(int width, int height, Pixel fill = 0);
    Dc* dc() override { return &dc_; }
    double width() const override { return bitmap_.width(); }
    double height() const override { return bitmap_.height(); }
    void pumpMessages() override;

    const Bitmap& bitmap() const { return bitmap_; }
    Bitmap& bitmap() { return bitmap_; }
    int pumps() const { return pumps_; }
    void resetPumps() { pumps_ = 0; }
    // Runs at every pump with the pump's number (from 1); tests use it to
    // stop a transition mid-way or to capture frames.
    std::function<void(int)> onPump;

private:
    Bitmap bitmap_;
    Dc dc_;
    int pumps_ = 0;
};

} // namespace vm
