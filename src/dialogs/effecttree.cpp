#include "dialogs/effecttree.h"

#include "state/runstate.h"

#include <QCollator>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace vm {

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kTagRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;

// Names are sorted as a person reads them: without regard to case, umlauts
// beside their base letters, independent of the user's own language.
const QCollator& nameOrder()
{
    static const QCollator collator = [] {
        QCollator c{QLocale(QLocale::German, QLocale::Germany)};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

// --- the nine node images -------------------------------------------------

void drawBox(QPainter& p, const QColor& fill, const QColor& edge)
{
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 2, 2);
}

void drawCheck(QPainter& p, const QColor& colour, qreal width, const QPointF& at, qreal scale)
{
    QPainterPath tick;
    tick.moveTo(at + QPointF(0, 3) * scale);
    tick.lineTo(at + QPointF(2.5, 5.5) * scale);
    tick.lineTo(at + QPointF(7, 0) * scale);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

// A small monitor: the show itself.
void drawMonitor(QPainter& p, const QColor& screen, const QColor& second)
{
    p.setPen(QPen(QColor(40, 40, 48), 1));
    p.setBrush(QColor(70, 70, 80));
    p.drawRect(QRectF(0.5, 1.5, 15, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(screen);
    p.drawRect(QRectF(2, 3, 12, 8));
    if (second.isValid()) {
        QPainterPath half;
        half.moveTo(14, 3);
        half.lineTo(14, 11);
        half.lineTo(2, 11);
        half.closeSubpath();
        p.setBrush(second);
        p.drawPath(half);
    }
    p.setBrush(QColor(70, 70, 80));
    p.drawRect(QRectF(6, 13, 4, 1));
    p.drawRect(QRectF(4, 14, 8, 1.5));
}

// A folder: one group of effects, with a badge telling how many are on.
void drawFolder(QPainter& p, const QColor& body)
{
    p.setPen(QPen(body.darker(170), 1));
    p.setBrush(body.darker(115));
    QPainterPath tab;
    tab.moveTo(0.5, 3.5);
    tab.lineTo(5.5, 3.5);
    tab.lineTo(7, 5);
    tab.lineTo(12.5, 5);
    tab.lineTo(12.5, 13.5);
    tab.lineTo(0.5, 13.5);
    tab.closeSubpath();
    p.drawPath(tab);
    p.setBrush(body);
    p.drawRect(QRectF(0.5, 6.5, 12, 7));
}

void drawBadge(QPainter& p, const QColor& fill, int filled)
{
    const QRectF r(8.5, 8.5, 7, 7);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(QColor(235, 235, 235));
    p.drawEllipse(r);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    if (filled == 2) p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    if (filled == 1) p.drawPie(r.adjusted(0.5, 0.5, -0.5, -0.5), 90 * 16, 180 * 16);
    p.setPen(QPen(fill.darker(150), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r);
}

QImage drawImage(int index)
{
    QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(40, 150, 60), amber(235, 160, 20), grey(150, 150, 150);
    switch (index) {
    case EffectTree::EffectOff:
        drawBox(p, Qt::white, QColor(120, 120, 120));
        break;
    case EffectTree::EffectChosen:
        p.setPen(QPen(QColor(20, 60, 150), 1.2));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 100, 220));
        p.drawEllipse(QRectF(4.5, 4.5, 7, 7));
        break;
    case EffectTree::EffectOn:
        drawBox(p, green, green.darker(140));
        drawCheck(p, Qt::white, 1.8, QPointF(4.5, 4.5), 1.0);
        break;
    case EffectTree::RootAllOn:
        drawMonitor(p, green.lighter(120), QColor());
        break;
    case EffectTree::RootSomeOn:
        drawMonitor(p, green.lighter(120), amber);
        break;
    case EffectTree::RootMarked:
        drawMonitor(p, QColor(30, 100, 220), QColor());
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(6, 5, 4, 4));
        break;
    case EffectTree::GroupAllOn:
        drawFolder(p, QColor(240, 205, 110));
        drawBadge(p, green, 2);
        break;
    case EffectTree::GroupSomeOn:
        drawFolder(p, QColor(240, 205, 110));
        drawBadge(p, amber, 1);
        break;
    case EffectTree::GroupNoneOn:
        drawFolder(p, QColor(215, 215, 215));
        drawBadge(p, grey, 0);
        break;
    default:
        break;
    }
    return img;
}

} // namespace

QIcon EffectTree::image(int index)
{
    static const std::array<QIcon, 10> icons = [] {
        std::array<QIcon, 10> all;
        for (int i = 1; i <= 9; ++i) all[std::size_t(i)] = QIcon(QPixmap::fromImage(drawImage(i)));
        return all;
    }();
    return index >= 1 && index <= 9 ? icons[std::size_t(index)] : QIcon();
}

EffectTree::EffectTree(RunState& state, QWidget* parent) : QTreeWidget(parent), state_(state)
{
    setObjectName(QStringLiteral("Blendenbaum"));
    setHeaderHidden(true);
    setColumnCount(1);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) { nodeClick(node); });
}

