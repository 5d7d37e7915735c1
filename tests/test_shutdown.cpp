// Shutdown's writes, the error ring and the error form, read back from the
// settings file of a scratch store.
#include "platform/registry.h"
#include "start/errinfo.h"
#include "start/errorlog.h"
#include "start/shutdown.h"
#include "start/startup.h"
#include "state/runstate.h"
#include "testutil.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using namespace vm;

namespace {

const QDateTime kWhen(QDate(2024, 3, 5), QTime(7, 8, 9));

QStringList subkey(const ScratchConfig& c, const QString& key)
{
    QSettings s(c.file(), QSettings::IniFormat);
    s.beginGroup(key);
    QStringList all;
    for (const QString& k : s.childKeys()) all << k + '=' + s.value(k).toString();
    all.sort();
    return all;
}

} // namespace

class TestShutdown : public QObject {
    Q_OBJECT
    ScratchConfig config_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void statistics_data();
    void statistics();
    void ring_data();
    void ring();
    void errorForm_data();
    void errorForm();
};

void TestShutdown::statistics_data()
{
    QTest::addColumn<QString>("key"); // empty: a run that saves nothing
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("show ended by a key") << "delay" << "Saver" << "PICTURE_KEYDOWN PICTURE_MOUSEMOVE ";
    QTest::newRow("preview") << "pdelay" << "Preferences" << "OK";
    QTest::newRow("second show") << "" << "Saver" << "NOT_UNIQUE";
}

void TestShutdown::statistics()
{
    QFETCH(QString, key);
    QFETCH(QString, mode);
    QFETCH(QString, message);
    {
        Registry r; // what earlier runs left: stale names go, the other mode's list stays
        r.RewriteList("delay", {{"D99", "5"}, {"0", "dummy"}, {"D3", "1"}});
        r.RewriteList("pdelay", {{"D3", "77"}});
    }
    const QStringList before = subkey(config_, key == "delay" ? "pdelay" : "delay");
    RunState st;
    Dc screen;
    for (BufferTriple* dc : {&st.bildschirmkopie_dc, &st.desktop_dc, &st.neues_bild_dc}) QVERIFY(dc->create(&screen, 8, 6));
    QStringList timings;
    for (int n = 1; n <= kEffectCount; ++n) {
        st.effekte[size_t(n)].verzoegerung = n == 12 ? -3 : n * 1000 + 7;
        st.effekte[size_t(n)].schritt = n % 5 + 1;
        timings << QString("D%1=%2").arg(n).arg(n == 12 ? -3 : n * 1000 + 7) << QString("S%1=%2").arg(n).arg(n % 5 + 1);
    }
    timings.sort();
    st.laufmodus = mode;
    st.dimensionen = "1024 x 768";
    st.settings.letzter_effekt = 42;
    st.CurrentPictureIndex = 17;
    {
        Registry r;
        Shutdown(st, r, key, message, kWhen);
        Shutdown(st, r, "", message, kWhen); // releasing twice is harmless
    }
    QVERIFY(!st.bildschirmkopie_dc.exists() && !st.desktop_dc.exists() && !st.neues_bild_dc.exists());
    if (key.isEmpty()) {
        QCOMPARE(subkey(config_, "misc"), QStringList());
        return;
    }
    QCOMPARE(subkey(config_, key), timings);
    QCOMPARE(subkey(config_, key == "delay" ? "pdelay" : "delay"), before);
    QCOMPARE(subkey(config_, "misc"),
             (QStringList{"caller=" + mode, "dimensions=1024 x 768", "lastrun=" + GeneralDate(kWhen), "letzter_effekt=42",
                          "letztes_bild=17", "message=" + message}));
    QVERIFY(GeneralDate(kWhen, QLocale(QLocale::German, QLocale::Germany)).startsWith("05.03.24 07:08:09"));
}

void TestShutdown::ring_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("next");
    QTest::newRow("9") << "9" << 10;
    QTest::newRow("10 wraps") << "10" << 1;
    QTest::newRow("edited: 57") << "57" << 1;
    QTest::newRow("edited: text") << "abc" << 1;
}

void TestShutdown::ring()
{
    QFETCH(QString, stored);
    QFETCH(int, next);
    {
        Registry r;
        r.WriteSetting("error", "numbers", stored);
        LogError(r, "x\ny", kWhen);
    }
    QCOMPARE(subkey(config_, "error"),
             (QStringList{QString("number%1=2024.03.05 07:08:09 x\ny").arg(next - 1), QString("numbers=%1").arg(next)}));
}

void TestShutdown::errorForm_data()
{
    QTest::addColumn<QString>("mode"); // empty: start-up's own route, before the mode is known
    QTest::newRow("show") << "Saver";
    QTest::newRow("start-up") << "";
}

// Run without an event loop: recorded and answered with OK.
void TestShutdown::errorForm()
{
    QFETCH(QString, mode);
    RunState st;
    st.laufmodus = mode;
    QStringList seen;
    st.execModal = [&](QDialog& d) {
        auto* label = d.findChild<QLabel*>("Meldung");
        seen << d.windowTitle() << label->text() << QString::number(label->textFormat())
             << QString::number(d.isModal() && d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        d.show();
        d.findChild<QPushButton*>("OKButton")->click();
        seen << QString::number(!d.isVisible() && d.result() == QDialog::Accepted);
        return d.result();
    };
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    const QString message = "Fehler in StretchBlt in Modul Init_Screen\n<b>/home/u/x.jpg</b>";
    if (mode.isEmpty())
        StartServices().showErrorInfo(st, message);
    else
        ShowErrorInfo(st, message);
    QCOMPARE(seen, (QStringList{"Velmirano - Fehlerinformation (" + mode + ")", message,
                                QString::number(Qt::PlainText), "1", "1"}));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr); // the pointer shows over the form
    QVERIFY(st.messung_auslassen);
}

QTEST_MAIN(TestShutdown)
#include "test_shutdown.moc"
