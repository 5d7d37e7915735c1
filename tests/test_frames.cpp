// Every frame of every effect against the committed table: a drawing-order
// fault that still ends on the right picture shows up as a different step
// chain. Regenerate only on purpose: velmirano-tool frames --write FILE.
#include "framerun.h"

#include <QtTest>

#include <memory>

using namespace vm;

class TestFrames : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        bool found = false;
        committed_ = frames::readTable(QStringLiteral(VELMIRANO_FRAMES), &found);
        QVERIFY2(found, VELMIRANO_FRAMES);
        pictures_ = std::make_unique<frames::AlbumPictures>();
    }

    void everyStep_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<QSize>("size");
        for (const frames::TableRow& r : frames::tableRows())
            QTest::addRow("%d %dx%d", r.effect, r.size.width(), r.size.height()) << r.effect << r.size;
    }

    void everyStep()
    {
        QFETCH(int, effect);
        QFETCH(QSize, size);
        const frames::Record r = frames::record(effect, size.width(), size.height(), pictures_->files());
        const auto it = committed_.find(r.key());
        QVERIFY2(it != committed_.end(), qPrintable(QStringLiteral("effect %1 missing from the table").arg(r.key())));
        QVERIFY2(it->second == r.line(),
                 qPrintable(QStringLiteral("effect %1: %2").arg(r.key(), frames::difference(r.line(), it->second))));
    }

private:
    std::map<QString, QString> committed_;
    std::unique_ptr<frames::AlbumPictures> pictures_;
};

QTEST_GUILESS_MAIN(TestFrames)
#include "test_frames.moc"