QString EffectTree::effectKey(int effect)
{
    return QStringLiteral("B%1").arg(effect, 3, 10, QLatin1Char('0'));
}

QTreeWidgetItem* EffectTree::nodeByKey(const QString& key) const { return keys_.value(key, nullptr); }
QString EffectTree::keyOf(const QTreeWidgetItem* node) { return node->data(0, kKeyRole).toString(); }
int EffectTree::tagOf(const QTreeWidgetItem* node) { return node->data(0, kTagRole).toInt(); }
int EffectTree::imageOf(const QTreeWidgetItem* node) { return node->data(0, kImageRole).toInt(); }

QColor EffectTree::markOf(const QTreeWidgetItem* node)
{
    const QVariant v = node->data(0, Qt::BackgroundRole);
    return v.isValid() ? v.value<QBrush>().color() : QColor();
}

void EffectTree::setImage(QTreeWidgetItem* node, int image)
{
    if (imageOf(node) == image) return;
    node->setData(0, kImageRole, image);
    node->setIcon(0, EffectTree::image(image));
}

QTreeWidgetItem* EffectTree::addSorted(QTreeWidgetItem* parent, const QString& key,
                                       const QString& text, int tag, int image)
{
    auto* node = new QTreeWidgetItem;
    node->setText(0, text);
    node->setData(0, kKeyRole, key);
    node->setData(0, kTagRole, tag);
    setImage(node, image);
    int at = 0;
    while (at < parent->childCount() && nameOrder().compare(parent->child(at)->text(0), text) <= 0) ++at;
    parent->insertChild(at, node);
    keys_.insert(key, node);
    return node;
}

void EffectTree::buildNodes()
{
    clear();
    keys_.clear();
    auto* top = new QTreeWidgetItem;
    top->setText(0, QStringLiteral("Velmirano"));
    top->setData(0, kKeyRole, QStringLiteral("Blendenbaum"));
    top->setData(0, kTagRole, 0);
    setImage(top, RootAllOn);
    addTopLevelItem(top);
    keys_.insert(QStringLiteral("Blendenbaum"), top);
    for (int n = 1; n <= kEffectCount; ++n) {
        const Effekteintrag& e = state_.effekte[std::size_t(n)];
        QTreeWidgetItem* group = nodeByKey(e.gruppe);
        if (!group) group = addSorted(top, e.gruppe, e.gruppe, 0, RootSomeOn);
        addSorted(group, effectKey(n), e.name, n, EffectOff);
    }
    expandAll();
}

bool EffectTree::singleMode() const { return state_.settings.effekt_nutzung == 1; }

void EffectTree::effektbaum_erstellen()
{
    for (int n = 1; n <= kEffectCount; ++n) {
        QTreeWidgetItem* node = nodeByKey(effectKey(n));
        if (!node) continue;
        if (singleMode())
            setImage(node, n == state_.settings.blende ? EffectChosen : EffectOff);
        else
            setImage(node, state_.effekte[std::size_t(n)].aktiv != 0 ? EffectOn : EffectOff);
    }
    if (root()) UpdateGroupImages(root());
}

int EffectTree::UpdateGroupImages(QTreeWidgetItem* node)
{
    const int k = node->childCount();
    int c = 0;
    for (int i = 0; i < k; ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (child->childCount() == 0) {
            if (imageOf(child) != EffectOff) ++c;
        } else if (UpdateGroupImages(child) == 1) {
            ++c;
        }
    }
    const bool isRoot = node == root();
    if (c == k) {
        setImage(node, isRoot ? RootAllOn : GroupAllOn);
        return 1;
    }
    if (c > 0)
        setImage(node, isRoot ? (singleMode() ? RootMarked : RootSomeOn)
                              : (singleMode() ? GroupAllOn : GroupSomeOn));
    else
        setImage(node, isRoot ? (singleMode() ? RootAllOn : RootMarked) : GroupNoneOn);
    return 0;
}

