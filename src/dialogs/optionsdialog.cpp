#include "dialogs/optionsdialog.h"

#include "dialogs/effecttree.h"
#include "dialogs/infodialog.h"
#include "dialogs/stampdialog.h"
#include "pictures/picturelist.h"
#include "platform/paths.h"
#include "platform/qttarget.h"
#include "platform/registry.h"
#include "settings/settings.h"
#include "start/shutdown.h"
#include "start/slideshow.h"
#include "state/runstate.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vm {

namespace {

constexpr int kPreviewWidth = 288;
constexpr int kPreviewHeight = 216;
// Picture1 sits this far inside the bezel, on every side.
constexpr int kBezel = 18;

constexpr Qt::CaseSensitivity kPathCase = platformPathsIgnoreCase() ? Qt::CaseInsensitive : Qt::CaseSensitive;

// The monitor around the preview (Image1).
class Bezel : public QWidget {
public:
    explicit Bezel(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("Image1"));
        setFixedSize(kPreviewWidth + 2 * kBezel, kPreviewHeight + 2 * kBezel);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient shade(0, 0, 0, height());
        shade.setColorAt(0, QColor(92, 94, 104));
        shade.setColorAt(1, QColor(48, 50, 58));
        p.setPen(QPen(QColor(30, 30, 36), 1));
        p.setBrush(shade);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
        p.setPen(QPen(QColor(20, 20, 24), 2));
        p.setBrush(Qt::black);
        p.drawRect(QRectF(kBezel - 1, kBezel - 1, kPreviewWidth + 2, kPreviewHeight + 2));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 220, 110));
        p.drawEllipse(QPointF(width() - kBezel, height() - kBezel / 2.0), 2.2, 2.2);
    }
};

// The monitor's stand (the Picture2 pieces): 0 the neck, 1 the foot.
class StandPiece : public QWidget {
public:
    StandPiece(int index, QWidget* parent) : QWidget(parent), index_(index)
    {
        setObjectName(QStringLiteral("Picture2"));
        setProperty("index", index);
        if (index == 0)
            setFixedSize(60, 16);
        else
            setFixedSize(150, 10);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(30, 30, 36), 1));
        QLinearGradient shade(0, 0, width(), 0);
        shade.setColorAt(0, QColor(60, 62, 70));
        shade.setColorAt(0.5, QColor(100, 102, 112));
        shade.setColorAt(1, QColor(60, 62, 70));
        p.setBrush(shade);
        QPainterPath shape;
        if (index_ == 0) {
            shape.moveTo(12, 0);
            shape.lineTo(width() - 12, 0);
            shape.lineTo(width() - 4, height());
            shape.lineTo(4, height());
        } else {
            shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        }
        shape.closeSubpath();
        p.drawPath(shape);
    }

private:
    int index_;
};

// The folder list asks for no more width than the groups below it, so the
// dialog fits a 1024x768 screen; it grows with the dialog.
class FolderList : public QListWidget {
public:
    using QListWidget::QListWidget;
    QSize sizeHint() const override { return {160, QListWidget::sizeHint().height()}; }
};

QIcon folderIcon(bool add)
{
    QImage img(20, 20, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 110, 30), 1));
    p.setBrush(QColor(235, 190, 90));
    QPainterPath tab;
    tab.moveTo(1.5, 4.5);
    tab.lineTo(7, 4.5);
    tab.lineTo(8.5, 6.5);
    tab.lineTo(16.5, 6.5);
    tab.lineTo(16.5, 16.5);
    tab.lineTo(1.5, 16.5);
    tab.closeSubpath();
    p.drawPath(tab);
    p.setBrush(QColor(248, 212, 120));
    p.drawRect(QRectF(1.5, 8.5, 15, 8));
    const QColor badge = add ? QColor(40, 150, 60) : QColor(200, 50, 40);
    p.setPen(Qt::NoPen);
    p.setBrush(badge);
    p.drawEllipse(QRectF(10, 10, 9.5, 9.5));
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12.3, 14.75), QPointF(17.2, 14.75));
    if (add) p.drawLine(QPointF(14.75, 12.3), QPointF(14.75, 17.2));
    return QIcon(QPixmap::fromImage(img));
}

