// Opens a dialog as a person would see it, for the screenshots in docs/:
// dialog_shots settings|stamp [seconds]. Ends by itself.
#include "dialogs/effecttree.h"
#include "dialogs/optionsdialog.h"
#include "dialogs/stampdialog.h"
#include "platform/qttarget.h"
#include "platform/registry.h"
#include "state/runstate.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTimer>

using namespace vm;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTimer::singleShot((argc > 2 ? atoi(argv[2]) : 5) * 1000, &app, &QCoreApplication::quit);
    RunState state;
    Registry registry;
    effekte_anlegen(state.effekte);
    for (int n = 1; n <= kEffectCount; ++n) state.effekte[std::size_t(n)].aktiv = n % 3 == 0 ? 0 : 1;
    state.settings = {.effekt_nutzung = 2, .png = 1, .text = "Urlaub am See%\\%T", .schriftart = "DejaVu Sans",
                      .hoehe = 22, .position = 9, .offsetx = -12, .offsety = -10, .gewicht = 700, .rahmen = 1,
                      .hintergrund = 1, .hintergrundfarbe = 0x402010};
    state.Folders = {QDir::homePath() + "/Bilder/Urlaub/", QDir::homePath() + "/Bilder/Familie/"};
    if (argc > 1 && qstrcmp(argv[1], "stamp") == 0) {
        Textstempel stamp(state.settings, Choosers::platform());
        stamp.move(40, 40);
        stamp.show();
        return app.exec();
    }
    Einstellungen dialog(state, registry);
    dialog.fill();
    dialog.move(20, 20);
    dialog.show();
    dialog.Timer1().stop(); // a picture in the preview instead of the stand-in show's plain colour
    QTimer::singleShot(200, &dialog, [&] {
        PictureBox& box = dialog.preview();
        QImage view(reinterpret_cast<uchar*>(box.dc()->bitmap()->row(0)), int(box.width()), int(box.height()),
                    QImage::Format_RGB32);
        QPainter(&view).drawImage(view.rect(), samplePhotograph());
        box.present();
        dialog.tree().markRunning(0, 71, true);
    });
    return app.exec();
}
