#include "dialogs/stampdialog.h"

#include "pictures/textstamp.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vm {

namespace {

constexpr const char* kHeightMessage =
    "Texthöhe nicht zulässig.\r\nWerte zwischen 1 und 100 sind erlaubt.\r\n\r\n"
    "Es wird der vorherige Wert verwendet.";
constexpr const char* kOffsetXMessage =
    "X-Offset der Textposition nicht zulässig.\r\nWerte zwischen -500 und 500 sind erlaubt.\r\n\r\n"
    "Es wird der vorwerige Wert verwendet.";
constexpr const char* kOffsetYMessage =
    "Y-Offset der Textposition nicht zulässig.\r\nWerte zwischen -500 und 500 sind erlaubt.\r\n\r\n"
    "Es wird der vorwerige Wert verwendet.";
constexpr const char* kPlaceholderHelp =
    "%K=kompletter Dateiname, %L=Laufwerk, %P=Pfad, %V=Verzeichnis, %N=Dateiname, %A=Dateiart, "
    "%T=Dateidatum, %Z=Dateizeit, %D=Datum, %U=Uhrzeit, %W=Wochentag, %e00000=EXIF-Tagnr., "
    "%i00000=IPTC-Tagnr., %\\=Zeilenwechsel";

// Keys of the position pictures, for positions 1 to 9.
constexpr const char* kPositionKeys[] = {"LO", "MO", "RO", "LM", "MM", "RM", "LU", "MU", "RU"};

constexpr QRgb kMarked = qRgb(0, 255, 0);      // 65280
constexpr QRgb kUnmarked = qRgb(255, 255, 255); // 16777215

QColor fromColorRef(std::int32_t c) { return QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff); }


// --- our own pictures ------------------------------------------------------

// One of the nine position pictures: a small picture with the text bar at
// its place. The box's background shows through around it.
QPixmap positionPicture(int index)
{
    QImage img(28, 20, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(170, 200, 230));
    p.drawRect(QRectF(1.5, 1.5, 25, 17));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 160, 90));
    p.drawRect(QRectF(2, 12, 24, 6));
    const int col = (index - 1) % 3, row = (index - 1) / 3;
    const QRectF bar(3 + col * 7.5, 3.5 + row * 5, 7, 3);
    p.setBrush(QColor(20, 20, 20));
    p.drawRect(bar);
    return QPixmap::fromImage(img);
}

// The direction buttons: a letter turned as the stamp would be.
QIcon directionIcon(int direction)
{
    QImage img(24, 24, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(12, 12);
    p.rotate(direction == 1 ? 90 : direction == 2 ? 180 : direction == 3 ? 270 : 0);
    QFont f;
    f.setPixelSize(15);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(30, 30, 30));
    p.drawText(QRectF(-8, -11, 16, 17), Qt::AlignCenter, QStringLiteral("A"));
    p.setPen(QPen(QColor(200, 40, 40), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(-7, 8.5), QPointF(6, 8.5));
    p.drawLine(QPointF(6, 8.5), QPointF(3, 6));
    p.drawLine(QPointF(6, 8.5), QPointF(3, 11));
    return QIcon(QPixmap::fromImage(img));
}

// Outline fonts and bitmap fonts are told apart in the font list.
QIcon fontKindIcon(bool scalable)
{
    QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    if (scalable) {
        p.setRenderHint(QPainter::Antialiasing);
        QFont f(QStringLiteral("serif"));
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(150, 150, 150));
        p.drawText(QRectF(0, 0, 12, 14), Qt::AlignCenter, QStringLiteral("T"));
        p.setPen(QColor(30, 70, 170));
        p.drawText(QRectF(4, 2, 12, 14), Qt::AlignCenter, QStringLiteral("T"));
    } else {
        // A blocky "A" of whole pixels.
        static const char* rows[] = {"..##..", ".#..#.", ".#..#.", "######", "#....#", "#....#"};
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(170, 40, 40));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                if (rows[y][x] == '#') p.drawRect(2 + x * 2, 2 + y * 2, 2, 2);
    }
    return QIcon(QPixmap::fromImage(img));
}

// --- RGB buffers and images ------------------------------------------------