QPixmap colourSwatch(std::int32_t colour)
{
    QPixmap pm(24, 14);
    pm.fill(QColor(colour & 0xff, (colour >> 8) & 0xff, (colour >> 16) & 0xff));
    QPainter p(&pm);
    p.setPen(QColor(60, 60, 60));
    p.drawRect(0, 0, pm.width() - 1, pm.height() - 1);
    return pm;
}

template <class W>
W* named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

QString utf8(const char* s) { return QString::fromUtf8(s); }

} // namespace

Einstellungen::Einstellungen(RunState& state, Registry& registry, Choosers c, QWidget* parent)
    : QDialog(parent), choosers(std::move(c)),
      buildPictureList([](RunState& s) { BuildPictureList(s); }),
      sortPictureList([](RunState& s) { SortPictureList(s.pictureList, s.settings.reihenfolge, s.random); }),
      shutdown([](RunState& s, Registry& r, const QString& key, const QString& message) {
          Shutdown(s, r, key, message);
      }),
      state_(state), registry_(registry)
{
    setObjectName(QStringLiteral("Einstellungen"));
    setWindowTitle(QStringLiteral("Velmirano - Optionen"));
    buildControls();
    slideshow_ = std::make_unique<Slideshow>(state_, registry_, *preview_, [this] {
        tickEnded_ = true;
        close();
    });
    slideshow_->Timer1.stop();
    slideshow_->Timer1.setInterval(1);
}

Einstellungen::~Einstellungen() = default;

QTimer& Einstellungen::Timer1() { return slideshow_->Timer1; }

void Einstellungen::startPreview() { slideshow_->start(); }

