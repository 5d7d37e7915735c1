// The effect tree of the settings dialog ("Blendenbaum"): a root, one node
// per effect group and one node per effect, whose images say which effects
// take part; clicking a node chooses or toggles effects.
#pragma once

#include <QIcon>
#include <QTreeWidget>

#include <functional>
#include <vector>

namespace vm {

struct RunState;

class EffectTree : public QTreeWidget {
public:
    // Node images as the tree uses them (ImageList1).
    enum Image {
        EffectOff = 1,     // not enabled, or not the single effect
        EffectChosen = 2,  // the single effect
        EffectOn = 3,      // enabled for sequence and random
        RootAllOn = 4,     // also: single mode without a chosen effect below
        RootSomeOn = 5,
        RootMarked = 6,    // single mode with the chosen effect below; or none on
        GroupAllOn = 7,    // in single mode also: holds the chosen effect
        GroupSomeOn = 8,
        GroupNoneOn = 9,
    };

    explicit EffectTree(RunState& state, QWidget* parent = nullptr);

    // Builds the root, the group nodes and the 76 effect nodes from the
    // catalogue; every node's children stay sorted by text, as the tree
    // control orders them.
    void buildNodes();
    // Sets every effect node's image from the settings, then the groups'.
    void effektbaum_erstellen();
    // Sets the images of `node` and the groups below it; 1 when all its
    // children count as on, else 0.
    int UpdateGroupImages(QTreeWidgetItem* node);
    // What a click on the node does.
    void nodeClick(QTreeWidgetItem* node);

    // "B" and the effect number in three digits; "Blendenbaum" for the root.
    static QString effectKey(int effect);
    QTreeWidgetItem* nodeByKey(const QString& key) const;
    QTreeWidgetItem* root() const { return topLevelItem(0); }
    static QString keyOf(const QTreeWidgetItem* node);
    static int tagOf(const QTreeWidgetItem* node);
    static int imageOf(const QTreeWidgetItem* node);

    // The effect numbers as the tree shows them, group by group.
    std::vector<int> displayOrder() const;
    // The effect after `effect` in display order, wrapping from the last
    // effect of the last group to the first of the first; an unknown number
    // (0 before any run) gives the first.
    int nextInDisplayOrder(int effect) const;
    // Marks the effect being shown: the previous one's node white (when not
    // 0), the current one's red; with `track` the tree scrolls to it.
    void markRunning(int previous, int current, bool track);
    static QColor markOf(const QTreeWidgetItem* node);

    // The nine images, drawn at 16 x 16; index 1 to 9.
    static QIcon image(int index);

    // Shows a refusal; the dialog points it at its message box.
    std::function<void(const QString& text)> refuse;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setImage(QTreeWidgetItem* node, int image);
    QTreeWidgetItem* addSorted(QTreeWidgetItem* parent, const QString& key, const QString& text,
                               int tag, int image);
    bool singleMode() const;

    RunState& state_;
    QHash<QString, QTreeWidgetItem*> keys_;
};

constexpr const char* kRandomNeedsTwo = "Für Zufallseffekte müssen zwei Einträge aktiviert sein";
constexpr const char* kSequenceNeedsTwo = "Für eine Effektfolge müssen zwei Einträge aktiviert sein";

} // namespace vm