RgbImage toRgb(const QImage& image)
{
    const QImage src = image.convertToFormat(QImage::Format_RGB888);
    RgbImage out;
    if (!out.allocate(src.width(), src.height())) return out;
    for (int y = 0; y < src.height(); ++y)
        std::memcpy(out.rgb.data() + std::size_t(y) * out.rowBytes(), src.constScanLine(y), out.rowBytes());
    return out;
}

QImage toImage(const RgbImage& rgb)
{
    QImage img(rgb.width, rgb.height, QImage::Format_RGB888);
    for (int y = 0; y < rgb.height; ++y)
        std::memcpy(img.scanLine(y), rgb.rgb.data() + std::size_t(y) * rgb.rowBytes(), rgb.rowBytes());
    return img;
}

// --- small controls --------------------------------------------------------

// A position box of the grid: a picture on a background that marks it.
class PositionBox : public QLabel {
public:
    PositionBox(int index, std::function<void(int)> clicked, QWidget* parent)
        : QLabel(parent), index_(index), clicked_(std::move(clicked))
    {
        setObjectName(QStringLiteral("StempelTextPosition"));
        setProperty("index", index);
        setPixmap(positionPicture(index));
        setAlignment(Qt::AlignCenter);
        setFixedSize(36, 28);
        setFrameShape(QFrame::Box);
        setAutoFillBackground(true);
        setCursor(Qt::PointingHandCursor);
        setToolTip(QLatin1String(kPositionKeys[index - 1]));
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && clicked_) clicked_(index_);
    }

private:
    int index_;
    std::function<void(int)> clicked_;
};

QLabel* makeSwatch(const char* name, QWidget* parent)
{
    auto* swatch = new QLabel(parent);
    swatch->setObjectName(QLatin1String(name));
    swatch->setFixedSize(44, 20);
    swatch->setFrameShape(QFrame::Box);
    swatch->setAutoFillBackground(true);
    return swatch;
}

void setSwatch(QLabel* swatch, std::int32_t colour)
{
    swatch->setProperty("colorref", colour);
    QPalette pal = swatch->palette();
    pal.setColor(QPalette::Window, fromColorRef(colour));
    swatch->setPalette(pal);
}

std::int32_t swatchColour(const QLabel* swatch) { return swatch->property("colorref").toInt(); }

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

// A slider with its percentage label underneath, following the thumb.
QWidget* makePercentSlider(const char* sliderName, const char* labelName, QWidget* parent,
                           QSlider** sliderOut, QLabel** labelOut)
{
    auto* holder = new QWidget(parent);
    auto* slider = new QSlider(Qt::Horizontal, holder);
    slider->setObjectName(QLatin1String(sliderName));
    slider->setRange(0, 100);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(10);
    slider->setPageStep(10);
    auto* label = new QLabel(QStringLiteral("100%"), holder);
    label->setObjectName(QLatin1String(labelName));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFixedWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 6);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(slider);
    layout->addSpacing(label->sizeHint().height());
    holder->setMinimumWidth(160);
    *sliderOut = slider;
    *labelOut = label;
    return holder;
}

template <class Button>
Button* indexed(const char* name, int index, const QString& caption, QWidget* parent)
{
    auto* b = new Button(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setProperty("index", index);
    return b;
}

QGroupBox* group(const char* title, QWidget* parent, const char* name = nullptr)
{
    auto* g = new QGroupBox(QString::fromUtf8(title), parent);
    if (name) g->setObjectName(QLatin1String(name));
    return g;
}

} // namespace

// --- the stamp on the sample -------------------------------------------------

void drawSampleStamp(RgbImage& image, const Settings& s)
{
    // The same drawing as the show's stamp, with the text as typed.
    drawStamp(image, s, s.text);
}

void EnableChildControls(QWidget* container, bool enabled)
{
    for (QObject* child : container->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow()) continue;
        w->setEnabled(enabled);
        EnableChildControls(w, enabled);
    }
}

