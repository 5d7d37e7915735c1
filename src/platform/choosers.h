// The platform's small dialogs: message boxes, the folder chooser, the
// colour chooser and the list of installed fonts. The dialogs reach them
// only through a Choosers record, so tests can answer in place of a person.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QWidget;

namespace vm {

enum class MessageIcon { Information, Exclamation, Critical };

struct FontFace {
    QString name;
    bool scalable = true; // outline font; otherwise a bitmap font
};

struct Choosers {
    // A modal message with one OK button.
    std::function<void(QWidget* owner, MessageIcon icon, const QString& title, const QString& text)>
        message;
    // The chosen folder, or an empty text when the person cancelled. The
    // chooser starts at `startFolder` (when not empty), shows `prompt` and
    // carries the caption "Velmirano - " + `windowTitle`.
    std::function<QString(QWidget* owner, const QString& startFolder, const QString& prompt,
                          const QString& windowTitle)>
        chooseFolder;
    // The chosen colour (red in the low byte), or -1 when cancelled.
    std::function<std::int32_t(QWidget* owner, const QString& windowTitle, std::int32_t initial)>
        chooseColour;
    // The installed font families.
    std::function<std::vector<FontFace>()> fontFaces;

    // The real dialogs of the platform.
    static Choosers platform();
};

// Ends every open modal dialog (choosers, message boxes, forms) as a cancel
// would, innermost first: a request to stop must not wait for a person.
void closeModalDialogs();

// The application title that the choosers put before their own titles.
constexpr const char* kApplicationTitle = "Velmirano";

} // namespace vm
