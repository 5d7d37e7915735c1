// The decoder process: results as decoding here gives them; crash, memory and
// deadline as loading errors; decoding ahead per request; the sandbox.
#include "hostile.h"
#include "imaging/decoder.h"
#include "pictures/decoding.h"
#include "imaging/loading.h"
#include "pictures/showstep.h"
#include "platform/childprocess.h"
#include "platform/registry.h"
#include "start/slideshow.h"
#include "showutil.h"
#include "state/runstate.h"
#include "testutil.h"
#include "transitions/catalogue.h"
#include "transitions/frame.h"

#include <QTemporaryDir>
#include <QBuffer>
#include <QtTest>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

using namespace vm;

Q_DECLARE_METATYPE(std::optional<QSizeF>)

namespace {

// A metafile that writes "Velm": playing it needs the system's fonts.
QByteArray metafileWithText()
{
    using hostile::le16, hostile::le32;
    return hostile::wmf(le32(5) + le16(0x020B) + le16(0) + le16(0) + le32(5) + le16(0x020C) + le16(300) + le16(900) +
                            le32(8) + le16(0x0521) + le16(4) + "Velm" + le16(100) + le16(50), // TextOut
                        7, 900, 300, 960);
}

// What crossed the boundary equals what was decoded here, bit for bit.
void compareDecoded(const DecodedPicture& got, const DecodedPicture& want)
{
    QCOMPARE(got.loadError + got.fitError, want.loadError + want.fitError);
    QCOMPARE(got.picture.rgb.size(), want.picture.rgb.size());
    // The decoder also says how it was confined; decoding here does not.
    // (A file the show could not open reaches no decoder.)
    if (!got.loadError.contains(QStringLiteral("IS_OpenFileSource")))
        QCOMPARE(got.confinement, std::optional<SandboxReport>(ExpectedConfinement()));
    DecodedPicture same = got;
    same.confinement.reset();
    QVERIFY(EncodeDecoded(same) == EncodeDecoded(want));
}

} // namespace

class TestDecoder : public QObject {
    Q_OBJECT
    ScratchConfig config_;
    QTemporaryDir dir_;
    QString file(const char* name) const { return dir_.path() + "/" + name; }

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void failures_data();
    void failures();
    void parseRefuses_data();
    void parseRefuses();
    void answerSides_data();
    void answerSides();
    void metadataCaps();
    void decodedAhead_data();
    void decodedAhead();
    void tickDecodesAhead();
    void missingDecoder();
    void hangingCheck();
};

void TestDecoder::initTestCase()
{
    QVERIFY(dir_.isValid());
    // Paths holding these words make the decoder go wrong.
    qputenv("VELMIRANO_DECODER_FAULT", "crash:boom,hang:stuck,hog:greedy");
    QVERIFY(noise(2000, 1500).save(file("photo.jpg"), "JPEG", 90));
    const QImage red = hostile::solid(40, 30, 0xffff0000);
    for (const char* name : {"boom.png", "stuck.png", "greedy.png", "red.png"}) QVERIFY(red.save(file(name)));
    QVERIFY(writeFile(file("text.wmf"), metafileWithText()));
    // A comment in UTF-16: reading it converts character sets.
    QVERIFY(red.save(file("comment.jpg"), "JPEG"));
    auto image = Exiv2::ImageFactory::open(file("comment.jpg").toStdString());
    image->readMetadata();
    image->exifData()["Exif.Photo.UserComment"] = "charset=Unicode Grüße";
    image->writeMetadata();
}

void TestDecoder::roundTrip_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("rotate");
    QTest::addColumn<std::optional<QSizeF>>("surface");
    QTest::addColumn<bool>("expand");
    const std::optional<QSizeF> none;
    QTest::newRow("jpeg reduced and fitted") << file("photo.jpg") << false << std::optional(QSizeF(320, 240)) << false;
    QTest::newRow("turned by EXIF, metadata") << testData("orient6.jpg") << true << std::optional(QSizeF(64, 48)) << false;
    QTest::newRow("stamp metadata") << testData("stamp/img01.jpg") << true << std::optional(QSizeF(100, 75)) << false;
    QTest::newRow("UTF-16 comment") << file("comment.jpg") << false << std::optional(QSizeF(100, 75)) << false;
    QTest::newRow("png enlarged") << testData("quadrants.png") << false << std::optional(QSizeF(201.5, 150)) << true;
    QTest::newRow("metafile with text") << file("text.wmf") << false << none << false;
    QTest::newRow("truncated") << testData("truncated.jpg") << true << none << false;
    QTest::newRow("missing") << file("nowhere.jpg") << true << none << false;
}

