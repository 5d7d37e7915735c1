// The settings record and how it is read from and written to the store.
#pragma once

#include "platform/registry.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace vm {

struct Settings {
    // misc
    std::int32_t recursive = 0;
    std::int32_t delay = 3;
    std::int32_t reihenfolge = 5;
    std::int32_t desktop = 0;
    std::int32_t passende_farbe = 0;
    std::int32_t blende = 1;
    std::int32_t letzter_effekt = 1;
    std::int32_t letztes_bild = 0;
    std::int32_t effekt_tracken = 0;
    std::int32_t effekt_nutzung = 1;
    std::int32_t hgfarbe = 0;
    std::int32_t tdauer = 2;
    std::int32_t expand = 0;
    std::int32_t exifrotate = 0;
    std::int32_t jpg = 1;
    std::int32_t bmp = 0;
    std::int32_t png = 0;
    std::int32_t tif = 0;
    std::int32_t pcx = 0;
    std::int32_t gif = 0;
    // The phone and web formats: on unless switched off, so pictures of a
    // store written before they existed appear without a visit to the dialog.
    std::int32_t heic = 1;
    std::int32_t avif = 1;
    std::int32_t webp = 1;
    std::int32_t jxl = 1;
    // Several monitors: 0 = each its own pictures, 1 = the same picture on
    // all, 2 = only the primary one (the others black).
    std::int32_t bildschirme = 0;
    // textstempel
    std::int32_t ausgeben = 0;
    QString text = QStringLiteral("Velmirano");
    std::int32_t farbe = 16777215;
    QString schriftart = QStringLiteral("Arial");
    std::int32_t hoehe = 15;
    std::int32_t deckkraft = 100;
    std::int32_t richtung = 0;
    std::int32_t ausrichtung = 0;
    std::int32_t position = 1;
    std::int32_t offsetx = 10;
    std::int32_t offsety = 10;
    std::int32_t gewicht = 400;
    std::int32_t kursiv = 0;
    std::int32_t unterstrichen = 0;
    std::int32_t durchgestrichen = 0;
    std::int32_t rahmen = 0;
    std::int32_t rahmenfarbe = 65280;
    std::int32_t hintergrund = 0;
    std::int32_t hintergrundfarbe = 255;
    std::int32_t hintergrunddeckkraft = 50;
};

// One stored value of the record: where it lives and which field holds it.
struct SettingField {
    const char* subkey;
    const char* name;
    std::int32_t Settings::*number; // null for the two text fields
    QString Settings::*text;
};

// Every field in the order the store is read (misc, then textstempel).
const std::array<SettingField, 44>& settingFieldsInLoadOrder();

// The standard decimal conversion of a stored text; nothing for a text that
// is not a whole 32-bit number (a value edited by hand), so the caller keeps
// its default.
std::optional<std::int32_t> parseStoredInt(const QString& text);

// Reads every field; a value that is not a number, or (for the durations,
// the stamp's height, offsets, opacities and weight) lies outside what the
// dialogs accept, keeps the field's default.
void loadSettings(Registry& registry, Settings& settings);

// Writes the record as the dialog's OK does: the folder list, the misc
// values, the text stamp values, then the enabled effects.
void saveSettings(Registry& registry, const Settings& settings, const QStringList& folders,
                  const std::array<bool, 77>& enabled);

} // namespace vm
