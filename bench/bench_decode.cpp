// The decoder process: what one picture costs to cross the boundary, and
// the time from a tick to the first transition step for a 6000 x 4000 JPEG
// at 1920 x 1080, with the picture decoded ahead and without.
#include "imaging/decoder.h"
#include "pictures/decoding.h"
#include "imaging/loading.h"
#include "pictures/showstep.h"
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "benchutil.h"

using namespace vm;

namespace {



// A show after its first tick on a 1920 x 1080 headless target, effect 2
// without waiting: its first step is the first moment the new picture moves.
struct Show {
    RunState st;
    HeadlessTarget target{1920, 1080};
    Show()
    {
        effekte_anlegen(st.effekte);
        for (int n = 1; n <= kEffectCount; ++n) st.effekte[size_t(n)].aktiv = 1;
        st.effekte[2].verzoegerung = 0;
        st.settings.effekt_nutzung = 1;
        st.settings.blende = 2;
        st.settings.exifrotate = 1;
        st.ScreenWidth = 1920;
        st.ScreenHeight = 1080;
        Dc screen;
        st.bildschirmkopie_dc.create(&screen, 1920, 1080);
        Init_Screen(st, target);
    }
    // Milliseconds from the call of the step to its first transition step.
    double tickToFirstStep(const QString& path)
    {
        QElapsedTimer clock;
        double first = -1;
        target.resetPumps();
        target.onPump = [&](int n) {
            if (n == 1) first = clock.nsecsElapsed() / 1e6;
        };
        clock.start();
        const QString message = DrawPicture(st, target, PictureEntry{path, {}},
                                            [](RunState&, Target&, const PictureEntry&, const PictureMetadata&) {});
        if (!message.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(message));
        return first;
    }
};

// Lets the event loop run until the decoder has nothing left to do ahead.
void interval(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("VELMIRANO_DECODER")) qputenv("VELMIRANO_DECODER", VELMIRANO_DECODER_PATH);
    printLoad();
    QTemporaryDir dir;
    const QString big = dir.path() + "/gross.jpg", tiny = dir.path() + "/klein.png", uhd = dir.path() + "/uhd.png";
    QImageWriter writer(big);
    writer.setQuality(90);
    if (!writer.write(photoLike(6000, 4000)) || !photoLike(4, 3).save(tiny) || !photoLike(3840, 2160).save(uhd)) {
        std::fprintf(stderr, "cannot write the pictures\n");
        return 1;
    }

    // The boundary alone: a 4 x 3 picture as it is and enlarged to 3840 x
    // 2160, and a 3840 x 2160 one kept at its size.
    for (const auto& [name, path, w, h, expand] :
         {std::tuple{"4 x 3 PNG", tiny, 4.0, 3.0, false},
          {"4 x 3 PNG enlarged to 3840 x 2160", tiny, 3840.0, 2160.0, true},
          {"3840 x 2160 PNG", uhd, 3840.0, 2160.0, false}}) {
        const DecodeRequest request = MakeDecodeRequest(path, false, QSizeF(w, h), expand, false);
        PictureDecoder decoder;
        const double here = medianMs(7, [&] { DecodeInProcess(request); });
        const double there = medianMs(7, [&] { decoder.obtain(request, {}); });
        std::printf("%-34s in process %7.1f ms   through the decoder %7.1f ms   difference %6.1f ms\n", name, here,
                    there, there - here);
    }

    // The tick: the picture decoded during the interval before, or on demand.
    for (const bool ahead : {false, true}) {
        Show show;
        show.st.decoder.aheadEnabled = ahead;
        std::vector<double> times;
        for (int i = 0; i < 7; ++i) {
            show.st.CurrentPictureIndex = 0;
            show.st.pictureList = {PictureEntry{big, {}}};
            DecodeNextAhead(show.st, show.target);
            interval(ahead ? 1500 : 0);
            times.push_back(show.tickToFirstStep(big));
        }
        std::sort(times.begin(), times.end());
        std::printf("tick to first step, 6000 x 4000 JPEG at 1920 x 1080, %s: %6.1f ms (median of 7)\n",
                    ahead ? "decoded ahead" : "decoded on demand", times[times.size() / 2]);
    }
    std::printf("goal: decoded ahead under 20 ms\n");
    return 0;
}
