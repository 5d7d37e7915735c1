#include "transitions/catalogue.h"

#include "state/runstate.h"
#include "transitions/album.h"
#include "transitions/bandedpush.h"
#include "transitions/blinds.h"
#include "transitions/blocks.h"
#include "transitions/diagonals.h"
#include "transitions/fades.h"
#include "transitions/frame.h"
#include "transitions/honeycomb.h"
#include "transitions/lines.h"
#include "transitions/memorycards.h"
#include "transitions/memoryshuffle.h"
#include "transitions/pushes.h"
#include "transitions/radar.h"
#include "transitions/roll.h"
#include "transitions/zoom.h"

namespace vm {

namespace {

struct Row {
    const char* gruppe;
    const char* name;
    bool alpha;
    int routine;
};

// Index = effect number.
const std::array<Row, kEffectCount + 1> kRows{{
    {"", "", false, 0},
    {"Sonstiges", "Ohne Effekt", false, 0},
    {"Überzeichnen", "Waagerecht einfach", false, 1},
    {"Überzeichnen", "Waagerecht doppelt", false, 2},
    {"Überzeichnen", "Senkrecht einfach", false, 3},
    {"Überzeichnen", "Senkrecht doppelt", false, 4},
    {"Überzeichnen", "Radar einfach", false, 25},
    {"Überzeichnen", "Radar doppelt", false, 26},
    {"Überzeichnen", "Diagonal einfach", false, 5},
    {"Überzeichnen", "Diagonal doppelt", false, 6},
    {"Überzeichnen", "Quadrat", false, 7},
    {"Überzeichnen", "Quadrat mit Richtungswechsel", false, 7},
    {"Überzeichnen", "Quadrat auf spitze", false, 8},
    {"Überzeichnen", "Kreis", false, 27},
    {"Überzeichnen", "Kreis mit Richtungswechsel", false, 27},
    {"Überzeichnen", "Spirale", false, 40},
    {"Überzeichnen", "Spirale (klein)", false, 40},
    {"Überzeichnen", "Einfließen", false, 24},
    {"Überzeichnen", "Einfließen (klein)", false, 24},
    {"Überzeichnen", "Jalousie waagerecht", false, 28},
    {"Überzeichnen", "Jalousie senkrecht", false, 29},
    {"Überzeichnen", "Blöcke zufällig", false, 21},
    {"Überzeichnen", "Blöcke zufällig (klein)", false, 21},
    {"Überzeichnen", "Blöcke zufällig (sehr klein)", false, 21},
    {"Überzeichnen", "Puzzle", false, 21},
    {"Überzeichnen", "Puzzle (klein)", false, 21},
    {"Überzeichnen", "Puzzle (sehr klein)", false, 21},
    {"Überzeichnen", "Tropfen", false, 21},
    {"Überzeichnen", "Tropfen (klein)", false, 21},
    {"Überzeichnen", "Kreuz", false, 11},
    {"Überzeichnen", "Linien senkrecht zufällig", false, 22},
    {"Überzeichnen", "Linien waagerecht zufällig", false, 23},
    {"Überzeichnen", "Waagerecht mit Lücke", false, 18},
    {"Überzeichnen", "Waagerecht mit Lücke (klein)", false, 18},
    {"Überzeichnen", "Senkrecht mit Lücke", false, 17},
    {"Überzeichnen", "Senkrecht mit Lücke (klein)", false, 17},
    {"Überzeichnen", "Waagerecht Strahl", false, 34},
    {"Überzeichnen", "Waagerecht Strahl (klein)", false, 34},
    {"Überzeichnen", "Senkrecht Strahl", false, 36},
    {"Überzeichnen", "Senkrecht Strahl (klein)", false, 36},
    {"Überzeichnen", "Scheibenwischer", false, 41},
    {"Überzeichnen", "Scheibenwischer doppelt", false, 42},
    {"Überzeichnen", "Raster waagerecht", false, 19},
    {"Überzeichnen", "Raster waagerecht (klein)", false, 19},
    {"Überzeichnen", "Raster senkrecht", false, 20},
    {"Überzeichnen", "Raster senkrecht (klein)", false, 20},
    {"Überblenden", "Gesamt", true, 9},
    {"Überblenden", "Waagerechter Ablauf", true, 10},
    {"Überblenden", "Senkrechter Ablauf", true, 10},
    {"Einschieben", "Waagerecht", false, 12},
    {"Einschieben", "Senkrecht", false, 13},
    {"Einschieben", "Strahl waagerecht", false, 35},
    {"Einschieben", "Strahl senkrecht", false, 37},
    {"Rausschieben", "Waagerecht einfach", false, 32},
    {"Rausschieben", "Senkrecht einfach", false, 33},
    {"Rausschieben", "Waagerecht doppelt", false, 15},
    {"Rausschieben", "Senkrecht doppelt", false, 16},
    {"Sonstiges", "Vergrößern", false, 30},
    {"Sonstiges", "Verkleinern", false, 31},
    {"Sonstiges", "Abrollen", false, 39},
    {"Sonstiges", "Memory von aussen (überführen)", false, 38},
    {"Sonstiges", "Memory von aussen (unterführen)", false, 38},
    {"Sonstiges", "Memory von aussen schlieren", false, 38},
    {"Sonstiges", "Entzerren waagerecht", false, 43},
    {"Sonstiges", "Entzerren senkrecht", false, 44},
    {"Überzeichnen", "Waben zufällig", false, 45},
    {"Überzeichnen", "Waben zufällig (klein)", false, 45},
    {"Sonstiges", "Memory", false, 46},
    {"Sonstiges", "Album", false, 47},
    {"Sonstiges", "Pinwand", false, 47},
    {"Sonstiges", "Raster", false, 48},
    {"Einschieben", "Diagonal", false, 14},
    {"Sonstiges", "Einfärben", true, 9},
    {"Sonstiges", "Aufziehen waagerecht", false, 49},
    {"Sonstiges", "Aufziehen senkrecht", false, 50},
    {"Sonstiges", "ZoomIn", false, 51},
    {"Sonstiges", "ZoomOut", false, 51},
}};

// Routine number -> routine; families register theirs here as they exist.
const std::array<Routine, 52> kRoutines{{
    /*  0 */ blende_000,
    /*  1 */ blende_001,
    /*  2 */ blende_002,
    /*  3 */ blende_003,
    /*  4 */ blende_004,
    /*  5 */ blende_005,
    /*  6 */ blende_006,
    /*  7 */ blende_007,
    /*  8 */ blende_008,
    /*  9 */ blende_009,
    /* 10 */ blende_010,
    /* 11 */ blende_011,
    /* 12 */ blende_012,
    /* 13 */ blende_013,
    /* 14 */ blende_014,
    /* 15 */ blende_015,
    /* 16 */ blende_016,
    /* 17 */ blende_017,
    /* 18 */ blende_018,
    /* 19 */ blende_019,
    /* 20 */ blende_020,
    /* 21 */ blende_021,
    /* 22 */ blende_022,
    /* 23 */ blende_023,
    /* 24 */ blende_024,
    /* 25 */ blende_025,
    /* 26 */ blende_026,
    /* 27 */ blende_027,
    /* 28 */ blende_028,
    /* 29 */ blende_029,
    /* 30 */ blende_030,
    /* 31 */ blende_031,
    /* 32 */ blende_032,
    /* 33 */ blende_033,
    /* 34 */ blende_034,
    /* 35 */ blende_035,
    /* 36 */ blende_036,
    /* 37 */ blende_037,
    /* 38 */ blende_038,
    /* 39 */ blende_039,
    /* 40 */ blende_040,
    /* 41 */ blende_041,
    /* 42 */ blende_042,
    /* 43 */ blende_043,
    /* 44 */ blende_044,
    /* 45 */ blende_045,
    /* 46 */ blende_046,
    /* 47 */ blende_047,
    /* 48 */ blende_048,
    /* 49 */ blende_049,
    /* 50 */ blende_050,
    /* 51 */ blende_051,
}};

} // namespace

void effekte_anlegen(Effekte& effekte)
{
    for (int n = 1; n <= kEffectCount; ++n) {
        Effekteintrag& e = effekte[std::size_t(n)];
        e.gruppe = QString::fromUtf8(kRows[std::size_t(n)].gruppe);
        e.name = QString::fromUtf8(kRows[std::size_t(n)].name);
        e.braucht_alphablend = kRows[std::size_t(n)].alpha;
    }
}

int routineNumber(int effect)
{
    if (effect < 2 || effect > kEffectCount) return 0;
    return kRows[std::size_t(effect)].routine;
}

QString routineName(int effect)
{
    return QStringLiteral("blende_%1").arg(routineNumber(effect), 3, 10, QLatin1Char('0'));
}

bool routineBuilt(int effect) { return kRoutines[std::size_t(routineNumber(effect))] != nullptr; }

Routine routineFor(int effect)
{
    const Routine r = kRoutines[std::size_t(routineNumber(effect))];
    return r ? r : blende_000;
}

bool dispatchEffect(RunState& state, Target& target)
{
    const int n = state.aktueller_effekt;
    const bool ok = routineFor(n)(state, target);
    if (n < 2 || n > kEffectCount) state.aktueller_effekt = 1;
    return ok;
}

} // namespace vm
