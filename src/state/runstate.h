// The state a run shares between its parts: created by Main, passed by
// reference, never reached through globals. Member names are the ones the
// rest of the code and the stored settings speak of.
// It shares a floor with pictures/ and transitions/: it holds their picture
// list, catalogue and stop watch by value, and they work on it.
#pragma once

#include "pictures/decoding.h"
#include "pictures/picturelist.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "settings/settings.h"
#include "transitions/catalogue.h"
#include "transitions/stopwatch.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class QDialog;

namespace vm {

// What the show step prepares for one picture; some transitions read it.
struct PictureState {
    BufferTriple bild_dc;
    std::int32_t bild_breite = 0;
    std::int32_t bild_hoehe = 0;
    std::int32_t bild_x = 0;
    std::int32_t bild_y = 0;
    SolidBrush hintergrund_pinsel;
    std::int32_t neue_breite = 0;
    std::int32_t neue_hoehe = 0;
};

// The settings dialog's effect tree while it shows a preview: its effects
// in display order, and how it marks the running effect (previous one
// white, current one red, scrolled into view when tracking is on).
struct EffectTreeLink {
    std::vector<std::int32_t> displayOrder;
    std::function<void(std::int32_t previous, std::int32_t current, bool track)> mark;
};

struct RunState {
    // Flags of the run.
    bool abbruch = false;
    bool unterbrechung = false;
    bool messung_auslassen = false;
    bool alphablend_verfuegbar = false;
    QString laufmodus;
    long long ParentWindow = 0;

    Settings settings;
    QStringList Folders; // each entry ends with the path separator
    Effekte effekte;

    PictureList pictureList;
    std::int32_t CurrentPictureIndex = 0;
    // Asked during the picture scan before the show window is open: true
    // when a key or the mouse ends the start as it would end the show.
    ScanStop scanStop;
    // Decodes the pictures in processes of their own, one ahead.
    PictureDecoder decoder;

    std::int32_t ScreenWidth = 0;
    std::int32_t ScreenHeight = 0;
    // Where that screen lies in the desktop copy, which holds every monitor.
    std::int32_t ScreenLeft = 0;
    std::int32_t ScreenTop = 0;

    // Screen-sized buffers.
    BufferTriple bildschirmkopie_dc;
    BufferTriple desktop_dc;
    BufferTriple neues_bild_dc;
    BufferTriple puffer1;
    BufferTriple puffer2;
    QString dimensionen;

    // The transition being run.
    std::int32_t aktueller_effekt = 1;
    std::int32_t voriger_effekt = 0;
    std::int32_t aktuelles_delay = 0;
    QString fehlertext;

    CStopWatch stoppuhr;
    Random random;

    PictureState bild;

    EffectTreeLink effektbaum;

    // Runs a modal form and returns its result; empty = exec(). Tests put
    // a function here that inspects and closes the form instead.
    std::function<int(QDialog&)> execModal;

    int FolderCount() const { return int(Folders.size()); }
    int PictureCount() const { return int(pictureList.size()); }
    Effekteintrag& current() { return effekte[std::size_t(aktueller_effekt)]; }
};

} // namespace vm
