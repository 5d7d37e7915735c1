// Runs the decoders over every file of the fuzz corpus and of the crash
// regressions: none may crash or break the decoder's promises, and the
// pictures of our own making in the corpus still decode.
#include "fuzz_targets.h"

#include "platform/imagelib.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace vm;

class TestFuzzReplay : public QObject {
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
};

void TestFuzzReplay::replay_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("format");
    int rows = 0;
    for (const char* format : {"pcx", "tga"})
        for (const char* kind : {"corpus", "regressions"}) {
            const QDir dir(QStringLiteral(VELMIRANO_FUZZ_DIR "/%1/%2").arg(kind, format));
            for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
                if (name == QLatin1String(".gitkeep")) continue;
                QTest::newRow(qPrintable(QString("%1/%2/%3").arg(kind, format, name)))
                    << dir.filePath(name) << QString(format);
                ++rows;
            }
        }
    QVERIFY2(rows > 20, "the corpus is missing");
}

void TestFuzzReplay::replay()
{
    QFETCH(QString, path);
    QFETCH(QString, format);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto* d = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const int error = format == "pcx" ? FuzzPcx(d, std::size_t(bytes.size())) : FuzzTga(d, std::size_t(bytes.size()));
    // The seeds we made ourselves are good pictures unless their name says otherwise.
    const QString name = QFileInfo(path).fileName();
    const bool bad = name.startsWith("truncated") || name.startsWith("huge") || !name.contains('.');
    if (!bad && path.contains("/corpus/")) QCOMPARE(error, int(kIsOk));
}

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "test_fuzz_replay.moc"