QImage samplePhotograph()
{
    const int w = 480, h = 360;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Evening sky.
    QLinearGradient sky(0, 0, 0, h * 0.62);
    sky.setColorAt(0, QColor(38, 86, 160));
    sky.setColorAt(0.7, QColor(150, 185, 225));
    sky.setColorAt(1, QColor(246, 212, 160));
    p.fillRect(0, 0, w, h, sky);
    QRadialGradient glow(QPointF(350, 150), 70);
    glow.setColorAt(0, QColor(255, 246, 200));
    glow.setColorAt(0.35, QColor(255, 226, 140));
    glow.setColorAt(1, QColor(255, 226, 140, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(350, 150), 70, 70);
    // Clouds.
    p.setBrush(QColor(255, 255, 255, 200));
    for (const QPointF& c : {QPointF(90, 60), QPointF(125, 52), QPointF(160, 64), QPointF(260, 40), QPointF(290, 34)})
        p.drawEllipse(c, 34, 13);
    // Mountains, far and near.
    QPainterPath far;
    far.moveTo(0, 210);
    for (auto [x, y] : {std::pair{60, 140}, {120, 180}, {190, 110}, {260, 175}, {330, 130}, {400, 185}, {480, 150}})
        far.lineTo(x, y);
    far.lineTo(480, 240);
    far.lineTo(0, 240);
    p.setBrush(QColor(104, 120, 150));
    p.drawPath(far);
    QPainterPath snow;
    snow.moveTo(170, 128);
    snow.lineTo(190, 110);
    snow.lineTo(212, 132);
    snow.lineTo(200, 128);
    snow.lineTo(190, 136);
    snow.closeSubpath();
    p.setBrush(QColor(240, 244, 250));
    p.drawPath(snow);
    QPainterPath nearHills;
    nearHills.moveTo(0, 230);
    nearHills.cubicTo(120, 180, 220, 250, 480, 200);
    nearHills.lineTo(480, 260);
    nearHills.lineTo(0, 260);
    p.setBrush(QColor(70, 110, 80));
    p.drawPath(nearHills);
    // Meadow and lake.
    QLinearGradient meadow(0, 230, 0, h);
    meadow.setColorAt(0, QColor(96, 150, 70));
    meadow.setColorAt(1, QColor(52, 104, 44));
    p.setBrush(meadow);
    p.drawRect(0, 235, w, h - 235);
    QLinearGradient water(0, 250, 0, 320);
    water.setColorAt(0, QColor(120, 160, 210));
    water.setColorAt(1, QColor(50, 90, 150));
    p.setBrush(water);
    p.drawEllipse(QRectF(150, 250, 260, 60));
    p.setBrush(QColor(255, 240, 190, 120));
    p.drawEllipse(QRectF(325, 262, 50, 8));
    // A few firs.
    for (auto [x, s] : {std::pair{50, 1.0}, {80, 0.8}, {110, 1.15}, {430, 0.9}, {455, 1.1}}) {
        const double base = 300 + 20 * s, top = base - 90 * s;
        p.setBrush(QColor(90, 60, 40));
        p.drawRect(QRectF(x - 3 * s, base - 12 * s, 6 * s, 14 * s));
        QPainterPath fir;
        fir.moveTo(x, top);
        fir.lineTo(x + 22 * s, base - 10 * s);
        fir.lineTo(x - 22 * s, base - 10 * s);
        fir.closeSubpath();
        p.setBrush(QColor(28, 72, 42));
        p.drawPath(fir);
    }
    return img;
}

// --- the dialog ----------------------------------------------------------------

Textstempel::Textstempel(Settings& settings, const Choosers& choosers, QWidget* parent)
    : QDialog(parent), settings_(settings), choosers_(choosers)
{
    setObjectName(QStringLiteral("Textstempel"));
    setWindowTitle(QStringLiteral("Textstempel"));
    setModal(true);
    buildControls();
    fillFontList();
    InitDialog();
}

void Textstempel::buildControls()
{
    auto* main = new QVBoxLayout(this);

    // The text and what its placeholders mean.
    auto* textRow = new QHBoxLayout;
    auto* textLabel = new QLabel(QStringLiteral("Text"), this);
    auto* text = new QLineEdit(this);
    text->setObjectName(QStringLiteral("StempelText"));
    textLabel->setBuddy(text);
    textRow->addWidget(textLabel);
    textRow->addWidget(text, 1);
    main->addLayout(textRow);
    auto* help = new QLabel(QString::fromUtf8(kPlaceholderHelp), this);
    help->setWordWrap(true);
    help->setEnabled(false); // shown as a quiet hint
    main->addWidget(help);
    connect(text, &QLineEdit::textEdited, this, [this](const QString& t) {
        settings_.text = t;
        DrawSample();
    });

    auto* columns = new QHBoxLayout;
    main->addLayout(columns, 1);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right);

    // Font, height, colour, opacity.
    auto* fontGrid = new QGridLayout;
    left->addLayout(fontGrid);
    auto* fonts = new QComboBox(this);
    fonts->setObjectName(QStringLiteral("StempelTextSchrift"));
    fonts->setMaxVisibleItems(16);
    fonts->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    fonts->setMinimumContentsLength(18);
    fontGrid->addWidget(new QLabel(QStringLiteral("Schriftart"), this), 0, 0);
    fontGrid->addWidget(fonts, 0, 1, 1, 3);
    connect(fonts, &QComboBox::activated, this, [this, fonts](int i) {
        settings_.schriftart = fonts->itemText(i);
        DrawSample();
    });

    auto* height = new QLineEdit(this);
    height->setObjectName(QString::fromUtf8("StempelTextHöhe"));
    height->setFixedWidth(height->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    fontGrid->addWidget(new QLabel(QString::fromUtf8("Schrifthöhe"), this), 1, 0);
    fontGrid->addWidget(height, 1, 1);
    fontGrid->addWidget(new QLabel(QStringLiteral("Pixel"), this), 1, 2, 1, 2);
    connect(height, &QLineEdit::textEdited, this, [this, height] {
        numberEdited(height, 1, 100, &Settings::hoehe, QString::fromUtf8(kHeightMessage));
    });

    auto* colour = makeSwatch("StempelTextFarbe", this);
    auto* colourButton = makeButton("StempelTextFarbeButton", QStringLiteral("..."), this);
    fontGrid->addWidget(new QLabel(QStringLiteral("Schriftfarbe"), this), 2, 0);
    fontGrid->addWidget(colour, 2, 1);
    fontGrid->addWidget(colourButton, 2, 2);
    connect(colourButton, &QPushButton::clicked, this, [this, colour] {
        chooseColour(colour, &Settings::farbe, QStringLiteral("Farbe des Textstempels"));
    });

    QSlider* opacity = nullptr;
    QLabel* opacityPercent = nullptr;
    QWidget* opacityHolder = makePercentSlider("StempelTextDeckkraft", "StempelTextDeckkraftProzent",
                                               this, &opacity, &opacityPercent);
    fontGrid->addWidget(new QLabel(QStringLiteral("Deckkraft"), this), 3, 0, Qt::AlignTop);
    fontGrid->addWidget(opacityHolder, 3, 1, 1, 3);
    fontGrid->setColumnStretch(3, 1);
    connect(opacity, &QSlider::valueChanged, this, [this, opacity, opacityPercent](int v) {
        ShowPercent(opacity, opacityPercent);
        settings_.deckkraft = v;
        DrawSample();
    });

    // Weight and attributes side by side.
    auto* styleRow = new QHBoxLayout;
    left->addLayout(styleRow);
    auto* weight = group("Schriftgewicht", this);
    auto* weightLayout = new QVBoxLayout(weight);
    auto* weights = new QButtonGroup(this);
    for (auto [value, caption] : {std::pair{700, "Fett"}, {400, "Normal"}, {300, "Dünn"}}) {
        auto* b = indexed<QRadioButton>("StempelTextWeight", value, QString::fromUtf8(caption), weight);
        weights->addButton(b, value);
        weightLayout->addWidget(b);
    }
    styleRow->addWidget(weight);
    connect(weights, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        settings_.gewicht = id;
        DrawSample();
    });

    auto* attributes = group("Schriftattribute", this);
    auto* attributeLayout = new QVBoxLayout(attributes);
    for (auto [name, caption, field] : {std::tuple{"StempelTextItalic", "Kursiv", &Settings::kursiv},
                                        {"StempelTextUnderline", "Unterstrichen", &Settings::unterstrichen},
                                        {"StempelTextStrikeout", "Durchgestrichen", &Settings::durchgestrichen}}) {
        auto* box = new QCheckBox(QString::fromUtf8(caption), attributes);
        box->setObjectName(QLatin1String(name));
        attributeLayout->addWidget(box);
        connect(box, &QCheckBox::clicked, this, [this, field = field](bool on) {
            settings_.*field = on ? 1 : 0;
            DrawSample();
        });
    }
    styleRow->addWidget(attributes);

    auto* alignment = group("Schriftausrichtung mehrerer Zeilen", this);
    auto* alignmentLayout = new QGridLayout(alignment);
    auto* alignments = new QButtonGroup(this);
    const char* alignCaptions[] = {"Automatisch entsprechend Textposition", "Links", "Zentriert", "Rechts"};
    for (int i = 0; i < 4; ++i) {
        auto* b = indexed<QRadioButton>("StempelTextAlignment", i, QString::fromUtf8(alignCaptions[i]), alignment);
        alignments->addButton(b, i);
        if (i == 0)
            alignmentLayout->addWidget(b, 0, 0, 1, 3);
        else
            alignmentLayout->addWidget(b, 1, i - 1);
    }
    left->addWidget(alignment);
    connect(alignments, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        settings_.ausrichtung = id;
        DrawSample();
    });

    // Frame and background of the text.
    auto* boxRow = new QHBoxLayout;
    left->addLayout(boxRow);
    auto* frame = group("Textrahmen", this, "FrameTextRahmen");
    auto* frameLayout = new QGridLayout(frame);
    auto* frameOn = new QCheckBox(QStringLiteral("erzeugen"), frame);
    frameOn->setObjectName(QStringLiteral("StempelTextRahmenErzeugen"));
    auto* frameColour = makeSwatch("StempelTextRahmenFarbe", frame);
    auto* frameButton = makeButton("StempelTextRahmenFarbeButton", QStringLiteral("..."), frame);
    frameLayout->addWidget(frameOn, 0, 0, 1, 3);
    frameLayout->addWidget(new QLabel(QStringLiteral("Farbe"), frame), 1, 0);
    frameLayout->addWidget(frameColour, 1, 1);
    frameLayout->addWidget(frameButton, 1, 2);
    frameLayout->setRowStretch(2, 1);
    frameLayout->setColumnStretch(3, 1);
    boxRow->addWidget(frame);
    connect(frameOn, &QCheckBox::clicked, this, [this](bool on) {
        settings_.rahmen = on ? 1 : 0;
        InitDialog();
    });
    connect(frameButton, &QPushButton::clicked, this, [this, frameColour] {
        chooseColour(frameColour, &Settings::rahmenfarbe, QStringLiteral("Rahmenfarbe des Textstempels"));
    });

    auto* back = group("Texthintergrund", this, "FrameTexthintergrund");
    auto* backLayout = new QGridLayout(back);
    auto* backOn = new QCheckBox(QString::fromUtf8("füllen"), back);
    backOn->setObjectName(QString::fromUtf8("StempelTextHGFüllen"));
    auto* backColour = makeSwatch("StempelTextHGFarbe", back);
    auto* backButton = makeButton("TextStempelHGFarbeButton", QStringLiteral("..."), back);
    QSlider* backOpacity = nullptr;
    QLabel* backPercent = nullptr;
    QWidget* backHolder = makePercentSlider("StempelTextHGDeckkraft", "StempelTextHGDeckkraftProzent", back,
                                            &backOpacity, &backPercent);
    backLayout->addWidget(backOn, 0, 0, 1, 3);
    backLayout->addWidget(new QLabel(QStringLiteral("Farbe"), back), 1, 0);
    backLayout->addWidget(backColour, 1, 1);
    backLayout->addWidget(backButton, 1, 2);
    backLayout->addWidget(new QLabel(QStringLiteral("Deckkraft"), back), 2, 0, Qt::AlignTop);
    backLayout->addWidget(backHolder, 2, 1, 1, 3);
    backLayout->setColumnStretch(3, 1);
    boxRow->addWidget(back, 1);
    connect(backOn, &QCheckBox::clicked, this, [this](bool on) {
        settings_.hintergrund = on ? 1 : 0;
        InitDialog();
    });
    connect(backButton, &QPushButton::clicked, this, [this, backColour] {
        chooseColour(backColour, &Settings::hintergrundfarbe, QStringLiteral("Hintergrundfarbe des Textstempels"));
    });
    connect(backOpacity, &QSlider::valueChanged, this, [this, backOpacity, backPercent](int v) {
        ShowPercent(backOpacity, backPercent);
        settings_.hintergrunddeckkraft = v;
        DrawSample();
    });
    left->addStretch(1);

    // The sample inside the four direction buttons.
    auto* direction = group("Textrichtung", this);
    auto* directionLayout = new QGridLayout(direction);
    auto* source = new QLabel(this);
    source->setObjectName(QStringLiteral("TextBeispielImageQuelle"));
    source->setPixmap(QPixmap::fromImage(samplePhotograph()));
    source->setVisible(false);
    auto* shown = new QLabel(direction);
    shown->setObjectName(QStringLiteral("TextBeispielImage"));
    shown->setFixedSize(320, 240);
    shown->setFrameShape(QFrame::NoFrame);
    auto* directions = new QButtonGroup(this);
    const int cells[4][2] = {{1, 0}, {0, 1}, {1, 2}, {2, 1}}; // left, top, right, bottom
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(direction);
        b->setObjectName(QStringLiteral("StempelTextDirection"));
        b->setProperty("index", i);
        b->setCheckable(true);
        b->setIcon(directionIcon(i));
        b->setIconSize(QSize(24, 24));
        b->setAutoRaise(false);
        directions->addButton(b, i);
        directionLayout->addWidget(b, cells[i][0], cells[i][1], Qt::AlignCenter);
    }
    directionLayout->addWidget(shown, 1, 1);
    right->addWidget(direction);
    connect(directions, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        settings_.richtung = id;
        DrawSample();
    });

    auto* placeRow = new QHBoxLayout;
    right->addLayout(placeRow);
    auto* position = group("Textposition", this);
    auto* positionLayout = new QGridLayout(position);
    positionLayout->setSpacing(4);
    for (int i = 1; i <= 9; ++i)
        positionLayout->addWidget(new PositionBox(i, [this](int index) { positionClicked(index); }, position),
                                  (i - 1) / 3, (i - 1) % 3);
    placeRow->addWidget(position);

    auto* offset = group("Offset", this);
    auto* offsetLayout = new QGridLayout(offset);
    auto* offsetX = new QLineEdit(offset);
    offsetX->setObjectName(QStringLiteral("StempelTextOffsetX"));
    auto* offsetY = new QLineEdit(offset);
    offsetY->setObjectName(QStringLiteral("StempelTextOffsetY"));
    for (QLineEdit* box : {offsetX, offsetY})
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("-00000")) + 12);
    offsetLayout->addWidget(new QLabel(QStringLiteral("X"), offset), 0, 0);
    offsetLayout->addWidget(offsetX, 0, 1);
    offsetLayout->addWidget(new QLabel(QStringLiteral("Y"), offset), 1, 0);
    offsetLayout->addWidget(offsetY, 1, 1);
    offsetLayout->addWidget(new QLabel(QStringLiteral("Pixel"), offset), 0, 2);
    offsetLayout->addWidget(new QLabel(QStringLiteral("Pixel"), offset), 1, 2);
    offsetLayout->setRowStretch(2, 1);
    offsetLayout->setColumnStretch(3, 1);
    placeRow->addWidget(offset, 1);
    connect(offsetX, &QLineEdit::textEdited, this, [this, offsetX] {
        numberEdited(offsetX, -500, 500, &Settings::offsetx, QString::fromUtf8(kOffsetXMessage));
    });
    connect(offsetY, &QLineEdit::textEdited, this, [this, offsetY] {
        numberEdited(offsetY, -500, 500, &Settings::offsety, QString::fromUtf8(kOffsetYMessage));
    });
    right->addStretch(1);

    // The percentage labels follow their sliders whenever these move or resize.
    for (auto [slider, label] : {std::pair{opacity, opacityPercent}, {backOpacity, backPercent}}) {
        slider->installEventFilter(this);
        slider->setProperty("percentLabel", QVariant::fromValue(static_cast<QObject*>(label)));
    }
}

