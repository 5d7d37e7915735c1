#include "start/monitors.h"

#include "pictures/showstep.h"
#include "platform/target.h"
#include "start/slideshow.h"
#include "transitions/frame.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace vm {

MonitorMode monitorMode(std::int32_t bildschirme)
{
    if (bildschirme == 1) return MonitorMode::SamePicture;
    if (bildschirme == 2) return MonitorMode::PrimaryOnly;
    return MonitorMode::OwnPictures;
}

Timings timingsOf(const Effekte& effekte)
{
    Timings t{};
    for (int n = 1; n <= kEffectCount; ++n)
        t[std::size_t(n)] = {effekte[std::size_t(n)].verzoegerung, effekte[std::size_t(n)].schritt};
    return t;
}

Timings scaledTimings(const Timings& stored, QSize primary, QSize own)
{
    const double ownPixels = double(own.width()) * own.height();
    const double primaryPixels = double(primary.width()) * primary.height();
    const double ratio = ownPixels > 0 && primaryPixels > 0 ? std::sqrt(primaryPixels / ownPixels) : 1.0;
    Timings t{};
    for (int n = 1; n <= kEffectCount; ++n) {
        const Effektzeit& e = stored[std::size_t(n)];
        const double d = std::clamp(std::nearbyint(e.verzoegerung * ratio), double(INT32_MIN), double(INT32_MAX));
        t[std::size_t(n)] = {std::int32_t(d), e.schritt};
    }
    return t;
}

MonitorTurn::MonitorTurn(RunState& state, Monitor& monitor)
    : state_(state), m_(monitor), dimensionen_(state.dimensionen)
{
    exchange();
}

MonitorTurn::~MonitorTurn()
{
    exchange();
    // The run information names the primary monitor's surface.
    if (!m_.primary) state_.dimensionen = dimensionen_;
}

void MonitorTurn::exchange()
{
    using std::swap;
    swap(state_.desktop_dc, m_.desktop_dc);
    swap(state_.neues_bild_dc, m_.neues_bild_dc);
    swap(state_.puffer1, m_.puffer1);
    swap(state_.puffer2, m_.puffer2);
    swap(state_.bild, m_.bild);
    // Its own part of the desktop copy.
    QRect screen(state_.ScreenLeft, state_.ScreenTop, state_.ScreenWidth, state_.ScreenHeight);
    swap(screen, m_.area);
    state_.ScreenLeft = screen.x();
    state_.ScreenTop = screen.y();
    state_.ScreenWidth = screen.width();
    state_.ScreenHeight = screen.height();
    // Only the primary monitor calibrates the stored timings, so they keep
    // one meaning however many monitors of whatever size take part.
    if (!m_.primary)
        for (int n = 1; n <= kEffectCount; ++n) {
            Effekteintrag& e = state_.effekte[std::size_t(n)];
            swap(e.verzoegerung, m_.timings[std::size_t(n)].verzoegerung);
            swap(e.schritt, m_.timings[std::size_t(n)].schritt);
        }
}

MonitorSet::MonitorSet(RunState& state, Registry& registry) : state_(state), registry_(registry) {}

MonitorSet::~MonitorSet()
{
    // Windows still waiting to be deleted go with the set.
    for (auto& m : monitors_)
        if (m->window) m->window->hide();
}

Monitor& MonitorSet::add(Target& target, QRect area, bool primary, const void* key, std::unique_ptr<QWidget> window)
{
    auto m = std::make_unique<Monitor>();
    m->target = &target;
    m->area = area;
    m->primary = primary;
    m->key = key;
    m->window = std::move(window);
    if (!primary) {
        QSize reference(state_.ScreenWidth, state_.ScreenHeight);
        for (const auto& other : monitors_)
            if (other->primary) reference = other->area.size();
        // During another monitor's turn its own timings are in the run
        // state, and the stored ones wait in its place.
        const Timings stored = turn_ && !turn_->primary ? turn_->timings : timingsOf(state_.effekte);
        m->timings = scaledTimings(stored, reference, area.size());
    }
    Monitor& added = *m;
    if (primary) {
        monitors_.insert(monitors_.begin(), std::move(m));
        next_ = 0;
    } else {
        monitors_.push_back(std::move(m));
    }
    return added;
}

void MonitorSet::remove(const void* key)
{
    for (auto& m : monitors_) {
        if (m->key != key || !key) continue;
        m->gone = true;
        // Its transition stops at the next step; the monitor goes after it.
        if (turn_ == m.get()) state_.unterbrechung = true;
    }
    purge();
}

void MonitorSet::purge()
{
    if (turn_) return;
    for (auto it = monitors_.begin(); it != monitors_.end();) {
        if (!(*it)->gone) {
            ++it;
            continue;
        }
        if (QWidget* w = (*it)->window.release()) {
            w->hide();
            // Its events may still be queued.
            w->deleteLater();
        }
        it = monitors_.erase(it);
    }
}

std::vector<Monitor*> MonitorSet::active() const
{
    const bool primaryOnly = monitorMode(state_.settings.bildschirme) == MonitorMode::PrimaryOnly;
    std::vector<Monitor*> order;
    for (const auto& m : monitors_)
        if (!m->gone && (m->primary || !primaryOnly)) order.push_back(m.get());
    return order;
}

MonitorSet::Change MonitorSet::changeNext()
{
    Change result;
    const int interval = state_.settings.delay * 1000;
    result.waitMs = interval;
    purge();
    const MonitorMode mode = monitorMode(state_.settings.bildschirme);
    if (mode == MonitorMode::PrimaryOnly)
        for (auto& m : monitors_)
            if (!m->primary && !m->blank) {
                m->target->clearTo(0);
                m->blank = true;
            }
    const std::vector<Monitor*> order = active();
    if (order.empty()) return result;
    if (next_ >= order.size()) next_ = 0;
    const std::size_t index = next_;
    Monitor& m = *order[index];
    next_ = (next_ + 1) % order.size();
    // Spread over the interval: monitor k of n changes k/n of it after the first.
    result.waitMs = std::max(1, interval / int(order.size()));

    const int place = int(std::find_if(monitors_.begin(), monitors_.end(),
                                       [&m](const auto& p) { return p.get() == &m; }) -
                          monitors_.begin());
    if (onChange) onChange(place, true);
    turn_ = &m;
    {
        MonitorTurn turn(state_, m);
        if (!m.initialised) {
            m.initialised = true;
            result.initError = Init_Screen(state_, *m.target);
            m.target->present();
        }
        if (result.initError.isEmpty() && !state_.abbruch && !m.gone) {
            // The same picture everywhere: only a round's first change deals one.
            if (mode == MonitorMode::SamePicture && index != 0 && state_.CurrentPictureIndex >= 1)
                state_.CurrentPictureIndex -= 1;
            if (step)
                step(state_, registry_, *m.target);
            else
                ShowNextPicture(state_, registry_, *m.target);
        }
    }
    turn_ = nullptr;
    if (onChange) onChange(place, false);
    purge();

    // The next monitor's picture is decoded while this one is shown.
    const std::vector<Monitor*> after = active();
    if (!state_.abbruch && !step && !after.empty()) {
        const std::size_t k = next_ % after.size();
        const bool samePicture = mode == MonitorMode::SamePicture && k != 0;
        DecodeAheadAt(state_, *after[k]->target, state_.CurrentPictureIndex + (samePicture ? 0 : 1));
    }
    return result;
}

} // namespace vm
