// Times the picture scan over a generated tree of 100,000 files against
// find(1) over the same tree in the same run, then the orders on the list.
// Usage: bench_scan [files]   (default 100000; the tree goes to a temp dir)
#include "pictures/picturelist.h"
#include "state/runstate.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "benchutil.h"

using namespace vm;
using Clock = std::chrono::steady_clock;

namespace {


// 100 folders of 10 subfolders, files spread evenly; one in ten is no
// picture. Times spread over ten years so the date order has work to do.
int makeTree(const QString& root, int files)
{
    const int folders = 1000, perFolder = (files + folders - 1) / folders;
    int made = 0;
    std::uint32_t seed = 12345;
    for (int a = 0; a < 100 && made < files; ++a)
        for (int b = 0; b < 10 && made < files; ++b) {
            const QString dir = QString("%1/Reise %2/Tag %3/").arg(root).arg(a).arg(b);
            QDir().mkpath(dir);
            for (int i = 0; i < perFolder && made < files; ++i, ++made) {
                const QString name = dir + (i % 10 == 9 ? QString("notiz%1.txt").arg(i) : QString("IMG_%1.JPG").arg(i, 4, 10, QChar('0')));
                const QByteArray path = QFile::encodeName(name);
                const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                if (fd < 0) return -1;
                seed = seed * 1664525u + 1013904223u;
                struct timespec times[2];
                times[0].tv_sec = times[1].tv_sec = 1'300'000'000 + time_t(seed % 315'000'000u);
                times[0].tv_nsec = times[1].tv_nsec = 0;
                ::futimens(fd, times);
                ::close(fd);
            }
        }
    return made;
}

double findMs(const QString& root, const char* extra)
{
    const QByteArray cmd = "find '" + QFile::encodeName(root) + "' -type f " + extra + " > /dev/null";
    return medianMs(5, [&] {
        if (std::system(cmd.constData()) != 0) std::fprintf(stderr, "find failed\n");
    });
}

} // namespace

int main(int argc, char** argv)
{
    printLoad();
    const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString root = dir.path() + "/bilder";
    const auto g0 = Clock::now();
    const int made = makeTree(root, files);
    if (made != files) {
        std::fprintf(stderr, "could not make the tree\n");
        return 1;
    }
    std::printf("tree: %d files in 1000 folders, made in %.0f ms\n", made,
                std::chrono::duration<double, std::milli>(Clock::now() - g0).count());

    RunState state;
    state.settings.jpg = 1;
    state.settings.recursive = 1;
    state.settings.reihenfolge = kOrderNone;
    auto build = [&] {
        state.Folders = {root + "/"};
        BuildPictureList(state);
    };
    build(); // warm the directory cache for both contenders
    const double plainFind = findMs(root, "");
    const double statFind = findMs(root, "-printf '%T@ %p\\n'");
    const double scan = medianMs(5, build);
    std::printf("pictures found           %d\n", state.PictureCount());
    std::printf("find -type f             %8.1f ms\n", plainFind);
    std::printf("find -type f -printf %%T@ %8.1f ms (reads each file's time, as the scan must)\n", statFind);
    std::printf("BuildPictureList         %8.1f ms\n", scan);
    std::printf("ratio scan / find        %8.2f (goal: at most 2)\n", scan / plainFind);
    std::printf("ratio scan / find %%T@    %8.2f\n", scan / statFind);

    const PictureList scanned = state.pictureList;
    for (int order : {kOrderName, kOrderDate, kOrderRandom, kOrderNatural}) {
        const double ms = medianMs(3, [&] {
            PictureList list = scanned;
            SortPictureList(list, order, state.random);
        });
        std::printf("sort order %d             %8.1f ms\n", order, ms);
    }
    return 0;
}