void Textstempel::fillFontList()
{
    auto* fonts = findChild<QComboBox*>(QStringLiteral("StempelTextSchrift"));
    std::vector<FontFace> faces = choosers_.fontFaces ? choosers_.fontFaces() : std::vector<FontFace>{};
    std::vector<FontFace> unique;
    for (FontFace& f : faces) {
        const qsizetype nul = f.name.indexOf(QChar(u'\0'));
        const QString name = nul < 0 ? f.name : f.name.left(nul);
        if (name.isEmpty()) continue;
        if (std::any_of(unique.begin(), unique.end(), [&](const FontFace& u) { return u.name == name; })) continue;
        unique.push_back({name, f.scalable});
    }
    // By the lower-cased name, compared by code unit.
    std::stable_sort(unique.begin(), unique.end(),
                     [](const FontFace& a, const FontFace& b) { return a.name.toLower() < b.name.toLower(); });
    for (const FontFace& f : unique)
        fonts->addItem(fontKindIcon(f.scalable), f.name, f.name);
    if (fonts->count() > 0) fonts->setCurrentIndex(0);
}

void Textstempel::InitDialog()
{
    initialising_ = true;
    const Settings& s = settings_;
    findChild<QLineEdit*>(QStringLiteral("StempelText"))->setText(s.text);
    auto* fonts = findChild<QComboBox*>(QStringLiteral("StempelTextSchrift"));
    int font = fonts->findData(s.schriftart);
    // A face that is not installed (Arial on most Linux systems) is drawn in
    // the font system's stand-in: show that one, leaving the stored name.
    if (font < 0) font = fonts->findData(QFontInfo(QFont(QStringList{s.schriftart})).family());
    if (font >= 0) fonts->setCurrentIndex(font);
    findChild<QLineEdit*>(QString::fromUtf8("StempelTextHöhe"))->setText(QString::number(s.hoehe));
    findChild<QLineEdit*>(QStringLiteral("StempelTextOffsetX"))->setText(QString::number(s.offsetx));
    findChild<QLineEdit*>(QStringLiteral("StempelTextOffsetY"))->setText(QString::number(s.offsety));
    setSwatch(findChild<QLabel*>(QStringLiteral("StempelTextFarbe")), s.farbe);

    auto check = [this](const char* name, int index) {
        for (QAbstractButton* b : findChildren<QAbstractButton*>(QLatin1String(name)))
            if (b->property("index").toInt() == index) b->setChecked(true);
    };
    check("StempelTextDirection", s.richtung);
    check("StempelTextAlignment", s.ausrichtung);
    check("StempelTextWeight", s.gewicht);
    findChild<QCheckBox*>(QStringLiteral("StempelTextItalic"))->setChecked(s.kursiv == 1);
    findChild<QCheckBox*>(QStringLiteral("StempelTextUnderline"))->setChecked(s.unterstrichen == 1);
    findChild<QCheckBox*>(QStringLiteral("StempelTextStrikeout"))->setChecked(s.durchgestrichen == 1);
    auto* opacity = findChild<QSlider*>(QStringLiteral("StempelTextDeckkraft"));
    opacity->setValue(s.deckkraft);
    ShowPercent(opacity, findChild<QLabel*>(QStringLiteral("StempelTextDeckkraftProzent")));

    for (int i = 1; i <= 9; ++i) markPosition(i, i == s.position);

    findChild<QCheckBox*>(QStringLiteral("StempelTextRahmenErzeugen"))->setChecked(s.rahmen == 1);
    setSwatch(findChild<QLabel*>(QStringLiteral("StempelTextRahmenFarbe")), s.rahmenfarbe);
    findChild<QCheckBox*>(QString::fromUtf8("StempelTextHGFüllen"))->setChecked(s.hintergrund == 1);
    auto* backOpacity = findChild<QSlider*>(QStringLiteral("StempelTextHGDeckkraft"));
    backOpacity->setValue(s.hintergrunddeckkraft);
    ShowPercent(backOpacity, findChild<QLabel*>(QStringLiteral("StempelTextHGDeckkraftProzent")));
    setSwatch(findChild<QLabel*>(QStringLiteral("StempelTextHGFarbe")), s.hintergrundfarbe);

    // Only the check box of a switched-off frame or background stays usable.
    EnableChildControls(findChild<QWidget*>(QStringLiteral("FrameTextRahmen")), s.rahmen == 1);
    findChild<QWidget*>(QStringLiteral("StempelTextRahmenErzeugen"))->setEnabled(true);
    EnableChildControls(findChild<QWidget*>(QStringLiteral("FrameTexthintergrund")), s.hintergrund == 1);
    findChild<QWidget*>(QString::fromUtf8("StempelTextHGFüllen"))->setEnabled(true);

    initialising_ = false;
    DrawSample();
}