void Einstellungen::buildControls()
{
    auto* columns = new QHBoxLayout;
    auto* main = new QVBoxLayout(this);
    main->addLayout(columns, 1);

    // Left column: where the pictures come from and which ones.
    auto* left = new QVBoxLayout;
    columns->addLayout(left, 5);

    auto* folderGroup = named(new QGroupBox(QStringLiteral("Bildverzeichnisse"), this), QStringLiteral("Picture3"));
    auto* folderLayout = new QGridLayout(folderGroup);
    folders_ = named(new FolderList(folderGroup), QStringLiteral("Bildpfadliste"));
    folders_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    folders_->setAcceptDrops(true);
    folders_->viewport()->setAcceptDrops(true);
    folders_->setTextElideMode(Qt::ElideMiddle);
    folders_->installEventFilter(this);
    folders_->viewport()->installEventFilter(this);
    auto* add = named(new QToolButton(folderGroup), utf8("Hinzufügen"));
    add->setIcon(folderIcon(true));
    add->setIconSize(QSize(20, 20));
    auto* remove = named(new QToolButton(folderGroup), QStringLiteral("Entfernen"));
    remove->setIcon(folderIcon(false));
    remove->setIconSize(QSize(20, 20));
    auto* folderButtons = new QVBoxLayout;
    folderButtons->addWidget(add);
    folderButtons->addWidget(remove);
    folderButtons->addStretch(1);
    folderLayout->addWidget(folders_, 0, 0);
    folderLayout->addLayout(folderButtons, 0, 1);
    auto* recursive = named(new QCheckBox(QStringLiteral("inkl. Unterverzeichnisse"), folderGroup),
                            QStringLiteral("UnterverzeichnisseEinbeziehen"));
    auto* count = named(new QLabel(QStringLiteral("Anzahl Bilder: 0"), folderGroup), QStringLiteral("Bilderanzahl"));
    folderLayout->addWidget(recursive, 1, 0, 1, 2);
    folderLayout->addWidget(count, 2, 0, 1, 2, Qt::AlignRight);
    left->addWidget(folderGroup, 1);
    connect(add, &QToolButton::clicked, this, [this] { addFolder(lastFolder_); });
    connect(remove, &QToolButton::clicked, this, [this] { removeSelectedFolders(); });
    connect(recursive, &QCheckBox::toggled, this, [this](bool on) {
        state_.settings.recursive = on ? 1 : 0;
        RefreshPictureList();
    });

    auto* kinds = new QHBoxLayout;
    left->addLayout(kinds);
    auto* order = named(new QGroupBox(QStringLiteral("Sortierung"), this), QStringLiteral("Frame1"));
    auto* orderLayout = new QVBoxLayout(order);
    auto* orders = new QButtonGroup(this);
    for (auto [index, caption] : {std::pair{0, "ohne"}, {1, "nach Name"}, {2, "nach Datum"}, {5, "zufällig"}}) {
        auto* b = named(new QRadioButton(utf8(caption), order), QStringLiteral("SortierungArt"));
        b->setProperty("index", index);
        orders->addButton(b, index);
        orderLayout->addWidget(b);
    }
    orderLayout->addStretch(1);
    kinds->addWidget(order);
    connect(orders, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on) return;
        state_.settings.reihenfolge = id;
        if (state_.PictureCount() > 0 && sortPictureList) sortPictureList(state_);
    });

    auto* types = named(new QGroupBox(QStringLiteral("Bildtypen"), this), QStringLiteral("Frame2"));
    auto* typeLayout = new QGridLayout(types);
    int cell = 0;
    // Two columns of five keep the group as narrow as the order group
    // beside it, so the dialog still fits a 1024x768 screen.
    struct FileType {
        const char* name; // also the check box's object name
        const char* caption;
        std::int32_t Settings::*field;
    };
    for (const FileType& t : {FileType{"JPG", "JPG", &Settings::jpg}, FileType{"BMP", "BMP", &Settings::bmp},
                              FileType{"PCX", "PCX", &Settings::pcx}, FileType{"PNG", "PNG", &Settings::png},
                              FileType{"TIF", "TIF", &Settings::tif}, FileType{"GIF", "GIF", &Settings::gif},
                              FileType{"HEIC", "HEIC/HEIF", &Settings::heic},
                              FileType{"AVIF", "AVIF", &Settings::avif}, FileType{"WEBP", "WebP", &Settings::webp},
                              FileType{"JXL", "JPEG XL", &Settings::jxl}}) {
        auto* box = named(new QCheckBox(QLatin1String(t.caption), types), QLatin1String(t.name));
        box->setToolTip(QLatin1String(t.caption) + QStringLiteral("-Bilder finden"));
        typeLayout->addWidget(box, cell % 5, cell / 5);
        ++cell;
        connect(box, &QCheckBox::toggled, this,
                [this, field = t.field](bool on) { fileTypeToggled(state_.settings.*field, on); });
    }
    typeLayout->setRowStretch(5, 1);
    kinds->addWidget(types, 1);

    // Middle column: the live preview and how each picture is shown.
    auto* middle = new QVBoxLayout;
    columns->addLayout(middle, 0);
    auto* monitor = new QVBoxLayout;
    monitor->setSpacing(0);
    auto* bezel = new Bezel(this);
    preview_ = named(new PictureBox(bezel), QStringLiteral("Picture1"));
    preview_->setFixedSize(kPreviewWidth, kPreviewHeight);
    preview_->move(kBezel, kBezel);
    preview_->setFocusPolicy(Qt::NoFocus);
    monitor->addWidget(bezel, 0, Qt::AlignHCenter);
    monitor->addWidget(new StandPiece(0, this), 0, Qt::AlignHCenter);
    monitor->addWidget(new StandPiece(1, this), 0, Qt::AlignHCenter);
    middle->addLayout(monitor);

    auto* show = named(new QGroupBox(QStringLiteral("Anzeige"), this), QStringLiteral("Picture4"));
    auto* showLayout = new QGridLayout(show);
    delay_ = named(new QLineEdit(show), QStringLiteral("delay"));
    tdauer_ = named(new QLineEdit(show), utf8("Überblendzeit"));
    for (QLineEdit* box : {delay_, tdauer_}) {
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 14);
        box->setAlignment(Qt::AlignRight);
        box->installEventFilter(this);
    }
    showLayout->addWidget(delay_, 0, 0);
    showLayout->addWidget(new QLabel(QStringLiteral("Sekunden Bildanzeige"), show), 0, 1);
    showLayout->addWidget(tdauer_, 1, 0);
    showLayout->addWidget(new QLabel(QStringLiteral("Sekunden Effektdauer"), show), 1, 1);
    auto* expand = named(new QCheckBox(utf8("an Bildschirm anpassen"), show), utf8("Bild_vergrößern"));
    expand->setToolTip(utf8("vergrößern auf Bildschirmgröße erlauben"));
    auto* exif = named(new QCheckBox(QStringLiteral("drehen laut EXIF"), show), QStringLiteral("ExifDrehen"));
    // Below the durations, so the column is no wider than the monitor and
    // the dialog fits a 1024x768 screen.
    showLayout->addWidget(expand, 2, 0, 1, 2);
    showLayout->addWidget(exif, 3, 0, 1, 2);
    // Item index = the stored value of `bildschirme`.
    showLayout->addWidget(new QLabel(QStringLiteral("Mehrere Bildschirme"), show), 4, 0, 1, 2);
    auto* monitors = named(new QComboBox(show), QStringLiteral("Bildschirme"));
    monitors->addItems({QStringLiteral("Eigene Bilder je Bildschirm"), QStringLiteral("Dasselbe Bild auf allen"),
                        QStringLiteral("Nur Hauptbildschirm")});
    showLayout->addWidget(monitors, 5, 0, 1, 2);
    connect(monitors, &QComboBox::currentIndexChanged, this,
            [this](int index) { state_.settings.bildschirme = std::clamp(index, 0, 2); });
    showLayout->setColumnStretch(1, 1);
    middle->addWidget(show);
    connect(expand, &QCheckBox::toggled, this, [this](bool on) { state_.settings.expand = on ? 1 : 0; });
    connect(exif, &QCheckBox::toggled, this, [this](bool on) { state_.settings.exifrotate = on ? 1 : 0; });

    auto* background = named(new QGroupBox(QStringLiteral("Hintergrund"), this), QStringLiteral("Frame3"));
    auto* backgroundLayout = new QGridLayout(background);
    auto* desktop = named(new QRadioButton(QStringLiteral("Desktop-Kopie"), background), QStringLiteral("mitDesktop"));
    auto* matching = named(new QRadioButton(QStringLiteral("zum Bild passende Farbe"), background),
                           QStringLiteral("passendeFarbe"));
    auto* free = named(new QRadioButton(QStringLiteral("Farbe"), background), QStringLiteral("freieFarbe"));
    auto* colourButton = named(new QPushButton(QStringLiteral("Farbwahl ..."), background),
                               QStringLiteral("FarbwahlButton"));
    colourButton->setToolTip(QStringLiteral("Festlegung des Bildschirmhintergrundes"));
    colourButton->setAutoDefault(false);
    backgroundLayout->addWidget(desktop, 0, 0, 1, 2);
    backgroundLayout->addWidget(matching, 1, 0, 1, 2);
    backgroundLayout->addWidget(free, 2, 0);
    backgroundLayout->addWidget(colourButton, 2, 1, Qt::AlignLeft);
    backgroundLayout->setColumnStretch(1, 1);
    middle->addWidget(background);
    middle->addStretch(1);
    connect(desktop, &QRadioButton::toggled, this, [this, colourButton](bool on) {
        if (!on) return;
        state_.settings.desktop = 1;
        state_.settings.passende_farbe = 0;
        colourButton->setEnabled(false);
    });
    connect(matching, &QRadioButton::toggled, this, [this, colourButton](bool on) {
        if (!on) return;
        state_.settings.passende_farbe = 1;
        state_.settings.desktop = 0;
        colourButton->setEnabled(false);
    });
    connect(free, &QRadioButton::toggled, this, [this, colourButton](bool on) {
        if (!on) return;
        state_.settings.desktop = 0;
        state_.settings.passende_farbe = 0;
        colourButton->setEnabled(true);
    });
    connect(colourButton, &QPushButton::clicked, this, [this] { chooseBackgroundColour(); });

    // Right column: which effects and how they are chosen.
    auto* effects = named(new QGroupBox(QStringLiteral("Effektangaben"), this), QStringLiteral("Frame4"));
    auto* effectLayout = new QVBoxLayout(effects);
    auto* modes = new QHBoxLayout;
    auto* single = named(new QRadioButton(QStringLiteral("Einzeleffekt"), effects), QStringLiteral("BlendeEinzel"));
    auto* sequence = named(new QRadioButton(QStringLiteral("Effektfolge"), effects), QStringLiteral("BlendeFolge"));
    sequence->setToolTip(QStringLiteral("Effektfolge durchlaufend"));
    auto* random = named(new QRadioButton(QStringLiteral("Zufallseffekt"), effects), QStringLiteral("BlendeZufall"));
    random->setToolTip(utf8("Effektfolge zufällig"));
    modes->addWidget(single);
    modes->addWidget(sequence);
    modes->addWidget(random);
    modes->addStretch(1);
    effectLayout->addLayout(modes);
    tree_ = new EffectTree(state_, effects);
    // Wide enough for the longest effect name below its root and group,
    // with its check box and the scroll bar.
    tree_->setMinimumSize(tree_->fontMetrics().horizontalAdvance(utf8("Memory von aussen (unterführen)")) +
                              3 * tree_->indentation() + 16 + 36,
                          340);
    tree_->refuse = [this](const QString& text) {
        if (choosers.message) choosers.message(this, MessageIcon::Exclamation, QLatin1String(kApplicationTitle), text);
    };
    effectLayout->addWidget(tree_, 1);
    auto* track = named(new QCheckBox(QStringLiteral("Effekte verfolgen"), effects), QStringLiteral("effekte_tracken"));
    track->setToolTip(QStringLiteral("aktuellen Effekt im Effektbaum anzeigen"));
    effectLayout->addWidget(track);
    columns->addWidget(effects, 4);
    int mode = 1;
    for (QRadioButton* b : {single, sequence, random}) {
        connect(b, &QRadioButton::toggled, this, [this, mode](bool on) {
            if (!on) return;
            state_.settings.effekt_nutzung = mode;
            effektbaum_erstellen();
        });
        ++mode;
    }
    connect(track, &QCheckBox::toggled, this, [this](bool on) { state_.settings.effekt_tracken = on ? 1 : 0; });

    // Bottom row: the text stamp, the info box and the two ways out.
    auto* bottom = named(new QWidget(this), QStringLiteral("Picture5"));
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 4, 0, 0);
    auto* stampOn = named(new QCheckBox(bottom), QStringLiteral("mitTextstempel"));
    auto* stampButton = named(new QPushButton(utf8("Textstempel einfügen ..."), bottom),
                              QStringLiteral("TextstempelButton"));
    stampButton->setToolTip(QStringLiteral("Textstempel festlegen"));
    stampButton->setAutoDefault(false);
    stampButton->setEnabled(false);
    auto* info = named(new QPushButton(QStringLiteral("Info"), bottom), QStringLiteral("Info"));
    info->setToolTip(QStringLiteral("Programminfo"));
    info->setAutoDefault(false);
    auto* ok = named(new QPushButton(QStringLiteral("OK"), bottom), QStringLiteral("ok"));
    ok->setToolTip(utf8("Einstellungen übernehmen"));
    ok->setDefault(true);
    auto* cancel = named(new QPushButton(QStringLiteral("Abbrechen"), bottom), QStringLiteral("abbrechen"));
    cancel->setToolTip(QStringLiteral("Einstellungen verwerfen"));
    cancel->setAutoDefault(false);
    bottomLayout->addWidget(stampOn);
    bottomLayout->addWidget(stampButton);
    bottomLayout->addSpacing(12);
    bottomLayout->addWidget(info);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(ok);
    bottomLayout->addWidget(cancel);
    main->addWidget(bottom);
    connect(stampOn, &QCheckBox::toggled, this, [this, stampButton](bool on) {
        state_.settings.ausgeben = on ? 1 : 0;
        stampButton->setEnabled(on);
    });
    connect(stampButton, &QPushButton::clicked, this, [this] { openTextStamp(); });
    connect(info, &QPushButton::clicked, this, [this] { openInfo(); });
    connect(ok, &QPushButton::clicked, this, [this] {
        save();
        close();
    });
    connect(cancel, &QPushButton::clicked, this, [this] { close(); });
}

