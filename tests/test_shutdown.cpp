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

// What a show leaves standing when its window unloads.
void prepareRun(RunState& st)
{
    Dc screen;
    QVERIFY(st.bildschirmkopie_dc.create(&screen, 8, 6));
    QVERIFY(st.desktop_dc.create(&screen, 8, 6));
    QVERIFY(st.neues_bild_dc.create(&screen, 8, 6));
    effekte_anlegen(st.effekte);
    for (int n = 1; n <= kEffectCount; ++n) {
        st.effekte[size_t(n)].verzoegerung = n * 1000 + 7;
        st.effekte[size_t(n)].schritt = n % 5 + 1;
    }
    st.effekte[12].verzoegerung = -3;
    st.laufmodus = "Saver";
    st.dimensionen = "1024 x 768";
    st.settings.letzter_effekt = 42;
    st.CurrentPictureIndex = 17;
}

bool buffersReleased(const RunState& st)
{
    return !st.bildschirmkopie_dc.exists() && !st.desktop_dc.exists() && !st.neues_bild_dc.exists();
}

// The file as another program would read it.
std::unique_ptr<QSettings> storeFile(const ScratchConfig& c)
{
    return std::make_unique<QSettings>(c.file(), QSettings::IniFormat);
}

// Runs the form without an event loop: records it and presses OK.
struct FormProbe {
    int shown = 0;
    QString caption;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    bool topmost = false;
    bool modal = false;
    bool fontsSet = true;
    bool closedByOk = false;
    bool hasImage = false;

    std::function<int(QDialog&)> runner()
    {
        return [this](QDialog& d) {
            ++shown;
            caption = d.windowTitle();
            topmost = d.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            modal = d.isModal();
            auto* label = d.findChild<QLabel*>("Meldung");
            text = label ? label->text() : QString("<no Meldung>");
            format = label ? label->textFormat() : Qt::AutoText;
            hasImage = d.findChild<QLabel*>("Image1") && !d.findChild<QLabel*>("Image1")->pixmap().isNull();
            for (QWidget* w : d.findChildren<QWidget*>())
                fontsSet = fontsSet && w->font().family() == "MS Shell Dlg";
            auto* ok = d.findChild<QPushButton*>("OKButton");
            d.show();
            if (ok && ok->text() == "OK") ok->click();
            closedByOk = !d.isVisible() && d.result() == QDialog::Accepted;
            return d.result();
        };
    }
};

} // namespace

class TestShutdown : public QObject {
    Q_OBJECT
    ScratchConfig config_;

private slots:
    void init() { QFile::remove(config_.file()); }
    void statistics_data();
    void statistics();
    void staleTimingValuesGo();
    void nothingSavedWithoutKey_data();
    void nothingSavedWithoutKey();
    void releasingTwiceIsHarmless();
    void generalDate();
    void ringSlots();
    void ringCounter_data();
    void ringCounter();
    void ringKeepsLineBreaks();
    void errorForm_data();
    void errorForm();
    void errorFormShowsCursor();
    void startUpShowsTheForm();
};

void TestShutdown::statistics_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("show ended by a key") << "delay" << "Saver" << "FORM_KEYDOWN ";
    QTest::newRow("show, two words") << "delay" << "Saver" << "PICTURE_KEYDOWN PICTURE_MOUSEMOVE ";
    QTest::newRow("preview") << "pdelay" << "Preferences" << "OK";
    QTest::newRow("settings dialog") << "pdelay" << "Settings" << "OK";
}

void TestShutdown::statistics()
{
    QFETCH(QString, key);
    QFETCH(QString, mode);
    QFETCH(QString, message);
    RunState st;
    prepareRun(st);
    st.laufmodus = mode;
    {
        Registry r;
        Shutdown(st, r, key, message, kWhen);
    }
    QVERIFY(buffersReleased(st));
    auto s = storeFile(config_);
    QCOMPARE(s->value("misc/lastrun").toString(), GeneralDate(kWhen));
    QCOMPARE(s->value("misc/caller").toString(), mode);
    QCOMPARE(s->value("misc/message").toString(), message);
    QCOMPARE(s->value("misc/dimensions").toString(), QString("1024 x 768"));
    QCOMPARE(s->value("misc/letzter_effekt").toString(), QString("42"));
    QCOMPARE(s->value("misc/letztes_bild").toString(), QString("17"));
    s->beginGroup(key);
    QCOMPARE(s->childKeys().size(), 2 * kEffectCount);
    for (int n = 1; n <= kEffectCount; ++n) {
        QCOMPARE(s->value(QString("D%1").arg(n)).toString(), QString::number(st.effekte[size_t(n)].verzoegerung));
        QCOMPARE(s->value(QString("S%1").arg(n)).toString(), QString::number(n % 5 + 1));
    }
    QCOMPARE(s->value("D12").toString(), QString("-3"));
    s->endGroup();
}

void TestShutdown::staleTimingValuesGo()
{
    {
        Registry r;
        r.WriteSetting("delay", "D99", "5");
        r.WriteSetting("delay", "0", "dummy");
        r.WriteSetting("delay", "D3", "1");
        r.WriteSetting("pdelay", "D3", "77");
    }
    RunState st;
    prepareRun(st);
    {
        Registry r;
        Shutdown(st, r, "delay", "FORM_KEYDOWN ", kWhen);
    }
    auto s = storeFile(config_);
    QVERIFY(!s->contains("delay/D99"));
    QVERIFY(!s->contains("delay/0"));
    QCOMPARE(s->value("delay/D3").toString(), QString("3007"));
    QCOMPARE(s->value("pdelay/D3").toString(), QString("77"));
}