void Textstempel::DrawSample()
{
    if (initialising_) return;
    auto* source = findChild<QLabel*>(QStringLiteral("TextBeispielImageQuelle"));
    auto* shown = findChild<QLabel*>(QStringLiteral("TextBeispielImage"));
    const RgbImage b = toRgb(source->pixmap().toImage());
    RgbImage s;
    if (b.empty() || !s.allocate(shown->width(), shown->height()) || !ResizeImage(b, s)) return;
    if (!settings_.text.isEmpty() && drawStamp) drawStamp(s, settings_);
    sample_ = toImage(s);
    shown->setPixmap(QPixmap::fromImage(sample_));
}

bool Textstempel::CheckNumberField(QLineEdit* box, int minimum, int maximum, std::int32_t previous,
                                   const QString& message)
{
    bool ok = false;
    long long v = box->text().trimmed().toLongLong(&ok);
    if (!ok) v = minimum - 1;
    if (v >= minimum && v <= maximum) return true;
    box->setText(QString::number(previous));
    if (choosers_.message) choosers_.message(this, MessageIcon::Exclamation, QLatin1String(kApplicationTitle), message);
    return false;
}

void Textstempel::numberEdited(QLineEdit* box, int minimum, int maximum, std::int32_t Settings::*setting,
                               const QString& message)
{
    CheckNumberField(box, minimum, maximum, settings_.*setting, message);
    bool ok = false;
    const int v = box->text().trimmed().toInt(&ok);
    if (ok) settings_.*setting = v;
    DrawSample();
}

