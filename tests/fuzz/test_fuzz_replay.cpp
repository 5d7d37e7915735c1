// Runs every fuzz target over its corpus and its crash regressions: none
// may crash or break a promise that fuzz_targets.cpp checks, and the seeds
// named good-* (and the PCX/TGA seeds with an extension) are pictures.
#include "fuzz_targets.h"

#include "platform/imagelib.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <functional>

using namespace vm;

namespace {

using Target = std::function<int(const std::uint8_t*, std::size_t)>;

const QMap<QString, Target>& targets()
{
    static const QMap<QString, Target> map = [] {
        QMap<QString, Target> m;
        m["pcx"] = FuzzPcx;
        m["tga"] = FuzzTga;
        m["metadata"] = [](const std::uint8_t* d, std::size_t n) { FuzzMetadata(d, n); return 0; };
        m["names"] = [](const std::uint8_t* d, std::size_t n) { FuzzNames(d, n); return 0; };
        for (const char* ext : {"jpg", "bmp", "tif", "pcx", "png", "gif", "tga", "wmf"}) {
            const QString upper = QString(ext).toUpper();
            m[QStringLiteral("load_") + ext] = [upper](const std::uint8_t* d, std::size_t n) { return FuzzLoad(upper, d, n); };
        }
        return m;
    }();
    return map;
}

} // namespace

class TestFuzzReplay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { FuzzLimits(); }
    void replay_data();
    void replay();
};

void TestFuzzReplay::replay_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("picture");
    QSet<QString> seeded;
    for (const QString& target : targets().keys())
        for (const char* kind : {"corpus", "regressions"}) {
            const QDir dir(QStringLiteral(VELMIRANO_FUZZ_DIR "/%1/%2").arg(kind, target));
            for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
                if (name == QLatin1String(".gitkeep")) continue;
                const bool ownSeed = (target == "pcx" || target == "tga") && name.contains('.') &&
                                     !name.startsWith("truncated") && !name.startsWith("huge");
                QTest::newRow(qPrintable(QString("%1/%2/%3").arg(kind, target, name)))
                    << dir.filePath(name) << target
                    << (QString(kind) == "corpus" && (name.startsWith("good-") || ownSeed));
                if (QString(kind) == "corpus") seeded << target;
            }
        }
    // Every target has seeds: a missing corpus would make its fuzzer blind.
    QCOMPARE(seeded.size(), targets().size());
}

void TestFuzzReplay::replay()
{
    QFETCH(QString, path);
    QFETCH(QString, target);
    QFETCH(bool, picture);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const int error = targets()[target](reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    if (picture) QCOMPARE(error, int(kIsOk));
}

QTEST_MAIN(TestFuzzReplay)
#include "test_fuzz_replay.moc"