void TestDecoder::roundTrip()
{
    QFETCH(QString, path);
    QFETCH(bool, rotate);
    QFETCH(std::optional<QSizeF>, surface);
    QFETCH(bool, expand);
    const DecodeRequest request = MakeDecodeRequest(path, rotate, surface, expand, true);
    PictureDecoder decoder;
    const std::optional<DecodedPicture> there = decoder.obtain(request, {});
    QVERIFY(there);
    compareDecoded(*there, DecodeInProcess(request));
    QCOMPARE(decoder.started(), 1);
}

void TestDecoder::failures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("deadline");
    QTest::addColumn<QString>("words");
    // A crash and a deadline are the decoder's failures, not the file's:
    // numbers and words of their own. The generous deadlines keep a busy
    // machine from turning a crash or the memory limit into a timeout.
    QTest::newRow("crash") << "boom.png" << QByteArray("60000") << QStringLiteral("Fehler 91 in IS_ReadXXX: Bilddecoder abgestürzt");
    QTest::newRow("memory limit") << "greedy.png" << QByteArray("60000") << QStringLiteral("Fehler 9 in IS_ReadXXX");
    QTest::newRow("deadline") << "stuck.png" << QByteArray("300")
                              << QStringLiteral("Fehler 90 in IS_ReadXXX: Zeitlimit beim Lesen überschritten");
}

void TestDecoder::failures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, deadline);
    QFETCH(QString, words);
    qputenv("VELMIRANO_DECODER_DEADLINE_MS", deadline);
    PictureDecoder decoder;
    RgbImage out;
    const QString path = dir_.path() + "/" + name;
    const QString message = DecodePicture(decoder, path, false, QSizeF(64, 48), false, out);
    qunsetenv("VELMIRANO_DECODER_DEADLINE_MS");
    QCOMPARE(message, words + "\n" + path);
    QVERIFY(out.empty());
}

void TestDecoder::parseRefuses_data()
{
    QTest::addColumn<QSizeF>("surface");
    QTest::addColumn<int>("cut");
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("as it came") << QSizeF(40, 30) << 0 << QByteArray() << true;
    QTest::newRow("cut short") << QSizeF(40, 30) << 1 << QByteArray() << false;
    QTest::newRow("trailing bytes") << QSizeF(40, 30) << 0 << QByteArray("x") << false;
    QTest::newRow("larger than the surface") << QSizeF(20, 15) << 0 << QByteArray() << false;
}

// A decoder that was taken over cannot hand back more than was asked for.
void TestDecoder::parseRefuses()
{
    QFETCH(QSizeF, surface);
    QFETCH(int, cut);
    QFETCH(QByteArray, extra);
    QByteArray bytes = EncodeDecoded(DecodeInProcess(MakeDecodeRequest(file("red.png"), false, QSizeF(40, 30), false, false)));
    bytes.chop(cut);
    QTEST(ParseDecoded(bytes + extra, MakeDecodeRequest(file("red.png"), false, surface, false, false)).has_value(),
          "accepted");
}

