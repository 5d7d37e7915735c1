#include "platform/choosers.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

namespace vm {

namespace {

QString captioned(const QString& title)
{
    return QLatin1String(kApplicationTitle) + QStringLiteral(" - ") + title;
}

void showMessage(QWidget* owner, MessageIcon icon, const QString& title, const QString& text)
{
    QMessageBox::Icon kind = QMessageBox::Information;
    if (icon == MessageIcon::Exclamation) kind = QMessageBox::Warning;
    if (icon == MessageIcon::Critical) kind = QMessageBox::Critical;
    // Messages keep the Windows line ends of their wording; Qt's text layout
    // wants plain line feeds.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(kind, title, shown, QMessageBox::Ok, owner);
    box.exec();
}

// Qt's own directory chooser inside a dialog that also shows the prompt;
// a parented dialog is centred over its owner when it opens.
QString platformFolder(QWidget* owner, const QString& startFolder, const QString& prompt,
                     const QString& windowTitle)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(captioned(windowTitle));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QLabel(prompt, &dialog);
    layout->addWidget(text);
    auto* files = new QFileDialog(&dialog);
    // A dialog made with no window type becomes a window of its own; this
    // one lives inside ours.
    files->setWindowFlags(Qt::Widget);
    files->setOption(QFileDialog::DontUseNativeDialog);
    files->setOption(QFileDialog::ShowDirsOnly);
    files->setFileMode(QFileDialog::Directory);
    if (!startFolder.isEmpty()) {
        QString start = startFolder;
        while (start.size() > 1 && start.endsWith(u'/')) start.chop(1);
        files->setDirectory(start);
    }
    layout->addWidget(files);
    // A file dialog builds its widgets when it is shown itself, not when its
    // parent is.
    files->show();
    QObject::connect(files, &QFileDialog::accepted, &dialog, &QDialog::accept);
    QObject::connect(files, &QFileDialog::rejected, &dialog, &QDialog::reject);
    dialog.resize(640, 420);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = files->selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

std::int32_t platformColour(QWidget* owner, const QString& windowTitle, std::int32_t initial)
{
    const QColor start(initial & 0xff, (initial >> 8) & 0xff, (initial >> 16) & 0xff);
    const QColor c = QColorDialog::getColor(start, owner, captioned(windowTitle));
    if (!c.isValid()) return -1;
    return std::int32_t(c.red() | (c.green() << 8) | (c.blue() << 16));
}

std::vector<FontFace> installedFonts()
{
    std::vector<FontFace> faces;
    for (const QString& family : QFontDatabase::families())
        faces.push_back({family, QFontDatabase::isSmoothlyScalable(family)});
    return faces;
}

} // namespace

void closeModalDialogs()
{
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal) return; // it refused; do not spin
    }
}

Choosers Choosers::platform()
{
    Choosers c;
    c.message = showMessage;
    c.chooseFolder = platformFolder;
    c.chooseColour = platformColour;
    c.fontFaces = installedFonts;
    return c;
}

} // namespace vm
