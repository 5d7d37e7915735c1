// Every fuzz target over its corpus and its crash regressions: none may
// crash or break a promise that fuzz_targets.cpp checks, and the seeds
// named good-* (and the decoders' own seeds with an extension) are pictures.
#include "fuzz_targets.h"

#include <QDir>
#include <QtTest>

using namespace vm;

class TestFuzzReplay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { FuzzLimits(); }

    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("picture");
        for (const QString& target : QString(VELMIRANO_FUZZ_TARGETS).split(','))
            for (const QString kind : {"corpus", "regressions"}) {
                const QDir dir(QStringLiteral(VELMIRANO_FUZZ_DIR "/%1/%2").arg(kind, target));
                const QStringList names = dir.entryList(QDir::Files, QDir::Name);
                // A target without seeds would leave its fuzzer blind.
                QVERIFY2(kind != "corpus" || !names.isEmpty(), qPrintable(target));
                for (const QString& name : names) {
                    const bool decoderSeed = (target == "pcx" || target == "tga") && name.contains('.') &&
                                             !name.startsWith("truncated") && !name.startsWith("huge");
                    QTest::addRow("%s/%s/%s", qPrintable(kind), qPrintable(target), qPrintable(name))
                        << dir.filePath(name) << target << (kind == "corpus" && (name.startsWith("good-") || decoderSeed));
                }
            }
    }
    void replay()
    {
        QFETCH(QString, path);
        QFETCH(QString, target);
        QFETCH(bool, picture);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const int error = FuzzTarget(target, reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        if (picture) QCOMPARE(error, 0);
    }
};

QTEST_MAIN(TestFuzzReplay)
#include "test_fuzz_replay.moc"
