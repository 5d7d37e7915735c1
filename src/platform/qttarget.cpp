#include "platform/qttarget.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace vm {

namespace {

// A display refresh; presenting more often only costs time.
constexpr auto kPresentEvery = std::chrono::milliseconds(16);
// Keys and close requests must still stop a transition at once.
constexpr auto kEventsEvery = std::chrono::milliseconds(2);

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent), presentEvery_(kPresentEvery)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    dc_.select(&bitmap_);
    dc_.damage = &damage_;
}

QRect PictureBox::takeDamage()
{
    const QRect r(damage_.left, damage_.top, damage_.right - damage_.left, damage_.bottom - damage_.top);
    damage_.reset();
    // Widget coordinates are device-independent pixels.
    const qreal ratio = devicePixelRatio();
    return ratio == 1.0 ? r : QRectF(r.x() / ratio, r.y() / ratio, r.width() / ratio, r.height() / ratio).toAlignedRect();
}

void PictureBox::pumpMessages()
{
    const auto now = Clock::now();
    const bool presenting = now - lastPresent_ >= presentEvery_ && !damage_.empty();
    if (presenting) {
        lastPresent_ = now;
        update(takeDamage());
    } else if (now - lastEvents_ < kEventsEvery) {
        return;
    }
    lastEvents_ = now;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // A slow present (a 4K screen) comes less often, so that presenting
    // takes at most a fifth of the transition's time.
    if (presenting) presentEvery_ = std::max<Clock::duration>(kPresentEvery, 4 * (Clock::now() - now));
}

void PictureBox::present()
{
    lastPresent_ = Clock::now();
    if (!damage_.empty()) repaint(takeDamage());
}

void PictureBox::clearTo(Pixel colour)
{
    bitmap_.fill(colour);
    damage_.add(0, 0, bitmap_.width(), bitmap_.height());
    present();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    if (bitmap_.width() == 0 || bitmap_.height() == 0) return;
    // The bitmap's pixels are 0x00RRGGBB rows, which is Qt's RGB32 layout.
    QImage view(reinterpret_cast<const uchar*>(bitmap_.row(0)), bitmap_.width(), bitmap_.height(),
                bitmap_.stride() * 4, QImage::Format_RGB32);
    view.setDevicePixelRatio(devicePixelRatio());
    p.setClipRegion(event->region());
    p.drawImage(QPointF(0, 0), view);
}

void PictureBox::resizeEvent(QResizeEvent* event)
{
    const QSize px = event->size() * devicePixelRatio();
    if (px.width() == bitmap_.width() && px.height() == bitmap_.height()) return;
    Bitmap resized(px.width(), px.height());
    Dc to;
    to.select(&resized);
    BitBlt(&to, 0, 0, resized.width(), resized.height(), &dc_, 0, 0);
    bitmap_ = std::move(resized);
    dc_.select(&bitmap_);
    damage_.reset(); // a resized widget is painted whole anyway
}

} // namespace vm
