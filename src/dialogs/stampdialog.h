// The text stamp dialog ("Textstempel"): edits the stamp settings in place
// and redraws a sample photograph with the stamp after every change. It has
// no OK button; the settings dialog's OK decides whether the values are kept.
#pragma once

#include "platform/choosers.h"
#include "platform/imagelib.h"
#include "settings/settings.h"

#include <QDialog>
#include <QImage>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace vm {

// Draws the stamp of `settings` on the sample as typed (placeholders are
// not expanded; "%\" breaks the line). Stands in for the show's stamp
// routine until the sample is pointed at it.
void drawSampleStamp(RgbImage& image, const Settings& settings);

// Enables or disables every control inside `container`, however deeply
// nested; the container itself keeps its state.
void EnableChildControls(QWidget* container, bool enabled);

// The sample photograph: a small landscape drawn by our own code.
QImage samplePhotograph();

class Textstempel : public QDialog {
public:
    Textstempel(Settings& settings, const Choosers& choosers, QWidget* parent = nullptr);

    // Puts every stamp setting into the controls and redraws the sample.
    void InitDialog();
    void DrawSample();
    // True when the box holds a whole number from minimum to maximum;
    // otherwise the box gets `previous` back and the message is shown.
    bool CheckNumberField(QLineEdit* box, int minimum, int maximum, std::int32_t previous,
                          const QString& message);
    // The slider's value in percent, centred under its thumb.
    void ShowPercent(QSlider* slider, QLabel* label);

    // The sample as last drawn.
    const QImage& sample() const { return sample_; }
    // The routine that draws the stamp on the sample.
    std::function<void(RgbImage&, const Settings&)> drawStamp = drawSampleStamp;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void fillFontList();
    void markPosition(int index, bool marked);
    void positionClicked(int index);
    void chooseColour(QLabel* swatch, std::int32_t Settings::*setting, const QString& title);
    void numberEdited(QLineEdit* box, int minimum, int maximum, std::int32_t Settings::*setting,
                      const QString& message);

    Settings& settings_;
    Choosers choosers_;
    bool initialising_ = false;
    QImage sample_;
};

} // namespace vm