// A decoder's answer whose sides disagree with the fit of its stored size
// is refused, however few bytes it has: a thin strip of the right byte count
// would otherwise keep some transitions from ever finishing.
void TestDecoder::answerSides_data()
{
    QTest::addColumn<std::optional<QSizeF>>("surface");
    QTest::addColumn<bool>("expand");
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<QSize>("sides");
    QTest::addColumn<bool>("accepted");
    const std::optional<QSizeF> screen = QSizeF(1024, 768), none;
    QTest::newRow("shrunk as the show fits") << screen << false << QSize(4000, 3000) << QSize(1024, 768) << true;
    QTest::newRow("shrunk, one row short") << screen << false << QSize(4000, 3000) << QSize(1024, 767) << false;
    QTest::newRow("strip with a screen's bytes") << screen << false << QSize(4000, 3000) << QSize(393216, 2) << false;
    QTest::newRow("strip claiming to be stored so") << screen << false << QSize(393216, 2) << QSize(393216, 2) << false;
    QTest::newRow("thin picture fitted") << screen << false << QSize(393216, 2) << QSize(1024, 1) << true;
    QTest::newRow("small keeps its size") << screen << false << QSize(40, 30) << QSize(40, 30) << true;
    QTest::newRow("small, sides swapped") << screen << false << QSize(40, 30) << QSize(30, 40) << false;
    QTest::newRow("small, enlarged unasked") << screen << false << QSize(40, 30) << QSize(1024, 768) << false;
    QTest::newRow("small enlarged") << screen << true << QSize(40, 30) << QSize(1024, 768) << true;
    QTest::newRow("enlarged, odd surface") << std::optional(QSizeF(201.5, 150)) << true << QSize(40, 30)
                                         << QSize(200, 150) << true;
    QTest::newRow("no stored size") << screen << false << QSize(0, 0) << QSize(40, 30) << false;
    QTest::newRow("unfitted as stored") << none << false << QSize(40, 30) << QSize(40, 30) << true;
    QTest::newRow("unfitted, stored beyond any reader") << none << false << QSize(2000000, 1) << QSize(40, 30)
                                                       << false;
}

void TestDecoder::answerSides()
{
    QFETCH(std::optional<QSizeF>, surface);
    QFETCH(bool, expand);
    QFETCH(QSize, stored);
    QFETCH(QSize, sides);
    DecodedPicture d;
    d.stored = stored;
    QVERIFY(d.picture.allocate(sides.width(), sides.height()));
    const std::optional<DecodedPicture> parsed =
        ParseDecoded(EncodeDecoded(d), MakeDecodeRequest("x.png", false, surface, expand, false));
    QTEST(parsed.has_value(), "accepted");
    if (parsed) QCOMPARE(QSize(parsed->picture.width, parsed->picture.height), sides);
}

// Each value at most 64 KB, the whole at most 1 MB: the largest go first.
void TestDecoder::metadataCaps()
{
    DecodedPicture d;
    QVERIFY(d.picture.allocate(1, 1));
    d.stored = QSize(1, 1);
    d.metadata.exif.push_back({1, "Image", "short", {}});
    for (int i = 0; i < 20; ++i) d.metadata.exif.push_back({std::uint16_t(100 + i), "Image", QString(40000, 'a'), {}});
    d.metadata.iptc.push_back({2, 25, QByteArray(70000, 'k')});
    const auto parsed = ParseDecoded(EncodeDecoded(d), MakeDecodeRequest("x", false, std::nullopt, false, true));
    QVERIFY(parsed);
    const PictureMetadata& m = parsed->metadata;
    QCOMPARE(m.exif[0].text, QString("short"));
    QCOMPARE(m.iptc[0].value.size(), 65536);
    // 64 KB each after the cut: 14 fit beside the small ones, 6 are emptied.
    for (std::size_t i = 1; i <= 20; ++i) QCOMPARE(m.exif[i].text.size(), i <= 14 ? 32768 : 0);
}

void TestDecoder::decodedAhead_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("processes");
    QTest::newRow("same request") << "" << 1;
    QTest::newRow("turning switched on") << "rotate" << 2;
    QTest::newRow("other surface") << "surface" << 2;
    QTest::newRow("other surface, ahead again") << "again" << 2;
    QTest::newRow("stamp switched on") << "metadata" << 2;
    QTest::newRow("file rewritten") << "file" << 2;
    QTest::newRow("same length, new time") << "length" << 2;
}