void TestShutdown::nothingSavedWithoutKey_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("second show") << "NOT_UNIQUE";
    QTest::newRow("capture failed") << "OK";
}

void TestShutdown::nothingSavedWithoutKey()
{
    QFETCH(QString, message);
    RunState st;
    prepareRun(st);
    {
        Registry r;
        Shutdown(st, r, "", message, kWhen);
    }
    QVERIFY(buffersReleased(st));
    QVERIFY(!QFile::exists(config_.file()));
}

// A run that ends before its buffers exist (or ends twice) must not fail.
void TestShutdown::releasingTwiceIsHarmless()
{
    RunState st;
    Registry r;
    Shutdown(st, r, "", "OK", kWhen);
    prepareRun(st);
    Shutdown(st, r, "", "OK", kWhen);
    Shutdown(st, r, "", "OK", kWhen);
    QVERIFY(buffersReleased(st));
}

void TestShutdown::generalDate()
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QVERIFY2(GeneralDate(kWhen, german).startsWith("05.03.24 07:08:09"), qPrintable(GeneralDate(kWhen, german)));
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QVERIFY2(GeneralDate(kWhen, us).startsWith("3/5/24 7:08:09"), qPrintable(GeneralDate(kWhen, us)));
}

void TestShutdown::ringSlots()
{
    Registry r;
    for (int i = 1; i <= 11; ++i) {
        LogError(r, QString("Fehler %1").arg(i), kWhen.addSecs(i));
        QCOMPARE(r.ReadSetting("error", "numbers", ""), QString::number(i == 11 ? 1 : i));
    }
    r.sync();
    auto s = storeFile(config_);
    s->beginGroup("error");
    QCOMPARE(s->childKeys().size(), 11); // numbers and ten slots
    QCOMPARE(s->value("number0").toString(), QString("2024.03.05 07:08:20 Fehler 11"));
    QCOMPARE(s->value("number1").toString(), QString("2024.03.05 07:08:11 Fehler 2"));
    QCOMPARE(s->value("number9").toString(), QString("2024.03.05 07:08:19 Fehler 10"));
    QVERIFY(!s->contains("number10"));
}

void TestShutdown::ringCounter_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("next");
    QTest::newRow("4") << "4" << 5;
    QTest::newRow("9") << "9" << 10;
    QTest::newRow("10 wraps") << "10" << 1;
    QTest::newRow("0") << "0" << 1;
    QTest::newRow("edited: 57") << "57" << 1;
    QTest::newRow("edited: -3") << "-3" << 1;
    QTest::newRow("edited: text") << "abc" << 1;
}

void TestShutdown::ringCounter()
{
    QFETCH(QString, stored);
    QFETCH(int, next);
    Registry r;
    r.WriteSetting("error", "numbers", stored);
    LogError(r, "x", kWhen);
    QCOMPARE(r.ReadSetting("error", "numbers", ""), QString::number(next));
    QCOMPARE(r.ReadSetting("error", QString("number%1").arg(next - 1), ""), QString("2024.03.05 07:08:09 x"));
    QCOMPARE(r.EnumSettings("error").size(), size_t(2));
}

void TestShutdown::ringKeepsLineBreaks()
{
    const QString message = "Blendengruppe: Sonstiges\nBlende: Ohne Effekt\n\nFehler in BitBlt in blende_000\n/p/a b.jpg";
    {
        Registry r;
        LogError(r, message, kWhen);
    }
    Registry again;
    QCOMPARE(again.ReadSetting("error", "number0", ""), "2024.03.05 07:08:09 " + message);
}

void TestShutdown::errorForm_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("caption");
    QTest::newRow("show") << "Saver" << "Velmirano - Fehlerinformation (Saver)";
    QTest::newRow("before the mode is known") << "" << "Velmirano - Fehlerinformation ()";
    QTest::newRow("settings") << "Settings" << "Velmirano - Fehlerinformation (Settings)";
}

void TestShutdown::errorForm()
{
    QFETCH(QString, mode);
    QFETCH(QString, caption);
    RunState st;
    st.laufmodus = mode;
    FormProbe probe;
    st.execModal = probe.runner();
    const QString message = "Fehler in StretchBlt in Modul Init_Screen\n<b>/home/u/x.jpg</b>";
    ShowErrorInfo(st, message);
    QCOMPARE(probe.shown, 1);
    QCOMPARE(probe.caption, caption);
    QCOMPARE(probe.text, message);
    QCOMPARE(probe.format, Qt::PlainText);
    QVERIFY(probe.topmost);
    QVERIFY(probe.modal);
    QVERIFY(probe.fontsSet);
    QVERIFY(probe.hasImage);
    QVERIFY(probe.closedByOk);
    QVERIFY(st.messung_auslassen);
}

void TestShutdown::errorFormShowsCursor()
{
    RunState st;
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    FormProbe probe;
    st.execModal = probe.runner();
    ShowErrorInfo(st, "x");
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestShutdown::startUpShowsTheForm()
{
    RunState st;
    FormProbe probe;
    st.execModal = probe.runner();
    StartServices services;
    services.showErrorInfo(st, "VelmiranoIS.DLL fehlt im Windows-Systemverzeichnis!!!");
    QCOMPARE(probe.shown, 1);
    QCOMPARE(probe.text, QString("VelmiranoIS.DLL fehlt im Windows-Systemverzeichnis!!!"));
    QCOMPARE(probe.caption, QString("Velmirano - Fehlerinformation ()"));
}

QTEST_MAIN(TestShutdown)
#include "test_shutdown.moc"
