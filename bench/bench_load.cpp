// Times loading a 24-megapixel JPEG as the show step does for a 1920 x 1080
// screen: decoding in full versus decoding reduced for the fit, then the
// scaling to the fitted size. The picture is generated into a temp dir.
#include "imaging/loading.h"
#include "platform/imagelib.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "benchutil.h"

using namespace vm;

namespace {

// The show step's fitted size.
QSize fitted(QSize picture, QSize screen)
{
    const float s = std::max(float(picture.width()) / float(screen.width()),
                             float(picture.height()) / float(screen.height()));
    return QSize(int(std::nearbyint(picture.width() / s)), int(std::nearbyint(picture.height() / s)));
}


} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    printLoad();
    QTemporaryDir dir;
    const QString path = dir.path() + "/gross.jpg";
    QImageWriter writer(path);
    writer.setQuality(90);
    if (!writer.write(photoLike(6000, 4000))) {
        std::fprintf(stderr, "cannot write the picture\n");
        return 1;
    }
    std::printf("picture: 6000 x 4000 JPEG, %lld bytes\n", (long long)QFileInfo(path).size());
    const QSize screen(1920, 1080);

    for (const bool hint : {false, true}) {
        RgbImage img;
        QSize original;
        QString message;
        const double load = medianMs(9, [&] {
            message = LoadPicture(path, "JPG", true, img, hint ? std::optional<QSize>(screen) : std::nullopt, &original);
        });
        if (!message.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
            return 1;
        }
        const QSize target = fitted(original, screen);
        RgbImage scaled;
        scaled.allocate(target.width(), target.height());
        const double resize = medianMs(9, [&] { ResizeImage(img, scaled); });
        std::printf("%-12s decoded %5d x %-5d load %7.1f ms   resize to %d x %d %6.1f ms   total %7.1f ms\n",
                    hint ? "with hint" : "without hint", img.width, img.height, load, target.width(), target.height(),
                    resize, load + resize);
    }
    std::printf("goal: load with the hint at most 150 ms\n");
    return 0;
}
