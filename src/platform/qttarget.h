// The picture box of a real window: keeps the visible pixels in its own
// bitmap, which the transitions draw into, and presents them to the screen
// at most once per display refresh and always at a transition's end.
#pragma once

#include "platform/target.h"

#include <QRect>
#include <QWidget>

#include <chrono>

namespace vm {

class PictureBox : public QWidget, public Target {
public:
    explicit PictureBox(QWidget* parent = nullptr);

    Dc* dc() override { return &dc_; }
    double width() const override { return bitmap_.width(); }
    double height() const override { return bitmap_.height(); }
    void pumpMessages() override;
    void present() override;

    void clearTo(Pixel colour) override;
    const Bitmap& bitmap() const { return bitmap_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    using Clock = std::chrono::steady_clock;
    QRect takeDamage();

    Bitmap bitmap_;
    Dc dc_;
    Damage damage_; // drawn since the last present
    Clock::time_point lastPresent_{};
    Clock::time_point lastEvents_{};
    // At least a display refresh; longer when presenting itself is slow (a
    // large screen), so that it never takes most of a transition's time.
    Clock::duration presentEvery_{};
};

} // namespace vm
