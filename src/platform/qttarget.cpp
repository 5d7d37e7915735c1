#include "platform/qttarget.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QResizeEvent>

namespace vm {

namespace {

// A display refresh; presenting more often only costs time.
constexpr auto kPresentEvery = std::chrono::milliseconds(16);
// Keys and close requests must still stop a transition at once.
constexpr auto kEventsEvery = std::chrono::milliseconds(2);

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    dc_.select(&bitmap_);
}

void PictureBox::pumpMessages()
{
    const auto now = Clock::now();
    if (now - lastPresent_ >= kPresentEvery) {
        lastPresent_ = now;
        update();
    } else if (now - lastEvents_ < kEventsEvery) {
        return;
    }
    lastEvents_ = now;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void PictureBox::present()
{
    lastPresent_ = Clock::now();
    repaint();
}

void PictureBox::clearTo(Pixel colour)
{
    bitmap_.fill(colour);
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
}

} // namespace vm
