// The settings store: one product key with subkeys, every value a text.
// On Linux this is $XDG_CONFIG_HOME/Velmiworks/Velmirano.conf, with the
// subkeys as groups; on Windows it is the user's registry key.
#pragma once

#include <QSettings>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

namespace vm {

inline constexpr qint64 kMaxRawSettingsBytes = 4 * 1024 * 1024;

using SettingPairs = std::vector<std::pair<QString, QString>>;

QString StripAtNul(const QString& text);

class Registry {
public:
    Registry();
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // The stored text, or `defaultValue` when the subkey or value is missing.
    QString ReadSetting(const QString& subkey, const QString& valueName, const QString& defaultValue);
    QString ReadSetting(const QString& subkey, const QString& valueName, long long defaultValue)
    {
        return ReadSetting(subkey, valueName, QString::number(defaultValue));
    }
    // Stores the value as text; returns 0 on success like the system call.
    int WriteSetting(const QString& subkey, const QString& valueName, const QString& value);
    int WriteSetting(const QString& subkey, const QString& valueName, long long value)
    {
        return WriteSetting(subkey, valueName, QString::number(value));
    }
    int DeleteSettingsKey(const QString& subkey);
    // Name/data pairs of a subkey in the order a list is written: names whose
    // digits differ come in numeric order ("2" before "10"); empty when missing.
    SettingPairs EnumSettings(const QString& subkey);
    // Rewrites a list subkey so it holds exactly `entries`: write a dummy,
    // delete the subkey, then write every entry afresh.
    void RewriteList(const QString& subkey, const SettingPairs& entries);

    // Writes pending changes to disk (also done on destruction).
    void sync();
    QString fileName() const;

private:
    // The settings file's bytes (none where the store is no file).
    QByteArray rawFile();
    // The stored text: as written by hand where the file's reader would
    // split or cut it, else as read.
    static QString literalText(const QString& subkey, const QString& valueName, const QVariant& parsed,
                               const QByteArray& file);

    std::unique_ptr<QSettings> store_;
};

} // namespace vm
