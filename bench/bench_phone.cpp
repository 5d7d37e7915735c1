// A phone's picture: decode and fit of a 4032 x 3024 HEIC at 1920 x 1080
// beside the same picture as JPEG, in this process and through the decoder,
// and the time from a tick to the first transition step with the HEIC
// decoded ahead and on demand.
#include "phonedata.h"
#include "imaging/decoder.h"
#include "pictures/decoding.h"
#include "pictures/showstep.h"
#include "platform/target.h"
#include "state/runstate.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>

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
    const QString jpeg = dir.path() + "/foto.jpg", heic = dir.path() + "/foto.heic";
    const QImage photo = photoLike(4032, 3024);
    QImageWriter writer(jpeg);
    writer.setQuality(90);
    QFile heicFile(heic);
    if (!writer.write(photo) || !heicFile.open(QIODevice::WriteOnly) || heicFile.write(phone::heif(photo, 1, {}, false, 80)) <= 0) {
        std::fprintf(stderr, "cannot write the pictures\n");
        return 1;
    }
    heicFile.close();

    for (const auto& [name, path] : {std::pair{"4032 x 3024 JPEG", jpeg}, {"4032 x 3024 HEIC", heic}}) {
        const DecodeRequest request = MakeDecodeRequest(path, true, QSizeF(1920, 1080), false, true);
        PictureDecoder decoder;
        const double here = medianMs(5, [&] { DecodeInProcess(request); });
        const double there = medianMs(5, [&] { decoder.obtain(request, {}); });
        std::printf("%-18s decode and fit at 1920 x 1080: in process %7.1f ms   through the decoder %7.1f ms\n", name,
                    here, there);
    }
    for (const auto& [name, path] : {std::pair{"JPEG", jpeg}, {"HEIC", heic}})
        for (const bool ahead : {false, true}) {
            Show show;
            show.st.decoder.aheadEnabled = ahead;
            std::vector<double> times;
            for (int i = 0; i < 5; ++i) {
                show.st.CurrentPictureIndex = 0;
                show.st.pictureList = {PictureEntry{path, {}}};
                DecodeNextAhead(show.st, show.target);
                interval(ahead ? 2500 : 0);
                times.push_back(show.tickToFirstStep(path));
            }
            std::sort(times.begin(), times.end());
            std::printf("tick to first step, 4032 x 3024 %s at 1920 x 1080, %s: %6.1f ms (median of 5)\n", name,
                        ahead ? "decoded ahead" : "decoded on demand", times[times.size() / 2]);
        }
    std::printf("goal: decoded ahead under 20 ms\n");
    return 0;
}
