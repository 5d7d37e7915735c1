// A run state and a headless target set up for one transition: the old
// picture on the target, the composed new picture in neues_bild_dc, a
// smaller picture alone in bild_dc, the desktop in desktop_dc.
#pragma once

#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <QString>

#include <optional>

namespace vm::testing {

// Distinct patterns, so a pixel tells where it came from.
inline Pixel oldPixel(int x, int y) { return 0x400000u | Pixel((x * 7 + y * 3) & 0xff); }
inline Pixel newPixel(int x, int y) { return 0x008000u | Pixel(((x * 5) ^ (y * 11)) & 0xff); }
inline Pixel desktopPixel(int x, int y) { return 0x000040u | (Pixel((x + y) & 0xff) << 16); }
inline Pixel picturePixel(int x, int y) { return 0xc0c000u | Pixel((x * 13 + y) & 0xff); }

struct Harness {
    RunState st;
    HeadlessTarget target;
    FaultHook faults;

    // w x h target running effect `effect` with the given step width and
    // busy-wait; the picture alone is (w/2 x h/2) centred.
    Harness(int w, int h, int effect, std::uint32_t seed = 1, std::int32_t schritt = 1,
            std::int32_t delay = 0)
        : target(w, h)
    {
        effekte_anlegen(st.effekte);
        st.aktueller_effekt = effect;
        st.effekte[std::size_t(effect)].schritt = schritt;
        st.effekte[std::size_t(effect)].verzoegerung = delay;
        st.aktuelles_delay = delay;
        st.random.seedWith(seed);
        st.settings.tdauer = 2;
        Dc* like = target.dc();
        st.desktop_dc.create(like, w, h);
        st.neues_bild_dc.create(like, w, h);
        const int bw = w / 2 > 0 ? w / 2 : 1, bh = h / 2 > 0 ? h / 2 : 1;
        st.bild.bild_dc.create(like, bw, bh);
        st.bild.bild_breite = bw;
        st.bild.bild_hoehe = bh;
        st.bild.bild_x = px((w - bw) / 2.0);
        st.bild.bild_y = px((h - bh) / 2.0);
        st.bild.hintergrund_pinsel = CreateSolidBrush(0x00a0a0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                target.bitmap().setPixel(x, y, oldPixel(x, y));
                st.desktop_dc.bitmap()->setPixel(x, y, desktopPixel(x, y));
                st.neues_bild_dc.bitmap()->setPixel(x, y, newPixel(x, y));
            }
        for (int y = 0; y < bh; ++y)
            for (int x = 0; x < bw; ++x) {
                st.bild.bild_dc.bitmap()->setPixel(x, y, picturePixel(x, y));
                const int tx = st.bild.bild_x + x, ty = st.bild.bild_y + y;
                if (tx < w && ty < h) st.neues_bild_dc.bitmap()->setPixel(tx, ty, picturePixel(x, y));
            }
    }

    // Runs the effect's routine as the show step does (without timing).
    bool run()
    {
        st.fehlertext.clear();
        return dispatchEffect(st, target);
    }

    // Stops the run at the start of step n (abbruch, as a key press would).
    void abortAtStep(int n)
    {
        target.onPump = [this, n](int pump) {
            if (pump == n) st.abbruch = true;
        };
    }

    // Makes the n-th raster call on the target fail.
    void failCall(int n)
    {
        faults.failAt = n;
        target.dc()->faultHook = &faults;
    }

    // True when the target shows exactly the composed new picture.
    bool showsNewPicture() const { return target.bitmap() == *st.neues_bild_dc.bitmap(); }

    // Number of target pixels still different from the new picture.
    long long pixelsNotNew() const
    {
        long long n = 0;
        const Bitmap& a = target.bitmap();
        const Bitmap& b = *st.neues_bild_dc.bitmap();
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
        return n;
    }
};

} // namespace vm::testing