void Einstellungen::fill()
{
    filling_ = true;
    const Settings s = state_.settings; // the handlers change the live record as they run
    auto box = [this](const QString& name) { return findChild<QAbstractButton*>(name); };

    refillFolderList();
    tree_->buildNodes();
    box(QStringLiteral("UnterverzeichnisseEinbeziehen"))->setChecked(s.recursive == 1);
    delay_->setText(QString::number(s.delay));
    for (QAbstractButton* b : findChildren<QAbstractButton*>(QStringLiteral("SortierungArt")))
        if (b->property("index").toInt() == s.reihenfolge) b->setChecked(true);
    box(utf8("Bild_vergrößern"))->setChecked(s.expand == 1);
    box(QStringLiteral("ExifDrehen"))->setChecked(s.exifrotate == 1);
    if (s.desktop == 1)
        box(QStringLiteral("mitDesktop"))->setChecked(true);
    else if (s.passende_farbe == 1)
        box(QStringLiteral("passendeFarbe"))->setChecked(true);
    else
        box(QStringLiteral("freieFarbe"))->setChecked(true);
    tdauer_->setText(QString::number(s.tdauer));
    findChild<QComboBox*>(QStringLiteral("Bildschirme"))->setCurrentIndex(s.bildschirme);
    box(QStringLiteral("effekte_tracken"))->setChecked(s.effekt_tracken == 1);
    if (s.effekt_nutzung == 1) box(QStringLiteral("BlendeEinzel"))->setChecked(true);
    if (s.effekt_nutzung == 2) box(QStringLiteral("BlendeFolge"))->setChecked(true);
    if (s.effekt_nutzung == 3) box(QStringLiteral("BlendeZufall"))->setChecked(true);
    box(QStringLiteral("JPG"))->setChecked(s.jpg == 1);
    box(QStringLiteral("BMP"))->setChecked(s.bmp == 1);
    box(QStringLiteral("PNG"))->setChecked(s.png == 1);
    box(QStringLiteral("TIF"))->setChecked(s.tif == 1);
    box(QStringLiteral("PCX"))->setChecked(s.pcx == 1);
    box(QStringLiteral("GIF"))->setChecked(s.gif == 1);
    box(QStringLiteral("HEIC"))->setChecked(s.heic == 1);
    box(QStringLiteral("AVIF"))->setChecked(s.avif == 1);
    box(QStringLiteral("WEBP"))->setChecked(s.webp == 1);
    box(QStringLiteral("JXL"))->setChecked(s.jxl == 1);
    box(QStringLiteral("mitTextstempel"))->setChecked(s.ausgeben == 1);
    showColour();

    // The handlers asked for the picture list; build it once for all of them.
    filling_ = false;
    if (refreshWanted_) {
        refreshWanted_ = false;
        RefreshPictureList();
    }
    state_.CurrentPictureIndex = state_.settings.letztes_bild;
}

