// The error form: shows one message, on top of everything, until OK.
#pragma once

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QString>

namespace vm {

struct RunState;

// Gives every control of a form the dialog font the program uses.
void SetDialogFont(QWidget& form);

// Form "ErrInfo" with the label "Meldung", the button "OKButton" and the
// picture "Image1". Building it is its load: it sets the dialog font, shows
// the cursor, puts the run mode into the caption and makes the next timing
// measurement be skipped (time spent here is no transition time).
class ErrInfo : public QDialog {
    Q_OBJECT
public:
    explicit ErrInfo(RunState& state, QWidget* parent = nullptr);
    void setMessage(const QString& message);

private:
    // The layout first: it must outlive the controls it arranges.
    QGridLayout layout_;
    QLabel image_;
    QLabel meldung_;
    QPushButton okButton_;
};

// Opens the form modally with `message` and returns when it is closed.
void ShowErrorInfo(RunState& state, const QString& message, QWidget* parent = nullptr);

} // namespace vm
