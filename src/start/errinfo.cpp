#include "start/errinfo.h"

#include "state/runstate.h"

#include <QApplication>
#include <QPointer>
#include <QStyle>

#include <memory>

namespace vm {

namespace {

// The show hides the cursor while it runs; a form needs it back.
void showCursor(QWidget& form)
{
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    form.setCursor(Qt::ArrowCursor);
}

} // namespace

void SetDialogFont(QWidget& form)
{
    const QString family = QStringLiteral("MS Shell Dlg");
    auto apply = [&family](QWidget& w) {
        QFont f = w.font();
        f.setFamily(family);
        w.setFont(f);
    };
    apply(form);
    for (QWidget* child : form.findChildren<QWidget*>()) apply(*child);
}

ErrInfo::ErrInfo(RunState& state, QWidget* parent)
    : QDialog(parent), image_(this), meldung_(this), okButton_(QStringLiteral("OK"), this)
{
    setObjectName(QStringLiteral("ErrInfo"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(true);

    image_.setObjectName(QStringLiteral("Image1"));
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    image_.setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this).pixmap(size, size));
    image_.setAlignment(Qt::AlignTop);

    meldung_.setObjectName(QStringLiteral("Meldung"));
    // File paths in messages are text, never markup.
    meldung_.setTextFormat(Qt::PlainText);
    meldung_.setWordWrap(true);
    meldung_.setTextInteractionFlags(Qt::TextSelectableByMouse);
    meldung_.setMinimumWidth(360);

    okButton_.setObjectName(QStringLiteral("OKButton"));
    okButton_.setDefault(true);
    connect(&okButton_, &QPushButton::clicked, this, &QDialog::accept);

    layout_.addWidget(&image_, 0, 0);
    layout_.addWidget(&meldung_, 0, 1);
    layout_.addWidget(&okButton_, 1, 1, Qt::AlignRight);
    layout_.setColumnStretch(1, 1);
    setLayout(&layout_);

    // Load.
    SetDialogFont(*this);
    showCursor(*this);
    setWindowTitle(QStringLiteral("Velmirano - Fehlerinformation (") + state.laufmodus + u')');
    state.messung_auslassen = true;
}

void ErrInfo::setMessage(const QString& message) { meldung_.setText(message); }

void ShowErrorInfo(RunState& state, const QString& message, QWidget* parent)
{
    auto form = std::make_unique<ErrInfo>(state, parent);
    form->setMessage(message);
    QPointer<ErrInfo> guard(form.get());
    if (state.execModal)
        state.execModal(*form);
    else
        form->exec();
    // Something (a closing parent) may have deleted the form during exec().
    if (!guard) (void)form.release();
}

} // namespace vm