std::unique_ptr<Einstellungen> openEinstellungen(RunState& state, Registry& registry)
{
    auto dialog = std::make_unique<Einstellungen>(state, registry);
    dialog->fill();
    EffectTree& tree = dialog->tree();
    const std::vector<int> order = tree.displayOrder();
    state.effektbaum.displayOrder.assign(order.begin(), order.end());
    state.effektbaum.mark = [&tree](std::int32_t previous, std::int32_t current, bool track) {
        tree.markRunning(previous, current, track);
    };
    dialog->show();
    dialog->startPreview();
    return dialog;
}

void Einstellungen::effektbaum_erstellen() { tree_->effektbaum_erstellen(); }

void Einstellungen::interrupted(const std::function<void()>& change)
{
    const bool wasEnabled = slideshow_->timerEnabled();
    slideshow_->disableTimer();
    change();
    if (wasEnabled) {
        // No tick running: the next one comes at once.
        slideshow_->Timer1.setInterval(1);
        slideshow_->enableTimer();
    } else if (slideshow_->tickRunning()) {
        // We are inside a transition: end it early; the tick then re-arms at once.
        state_.unterbrechung = true;
    }
}

void Einstellungen::RefreshPictureList()
{
    if (filling_) {
        refreshWanted_ = true;
        return;
    }
    interrupted([this] {
        state_.Folders.clear();
        for (int i = 0; i < folders_->count(); ++i) state_.Folders.append(folders_->item(i)->text());
        if (buildPictureList) buildPictureList(state_);
        findChild<QLabel*>(QStringLiteral("Bilderanzahl"))
            ->setText(QStringLiteral("Anzahl Bilder: ") + QString::number(state_.PictureCount()));
        if (state_.PictureCount() == 0) preview_->clearTo(0);
    });
}

