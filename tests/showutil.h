// A run state as start-up leaves it for a show, for the tests that drive
// the show's tick: the catalogue, one effect, a 60 s interval, the screen
// copy of a w x h screen and the pictures in the list.
#pragma once

#include "state/runstate.h"
#include "transitions/catalogue.h"

#include <QStringList>

inline void prepareShow(vm::RunState& st, int w, int h, const QStringList& pictures, int effect = 1)
{
    vm::effekte_anlegen(st.effekte);
    st.settings.effekt_nutzung = 1;
    st.settings.blende = effect;
    st.settings.delay = 60;
    st.laufmodus = "Saver";
    st.ScreenWidth = w;
    st.ScreenHeight = h;
    vm::Dc screen;
    st.bildschirmkopie_dc.create(&screen, w, h);
    for (const QString& p : pictures) st.pictureList.push_back(vm::PictureEntry{p, QDateTime::currentDateTime()});
}
