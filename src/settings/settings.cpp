#include "settings/settings.h"

namespace vm {

namespace {

#define NUM(sub, f) SettingField{sub, #f, &Settings::f, nullptr}
#define TXT(sub, f) SettingField{sub, #f, nullptr, &Settings::f}

const std::array<SettingField, 44> kLoadOrder{{
    NUM("misc", recursive), NUM("misc", delay), NUM("misc", reihenfolge), NUM("misc", desktop),
    NUM("misc", passende_farbe), NUM("misc", blende), NUM("misc", letzter_effekt),
    NUM("misc", letztes_bild), NUM("misc", effekt_tracken), NUM("misc", effekt_nutzung),
    NUM("misc", hgfarbe), NUM("misc", tdauer), NUM("misc", expand), NUM("misc", exifrotate),
    NUM("misc", jpg), NUM("misc", bmp), NUM("misc", png), NUM("misc", tif), NUM("misc", pcx),
    NUM("misc", gif), NUM("misc", heic), NUM("misc", avif), NUM("misc", webp), NUM("misc", jxl),
    NUM("textstempel", ausgeben), TXT("textstempel", text), NUM("textstempel", farbe),
    TXT("textstempel", schriftart), NUM("textstempel", hoehe), NUM("textstempel", deckkraft),
    NUM("textstempel", richtung), NUM("textstempel", ausrichtung), NUM("textstempel", position),
    NUM("textstempel", offsetx), NUM("textstempel", offsety), NUM("textstempel", gewicht),
    NUM("textstempel", kursiv), NUM("textstempel", unterstrichen),
    NUM("textstempel", durchgestrichen), NUM("textstempel", rahmen),
    NUM("textstempel", rahmenfarbe), NUM("textstempel", hintergrund),
    NUM("textstempel", hintergrundfarbe), NUM("textstempel", hintergrunddeckkraft),
}};

#undef NUM
#undef TXT

// The misc values OK writes, in its own order (the sequence position and
// the last picture belong to the shutdown).
constexpr const char* kMiscSaveOrder[] = {
    "recursive", "delay",   "reihenfolge", "desktop",    "passende_farbe", "blende",
    "effekt_tracken", "effekt_nutzung", "tdauer", "hgfarbe", "expand", "exifrotate",
    "jpg",       "bmp",     "tif",         "pcx",        "png",            "gif",
    "heic",      "avif",    "webp",        "jxl",
};

// Values a person can only reach by editing the store: outside what the
// dialogs accept they would stop the show's timer (a negative interval),
// overflow it, or spin transitions back to back; they count as missing.
struct StoredRange {
    const char* name;
    std::int32_t minimum, maximum;
};
constexpr StoredRange kRanges[] = {
    {"delay", 1, 60},         {"tdauer", 1, 60},      {"hoehe", 1, 100},
    {"offsetx", -500, 500},   {"offsety", -500, 500}, {"deckkraft", 0, 100},
    {"hintergrunddeckkraft", 0, 100},
    {"gewicht", 0, 1000}, // every weight a font description can carry
};

bool acceptable(const SettingField& f, std::int32_t v)
{
    for (const StoredRange& r : kRanges)
        if (qstrcmp(r.name, f.name) == 0) return v >= r.minimum && v <= r.maximum;
    return true;
}

const SettingField& fieldNamed(const char* name)
{
    for (const SettingField& f : kLoadOrder)
        if (qstrcmp(f.name, name) == 0) return f;
    Q_UNREACHABLE();
}

void writeField(Registry& registry, const Settings& s, const SettingField& f)
{
    const QString sub = QLatin1String(f.subkey), name = QLatin1String(f.name);
    if (f.number)
        registry.WriteSetting(sub, name, s.*(f.number));
    else
        registry.WriteSetting(sub, name, s.*(f.text));
}

// How a show uses several monitors; outside 0..2 (edited by hand) it keeps
// its default.
const QString kMisc = QStringLiteral("misc");
const QString kBildschirme = QStringLiteral("bildschirme");

} // namespace

const std::array<SettingField, 44>& settingFieldsInLoadOrder() { return kLoadOrder; }

std::optional<std::int32_t> parseStoredInt(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return std::int32_t(v);
}

void loadSettings(Registry& registry, Settings& s)
{
    for (const SettingField& f : kLoadOrder) {
        const QString sub = QLatin1String(f.subkey), name = QLatin1String(f.name);
        if (f.number) {
            const QString stored = registry.ReadSetting(sub, name, s.*(f.number));
            if (auto v = parseStoredInt(stored); v && acceptable(f, *v)) s.*(f.number) = *v;
        } else {
            s.*(f.text) = registry.ReadSetting(sub, name, s.*(f.text));
        }
    }
    if (auto v = parseStoredInt(registry.ReadSetting(kMisc, kBildschirme, s.bildschirme)); v && *v >= 0 && *v <= 2)
        s.bildschirme = *v;
}

void saveSettings(Registry& registry, const Settings& s, const QStringList& folders,
                  const std::array<bool, 77>& enabled)
{
    SettingPairs paths;
    for (qsizetype i = 0; i < folders.size(); ++i)
        paths.emplace_back(QString::number(i + 1), folders[i]);
    registry.RewriteList(QStringLiteral("path"), paths);
    for (const char* name : kMiscSaveOrder) writeField(registry, s, fieldNamed(name));
    registry.WriteSetting(kMisc, kBildschirme, s.bildschirme);
    for (const SettingField& f : kLoadOrder)
        if (qstrcmp(f.subkey, "textstempel") == 0) writeField(registry, s, f);
    SettingPairs effects;
    for (int n = 1; n <= 76; ++n)
        if (enabled[std::size_t(n)]) effects.emplace_back(QString::number(n), QString::number(n));
    // With nothing enabled the subkey ends up absent, which the next start
    // reads as "all enabled".
    registry.RewriteList(QStringLiteral("zblenden"), effects);
}

} // namespace vm