void Einstellungen::refillFolderList()
{
    folders_->clear();
    folders_->addItems(state_.Folders);
}

void Einstellungen::addFolder(const QString& startFolder)
{
    if (!choosers.chooseFolder) return;
    QString chosen = choosers.chooseFolder(this, startFolder, utf8("Bitte Verzeichnis mit Bildern auswählen"),
                                           QStringLiteral("Verzeichniswahl"));
    if (chosen.isEmpty()) return;
    lastFolder_ = chosen;
    if (!chosen.endsWith(u'/')) chosen += u'/';
    if (state_.Folders.contains(chosen, kPathCase)) {
        state_.CurrentPictureIndex = 0;
        return;
    }
    folders_->addItem(chosen);
    RefreshPictureList();
    refillFolderList();
    state_.CurrentPictureIndex = 0;
}

void Einstellungen::removeSelectedFolders()
{
    for (int i = folders_->count() - 1; i >= 0; --i)
        if (folders_->item(i)->isSelected()) delete folders_->takeItem(i);
    RefreshPictureList();
    refillFolderList();
    RefreshPictureList();
}

void Einstellungen::checkDuration(QLineEdit* box, std::int32_t& setting)
{
    bool ok = false;
    int v = box->text().trimmed().toInt(&ok);
    if (!ok) v = 0;
    if (v < 1 || v > 60) {
        if (choosers.message)
            choosers.message(this, MessageIcon::Information, QLatin1String(kApplicationTitle), utf8(kDurationMessage));
        box->setText(QStringLiteral("1"));
        v = 1;
    }
    setting = v;
}

