#include "dialogs/infodialog.h"

#include "platform/sandbox.h"
#include "state/runstate.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStringList>

namespace vm {

namespace {

// The logo: three pictures fanned out, the top one a small landscape.
QPixmap logo()
{
    QImage img(96, 80, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor frames[] = {QColor(200, 80, 60), QColor(230, 170, 40), QColor(255, 255, 255)};
    for (int i = 0; i < 3; ++i) {
        p.save();
        p.translate(48, 44);
        p.rotate(-16 + 12 * i);
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(frames[i]);
        p.drawRect(QRectF(-30, -22, 60, 44));
        if (i == 2) {
            QLinearGradient sky(0, -18, 0, 6);
            sky.setColorAt(0, QColor(50, 100, 180));
            sky.setColorAt(1, QColor(170, 205, 240));
            p.setPen(Qt::NoPen);
            p.setBrush(sky);
            p.drawRect(QRectF(-26, -18, 52, 36));
            QPainterPath hills;
            hills.moveTo(-26, 18);
            hills.lineTo(-26, 4);
            hills.lineTo(-10, -8);
            hills.lineTo(4, 4);
            hills.lineTo(14, -2);
            hills.lineTo(26, 6);
            hills.lineTo(26, 18);
            hills.closeSubpath();
            p.setBrush(QColor(60, 120, 70));
            p.drawPath(hills);
            p.setBrush(QColor(255, 230, 120));
            p.drawEllipse(QPointF(14, -10), 4, 4);
        }
        p.restore();
    }
    return QPixmap::fromImage(img);
}

// The program icon: a monitor showing a picture.
QPixmap programIcon()
{
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 48), 1));
    p.setBrush(QColor(70, 70, 80));
    p.drawRoundedRect(QRectF(1.5, 3.5, 29, 21), 2, 2);
    QLinearGradient sky(0, 6, 0, 22);
    sky.setColorAt(0, QColor(50, 100, 180));
    sky.setColorAt(1, QColor(170, 205, 240));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(QRectF(4, 6, 24, 16));
    QPainterPath hills;
    hills.moveTo(4, 22);
    hills.lineTo(4, 17);
    hills.lineTo(11, 11);
    hills.lineTo(17, 17);
    hills.lineTo(22, 14);
    hills.lineTo(28, 18);
    hills.lineTo(28, 22);
    hills.closeSubpath();
    p.setBrush(QColor(60, 120, 70));
    p.drawPath(hills);
    p.setBrush(QColor(70, 70, 80));
    p.drawRect(QRectF(13, 25, 6, 3));
    p.drawRoundedRect(QRectF(8, 27.5, 16, 3), 1, 1);
    return QPixmap::fromImage(img);
}

} // namespace

VersionInfo programVersion()
{
    VersionInfo v;
    const QStringList parts = QStringLiteral(VELMIRANO_VERSION).split(u'.');
    v.major = parts.value(0).toInt();
    v.minor = parts.value(1).toInt();
    v.revision = parts.value(2).toInt();
    v.fileDescription = QStringLiteral("Velmirano Bildschirmschoner");
    v.legalNotice = QString::fromUtf8("© Velmiworks. Alle Rechte vorbehalten.\n"
                                      "Velmirano zeigt Ihre eigenen Bilder; die Bilder bleiben unverändert.");
    return v;
}

QString versionCaption(const VersionInfo& v)
{
    return QStringLiteral("Version %1.%2.%3 ").arg(v.major).arg(v.minor).arg(v.revision) + v.fileDescription;
}

Inform::Inform(RunState& state, QWidget* owner, const VersionInfo& version) : QDialog(owner)
{
    setObjectName(QStringLiteral("Inform"));
    setWindowTitle(QStringLiteral("Info zu Velmirano"));
    setModal(true);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(logo());
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(programIcon());
    auto* title = new QLabel(QStringLiteral("Velmirano"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);
    auto* versionLabel = new QLabel(versionCaption(version), this);
    versionLabel->setObjectName(QStringLiteral("Version"));
    auto* author = new QLabel(version.legalNotice, this);
    author->setObjectName(QStringLiteral("Autor"));
    author->setWordWrap(true);
    // How the picture decoder is shut in: what a decoder of this run
    // reported, else what this system offers.
    auto* shielding = new QLabel(ConfinementSummary(state.decoder.confinement().value_or(ExpectedConfinement())), this);
    shielding->setObjectName(QString::fromUtf8("Abschirmung"));
    shielding->setWordWrap(true);
    auto* ok = new QPushButton(QStringLiteral("ok"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(16);
    layout->addWidget(picture, 0, 0, 5, 1, Qt::AlignTop);
    auto* head = new QHBoxLayout;
    head->addWidget(icon);
    head->addWidget(title, 1);
    layout->addLayout(head, 0, 1);
    layout->addWidget(versionLabel, 1, 1);
    layout->addWidget(author, 2, 1);
    layout->addWidget(shielding, 3, 1);
    layout->setRowStretch(4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons, 5, 0, 1, 2);
    setMinimumWidth(420);

    state.messung_auslassen = true;
}

void Inform::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QWidget* owner = parentWidget()) {
        const QRect o = owner->frameGeometry();
        move(o.left() + o.width() / 2 - frameGeometry().width() / 2,
             o.top() + o.height() / 2 - frameGeometry().height() / 2);
    }
}

} // namespace vm