// A picture decoded ahead serves only the very request it was made for.
void TestDecoder::decodedAhead()
{
    QFETCH(QString, change);
    const QString path = file("ahead.jpg");
    QFile::remove(path);
    QVERIFY(QFile::copy(testData("orient6.jpg"), path));
    // Another picture of exactly the same length (padded after its end), for
    // a file replaced by one that only its time tells apart.
    QByteArray same;
    if (change == "length") {
        QBuffer buffer(&same);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && hostile::solid(64, 48, 0xff0000ff).save(&buffer, "JPEG"));
        const qint64 length = QFileInfo(path).size();
        QVERIFY(same.size() <= length);
        same.append(QByteArray(length - same.size(), '\0'));
    }
    PictureDecoder decoder;
    decoder.decodeAhead(MakeDecodeRequest(path, false, QSizeF(64, 48), false, false));
    if (change == "file") QVERIFY(hostile::solid(50, 20, 0xff0000ff).save(path, "JPEG"));
    if (change == "length") {
        const QDateTime before = QFileInfo(path).lastModified();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.write(same) == same.size());
        f.close();
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(before.addSecs(2), QFileDevice::FileModificationTime));
        f.close();
        QCOMPARE(QFileInfo(path).size(), qint64(same.size()));
    }
    const bool smaller = change == "surface" || change == "again";
    const DecodeRequest asked =
        MakeDecodeRequest(path, change == "rotate", QSizeF(smaller ? 32 : 64, 48), false, change == "metadata");
    if (change == "again") { // the new request replaces the old one at once
        decoder.decodeAhead(asked);
        QCOMPARE(decoder.started(), 2);
    }
    const std::optional<DecodedPicture> got = decoder.obtain(asked, {});
    QVERIFY(got);
    compareDecoded(*got, DecodeInProcess(asked));
    QTEST(decoder.started(), "processes");
}

// The show's tick starts decoding the next picture once it has shown its own.
void TestDecoder::tickDecodesAhead()
{
    Registry registry;
    RunState st;
    PictureBox box;
    prepareShow(st, 64, 48, {file("red.png"), testData("quadrants.png")});
    box.resize(64, 48);
    box.show();
    Init_Screen(st, box);
    Slideshow show(st, registry, box, {});
    show.start();
    QTRY_COMPARE(st.CurrentPictureIndex, 1);
    QTRY_VERIFY(!show.tickRunning());
    QCOMPARE(st.decoder.started(), 2);
    ShowNextPicture(st, registry, box); // takes the second picture as it was decoded
    QCOMPARE(st.decoder.started(), 2);
}

void TestDecoder::missingDecoder()
{
    PictureDecoder decoder;
    decoder.program = file("no-decoder");
    RgbImage out;
    QCOMPARE(DecodePicture(decoder, file("red.png"), false, QSizeF(64, 48), false, out),
             "Fehler 11 in IS_ReadXXX\n" + file("red.png"));
    const QByteArray real = qgetenv("VELMIRANO_DECODER");
    QVERIFY(DecoderAvailable());
    qputenv("VELMIRANO_DECODER", file("no-decoder").toUtf8());
    QVERIFY(!DecoderAvailable());
    qputenv("VELMIRANO_DECODER", real);
}

// A decoder whose check never answers: the start gives up after the limit,
// and events are served while it waits.
void TestDecoder::hangingCheck()
{
    const QString hanging = file("hanging-decoder");
    QFile script(hanging);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec /bin/sleep 60\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray real = qgetenv("VELMIRANO_DECODER");
    qputenv("VELMIRANO_DECODER", hanging.toUtf8());
    int served = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&served] { ++served; });
    tick.start(50);
    QElapsedTimer clock;
    clock.start();
    const bool available = DecoderAvailable(1000);
    const qint64 took = clock.elapsed();
    qputenv("VELMIRANO_DECODER", real);
    QVERIFY(!available);
    QVERIFY2(took >= 900, qPrintable(QString::number(took)));
    QVERIFY2(took < 5000, qPrintable(QString::number(took)));
    QVERIFY2(served >= 5, qPrintable(QString::number(served)));
}

QTEST_MAIN(TestDecoder)
#include "test_decoder.moc"