void EffectTree::nodeClick(QTreeWidgetItem* node)
{
    if (!node || !root()) return;
    Effekte& effekte = state_.effekte;
    const int t = tagOf(node);
    auto enable = [&](QTreeWidgetItem* effectNode, bool on) {
        effekte[std::size_t(tagOf(effectNode))].aktiv = on ? 1 : 0;
        setImage(effectNode, on ? EffectOn : EffectOff);
    };
    auto tellNeedsTwo = [&] {
        if (refuse)
            refuse(QString::fromUtf8(state_.settings.effekt_nutzung == 3 ? kRandomNeedsTwo
                                                                         : kSequenceNeedsTwo));
    };

    if (t == 0 && !singleMode()) {
        if (node == root()) {
            for (int n = 1; n <= kEffectCount; ++n)
                if (QTreeWidgetItem* e = nodeByKey(effectKey(n))) enable(e, true);
        } else {
            int on = 0;
            for (int i = 0; i < node->childCount(); ++i)
                if (imageOf(node->child(i)) == EffectOn) ++on;
            if (on < node->childCount()) {
                for (int i = 0; i < node->childCount(); ++i) enable(node->child(i), true);
            } else {
                int elsewhere = 0;
                for (int n = 1; n <= kEffectCount; ++n)
                    if (effekte[std::size_t(n)].aktiv != 0 && effekte[std::size_t(n)].gruppe != keyOf(node))
                        ++elsewhere;
                if (elsewhere >= 2)
                    for (int i = 0; i < node->childCount(); ++i) enable(node->child(i), false);
                else
                    tellNeedsTwo();
            }
        }
    } else if (t > 0 && singleMode()) {
        if (QTreeWidgetItem* previous = nodeByKey(effectKey(state_.settings.blende)))
            setImage(previous, EffectOff);
        state_.settings.blende = t;
        setImage(node, EffectChosen);
    } else if (t > 0) {
        if (imageOf(node) != EffectOn) {
            enable(node, true);
        } else {
            int on = 0;
            for (int n = 1; n <= kEffectCount; ++n)
                if (effekte[std::size_t(n)].aktiv != 0) ++on;
            if (on >= 3)
                enable(node, false);
            else
                tellNeedsTwo();
        }
    }
    UpdateGroupImages(root());
}

std::vector<int> EffectTree::displayOrder() const
{
    std::vector<int> order;
    if (!root()) return order;
    for (int g = 0; g < root()->childCount(); ++g) {
        const QTreeWidgetItem* group = root()->child(g);
        for (int i = 0; i < group->childCount(); ++i) order.push_back(tagOf(group->child(i)));
    }
    return order;
}

int EffectTree::nextInDisplayOrder(int effect) const
{
    QTreeWidgetItem* top = root();
    if (!top || top->childCount() == 0 || top->child(0)->childCount() == 0) return effect;
    QTreeWidgetItem* first = top->child(0)->child(0);
    QTreeWidgetItem* node = effect >= 1 && effect <= kEffectCount ? nodeByKey(effectKey(effect)) : nullptr;
    if (!node) return tagOf(first);
    QTreeWidgetItem* group = node->parent();
    const int at = group->indexOfChild(node);
    if (at + 1 < group->childCount()) return tagOf(group->child(at + 1));
    const int g = top->indexOfChild(group);
    if (g + 1 < top->childCount() && top->child(g + 1)->childCount() > 0)
        return tagOf(top->child(g + 1)->child(0));
    return tagOf(first);
}

void EffectTree::markRunning(int previous, int current, bool track)
{
    auto mark = [](QTreeWidgetItem* node, const QColor& colour) {
        node->setData(0, Qt::BackgroundRole, QBrush(colour));
        // Black text stays legible on both marks whatever the colour scheme.
        node->setData(0, Qt::ForegroundRole, QBrush(Qt::black));
    };
    if (previous != 0)
        if (QTreeWidgetItem* node = nodeByKey(effectKey(previous))) mark(node, QColor(255, 255, 255));
    QTreeWidgetItem* node = nodeByKey(effectKey(current));
    if (!node) return;
    mark(node, QColor(255, 0, 0));
    if (track) {
        for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) p->setExpanded(true);
        scrollToItem(node);
    }
}

void EffectTree::keyPressEvent(QKeyEvent* event)
{
    // The space bar clicks the current node, so the tree works without a mouse.
    if (event->key() == Qt::Key_Space && currentItem()) {
        nodeClick(currentItem());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

} // namespace vm