void Textstempel::ShowPercent(QSlider* slider, QLabel* label)
{
    label->setText(QString::number(slider->value()) + u'%');
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = slider->sliderPosition();
    opt.sliderValue = slider->value();
    opt.tickPosition = slider->tickPosition();
    opt.tickInterval = slider->tickInterval();
    const QRect thumb = slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
    const int centre = slider->x() + thumb.center().x();
    const int room = label->parentWidget()->width() - label->width();
    label->move(std::clamp(centre - label->width() / 2, 0, std::max(0, room)), slider->geometry().bottom() + 1);
}

bool Textstempel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show) {
        auto* slider = qobject_cast<QSlider*>(watched);
        auto* label = slider ? qobject_cast<QLabel*>(slider->property("percentLabel").value<QObject*>()) : nullptr;
        if (label) ShowPercent(slider, label);
    }
    return QDialog::eventFilter(watched, event);
}

void Textstempel::markPosition(int index, bool marked)
{
    for (QWidget* box : findChildren<QWidget*>(QStringLiteral("StempelTextPosition"))) {
        if (box->property("index").toInt() != index) continue;
        box->setProperty("tag", marked ? QStringLiteral("True") : QStringLiteral("False"));
        QPalette pal = box->palette();
        pal.setColor(QPalette::Window, QColor(marked ? kMarked : kUnmarked));
        box->setPalette(pal);
    }
}

void Textstempel::positionClicked(int index)
{
    if (settings_.position == 0) {
        markPosition(index, true);
        settings_.position = index;
    } else if (settings_.position != index) {
        markPosition(settings_.position, false);
        markPosition(index, true);
        settings_.position = index;
    } else {
        markPosition(index, false);
        settings_.position = 0;
    }
    DrawSample();
}

void Textstempel::chooseColour(QLabel* swatch, std::int32_t Settings::*setting, const QString& title)
{
    if (!choosers_.chooseColour) return;
    const std::int32_t chosen = choosers_.chooseColour(this, title, swatchColour(swatch));
    if (chosen < 0 || chosen == swatchColour(swatch)) return;
    setSwatch(swatch, chosen);
    settings_.*setting = chosen;
    DrawSample();
}

} // namespace vm
