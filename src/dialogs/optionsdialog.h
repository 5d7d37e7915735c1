// The settings dialog ("Einstellungen", caption "Velmirano - Optionen"):
// folders, order, file types, durations, background, effect choice and the
// effect tree, with the show running live in a small preview area. OK
// writes every setting; Abbrechen and the close box leave them unwritten.
#pragma once

#include "platform/choosers.h"

#include <QDialog>

#include <functional>
#include <memory>

class QLineEdit;
class QListWidget;
class QTimer;

namespace vm {

class EffectTree;
class PictureBox;
class Registry;
class Slideshow;
struct RunState;

class Einstellungen : public QDialog {
public:
    Einstellungen(RunState& state, Registry& registry, Choosers choosers = Choosers::platform(),
                  QWidget* parent = nullptr);
    ~Einstellungen() override;

    // Fills the controls from the run state as "/C" opens the dialog; the
    // controls' handlers run as a click would. Leaves CurrentPictureIndex at
    // the picture shown last, so the show continues after it.
    void fill();
    // Arms the preview's first tick.
    void startPreview();

    // The preview's timer and machinery.
    QTimer& Timer1();
    Slideshow& slideshow() { return *slideshow_; }
    PictureBox& preview() { return *preview_; }
    EffectTree& tree() { return *tree_; }

    void effektbaum_erstellen();
    // Folders from the list, the picture list from the folders, the count.
    void RefreshPictureList();

    // The platform's dialogs (tests answer them).
    Choosers choosers;
    // The picture list's scan and sort and the shutdown; tests put recorders here.
    std::function<void(RunState&)> buildPictureList;
    std::function<void(RunState&)> sortPictureList;
    std::function<void(RunState&, Registry&, const QString& statisticsKey, const QString& message)> shutdown;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void buildControls();
    // Runs `change` with the preview held, then lets the preview show the
    // change at once: a waiting timer fires now, a running transition stops.
    void interrupted(const std::function<void()>& change);
    void addFolder(const QString& startFolder);
    void removeSelectedFolders();
    void refillFolderList();
    void checkDuration(QLineEdit* box, std::int32_t& setting);
    void fileTypeToggled(std::int32_t& setting, bool on);
    void chooseBackgroundColour();
    void openTextStamp();
    void openInfo();
    void save();
    void showColour();

    RunState& state_;
    Registry& registry_;
    PictureBox* preview_ = nullptr;
    EffectTree* tree_ = nullptr;
    QListWidget* folders_ = nullptr;
    QLineEdit* delay_ = nullptr;
    QLineEdit* tdauer_ = nullptr;
    std::unique_ptr<Slideshow> slideshow_;
    QString lastFolder_;
    bool filling_ = false;
    bool refreshWanted_ = false;
    bool shownOnce_ = false;
    bool tickEnded_ = false;
    bool unloaded_ = false;
};

// The dialog as "/C" opens it: filled from the run state, the preview's
// effect sequence following the tree as it is shown, the preview running.
std::unique_ptr<Einstellungen> openEinstellungen(RunState& state, Registry& registry);

constexpr const char* kDurationMessage = "Die Zeit muss im Bereich von 1 bis 60 Sekunden liegen";

} // namespace vm
