// Opens one of the dialogs as a person would see it, for screenshots:
// dialog_shots settings|stamp|info [seconds]. Ends by itself.
#include "dialogs/effecttree.h"
#include "dialogs/infodialog.h"
#include "dialogs/optionsdialog.h"
#include "dialogs/stampdialog.h"
#include "platform/gdi.h"
#include "platform/qttarget.h"
#include "platform/registry.h"
#include "state/runstate.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTimer>

using namespace vm;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("settings");
    const int seconds = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 5;
    // A modal chooser runs its own loop, which quit() does not end.
    QTimer::singleShot(seconds * 1000, &app, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        QCoreApplication::quit();
    });

    RunState state;
    Registry registry;
    effekte_anlegen(state.effekte);
    for (int n = 1; n <= kEffectCount; ++n) state.effekte[std::size_t(n)].aktiv = n % 3 == 0 ? 0 : 1;
    state.settings.effekt_nutzung = 2;
    state.settings.png = 1;
    state.Folders = {QDir::homePath() + QStringLiteral("/Bilder/Urlaub/"), QDir::homePath() + QStringLiteral("/Bilder/Familie/")};

    if (what == QLatin1String("folder") || what == QLatin1String("colour")) {
        QWidget owner;
        owner.setWindowTitle(QStringLiteral("Velmirano - Optionen"));
        owner.setGeometry(20, 40, 1000, 560);
        owner.show();
        const Choosers platform = Choosers::platform();
        if (what == QLatin1String("folder"))
            platform.chooseFolder(&owner, QDir::homePath() + QStringLiteral("/Bilder/"),
                                  QStringLiteral("Bitte Verzeichnis mit Bildern auswählen"), QStringLiteral("Verzeichniswahl"));
        else
            platform.chooseColour(&owner, QStringLiteral("Hintergrundfarbe"), 0x3060c0);
        return 0;
    }
    if (what == QLatin1String("stamp")) {
        state.settings.text = QStringLiteral("Urlaub am See%\\%T");
        state.settings.hoehe = 22;
        state.settings.position = 9;
        state.settings.offsetx = -12;
        state.settings.offsety = -10;
        state.settings.rahmen = 1;
        state.settings.hintergrund = 1;
        state.settings.hintergrundfarbe = 0x402010;
        state.settings.gewicht = 700;
        state.settings.schriftart = QStringLiteral("DejaVu Sans");
        auto* dialog = new Textstempel(state.settings, Choosers::platform());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->move(40, 40);
        dialog->show();
        return app.exec();
    }
    Einstellungen dialog(state, registry);
    dialog.fill();
    dialog.move(20, 20);
    dialog.show();
    // A picture in the preview instead of the stand-in show's plain colour.
    dialog.Timer1().stop();
    QTimer::singleShot(200, &dialog, [&] {
        PictureBox& box = dialog.preview();
        QImage view(reinterpret_cast<uchar*>(box.dc()->bitmap()->row(0)), int(box.width()), int(box.height()),
                    QImage::Format_RGB32);
        QPainter p(&view);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(view.rect(), samplePhotograph());
        p.end();
        box.present();
        dialog.tree().markRunning(0, 71, true);
        if (what == QLatin1String("info")) {
            auto* info = new Inform(state, &dialog);
            info->setAttribute(Qt::WA_DeleteOnClose);
            info->show();
        }
    });
    return app.exec();
}