void Einstellungen::fileTypeToggled(std::int32_t& setting, bool on)
{
    setting = on ? 1 : 0;
    state_.CurrentPictureIndex = 0;
    RefreshPictureList();
}

void Einstellungen::showColour()
{
    findChild<QPushButton*>(QStringLiteral("FarbwahlButton"))->setIcon(colourSwatch(state_.settings.hgfarbe));
}

void Einstellungen::chooseBackgroundColour()
{
    interrupted([this] {
        if (!choosers.chooseColour) return;
        const std::int32_t chosen = choosers.chooseColour(this, QStringLiteral("Hintergrundfarbe"), state_.settings.hgfarbe);
        if (chosen >= 0) state_.settings.hgfarbe = chosen;
        showColour();
    });
}

void Einstellungen::openTextStamp()
{
    interrupted([this] {
        QPointer<Textstempel> dialog = new Textstempel(state_.settings, choosers, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->exec();
    });
}

void Einstellungen::openInfo()
{
    interrupted([this] {
        QPointer<Inform> dialog = new Inform(state_, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->exec();
    });
}

void Einstellungen::save()
{
    // Enter on a duration box reaches OK without the box losing the focus.
    checkDuration(delay_, state_.settings.delay);
    checkDuration(tdauer_, state_.settings.tdauer);
    std::array<bool, 77> enabled{};
    for (int n = 1; n <= kEffectCount; ++n) enabled[std::size_t(n)] = state_.effekte[std::size_t(n)].aktiv != 0;
    saveSettings(registry_, state_.settings, state_.Folders, enabled);
    registry_.sync();
}

void Einstellungen::reject()
{
    // Escape closes like the close box.
    close();
}

void Einstellungen::closeEvent(QCloseEvent* event)
{
    if (unloaded_) {
        event->accept();
        return;
    }
    if (slideshow_->tickRunning() && !tickEnded_) {
        // A transition is under way: stop it; the tick unloads us at its end.
        state_.abbruch = true;
        event->ignore();
        return;
    }
    slideshow_->disableTimer();
    state_.abbruch = true;
    unloaded_ = true;
    if (shutdown) shutdown(state_, registry_, QStringLiteral("pdelay"), QStringLiteral("OK"));
    event->accept();
}

void Einstellungen::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    RefreshPictureList();
}

bool Einstellungen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == folders_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        removeSelectedFolders();
        return true;
    }
    if (watched == folders_->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            static_cast<QDropEvent*>(event)->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            drop->acceptProposedAction();
            // Whatever is dropped opens the folder choice; a dropped folder is where it starts.
            QString start = lastFolder_;
            for (const QUrl& url : drop->mimeData()->urls())
                if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
                    start = url.toLocalFile();
                    break;
                }
            QTimer::singleShot(0, this, [this, start] { addFolder(start); });
            return true;
        }
    }
    if ((watched == delay_ || watched == tdauer_) && event->type() == QEvent::FocusOut) {
        // Switching to another window or opening a menu is not leaving the box.
        const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
        if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
            checkDuration(static_cast<QLineEdit*>(watched),
                          watched == delay_ ? state_.settings.delay : state_.settings.tdauer);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vm
