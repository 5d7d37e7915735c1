// A show over several monitors: each has its own surface, buffers and
// per-picture state, and they change one after the other, never two at once,
// so that one thread and the one set of transition state suffice.
#pragma once

#include "platform/gdi.h"
#include "state/runstate.h"
#include "transitions/choice.h"

#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace vm {

class Registry;
class Target;

// How a show uses several monitors (the setting `bildschirme`).
enum class MonitorMode { OwnPictures = 0, SamePicture = 1, PrimaryOnly = 2 };
MonitorMode monitorMode(std::int32_t bildschirme);

// One monitor: its surface, where its part of the desktop copy lies, and
// everything a show step keeps for it between its turns.
struct Monitor {
    Target* target = nullptr;
    // The window that shows it, when the set owns it (every monitor but the
    // first window's).
    std::unique_ptr<QWidget> window;
    QRect area; // device pixels in the desktop copy
    bool primary = false;
    const void* key = nullptr; // what it is known by when its screen goes

    bool initialised = false;
    bool blank = false; // cleared to black while only the primary one shows
    bool gone = false;
    BufferTriple desktop_dc;
    BufferTriple neues_bild_dc;
    BufferTriple puffer1;
    BufferTriple puffer2;
    PictureState bild;
    // The timings its turns calibrate, when it is not the primary monitor.
    std::array<Effektzeit, kEffectCount + 1> timings{};
    QSize size() const { return area.size(); }
};

// Puts one monitor's buffers, picture state, desktop part and (unless it is
// the primary one) timings into the run state for its turn, and takes them
// back out at the end of the turn.
class MonitorTurn {
public:
    MonitorTurn(RunState& state, Monitor& monitor);
    ~MonitorTurn();
    MonitorTurn(const MonitorTurn&) = delete;
    MonitorTurn& operator=(const MonitorTurn&) = delete;

private:
    void exchange();
    RunState& state_;
    Monitor& m_;
    QString dimensionen_;
};

// The scaled copy of the stored timings a monitor other than the primary
// one starts from: busy-wait counts in proportion to the primary monitor's
// linear size over its own, step widths as they are.
using Timings = std::array<Effektzeit, kEffectCount + 1>;
Timings scaledTimings(const Timings& stored, QSize primary, QSize own);
Timings timingsOf(const Effekte& effekte);

class MonitorSet {
public:
    MonitorSet(RunState& state, Registry& registry);
    ~MonitorSet();

    // The primary monitor goes first; the others follow in the order added.
    Monitor& add(Target& target, QRect area, bool primary, const void* key = nullptr,
                 std::unique_ptr<QWidget> window = nullptr);
    // Its screen went away: a monitor in the middle of its turn ends that
    // turn early and goes when the turn is over, never during it.
    void remove(const void* key);
    int count() const { return int(monitors_.size()); }
    const Monitor& at(int i) const { return *monitors_[std::size_t(i)]; }
    bool turnRunning() const { return turn_ != nullptr; }

    struct Change {
        QString initError; // Init_Screen's words: the show cannot go on
        int waitMs = 0;    // until the next monitor's change
    };
    // The next monitor's change: its first turn prepares its buffers (its
    // part of the desktop); then a picture, dealt by the mode.
    Change changeNext();

    // One change on a monitor's surface; by default ShowNextPicture. Tests
    // put a scripted transition here.
    std::function<void(RunState&, Registry&, Target&)> step;
    // Runs at the start (true) and end (false) of every change, with the
    // monitor's place in the order; tests record the turns with it.
    std::function<void(int index, bool begin)> onChange;

private:
    std::vector<Monitor*> active() const;
    void purge();

    RunState& state_;
    Registry& registry_;
    std::vector<std::unique_ptr<Monitor>> monitors_;
    Monitor* turn_ = nullptr;
    std::size_t next_ = 0;
};

} // namespace vm
